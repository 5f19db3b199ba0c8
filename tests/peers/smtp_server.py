#!/usr/bin/python3
"""aiosmtpd on 127.0.0.1; keeps each mail as FOLDER/mail-N.eml, its envelope as mail-N.json.

Usage: smtp_server.py FOLDER [--starttls CERT KEY [--hide-starttls] | --tls CERT KEY]
                        [--auth USER PASS [--no-plain]]
--starttls requires STARTTLS (--hide-starttls: not offered); --auth accepts that one login,
over TLS only (--no-plain: LOGIN alone)."""
import argparse
import asyncio
import json
import os
import ssl

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword
from peer_common import announce_and_watch


class Handler:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "mail-%d" % self.count)
        # The envelope goes first, the message last: a test waiting for the .eml file
        # finds both complete.
        kept = json.dumps({"helo": session.host_name, "mail_from": envelope.mail_from,
                           "rcpt_tos": envelope.rcpt_tos}).encode()
        for name, data in ((base + ".json", kept), (base + ".eml", envelope.original_content)):
            with open(name + ".tmp", "wb") as f:
                f.write(data)
            os.replace(name + ".tmp", name)
        return "250 Message accepted for delivery"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--starttls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--hide-starttls", action="store_true")
    parser.add_argument("--auth", nargs=2, metavar=("USER", "PASS"))
    parser.add_argument("--no-plain", action="store_true")
    args = parser.parse_args()

    def context(pair):
        if not pair:
            return None
        c = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        c.load_cert_chain(*pair)
        return c

    options = {}
    if args.starttls and not args.hide_starttls:
        options.update(tls_context=context(args.starttls), require_starttls=True)
    if args.tls:
        # Encrypted from the start: the session is as safe as after STARTTLS.
        options.update(auth_require_tls=False)
    if args.auth:
        login = LoginPassword(args.auth[0].encode(), args.auth[1].encode())

        def authenticator(server, session, envelope, mechanism, auth_data):
            return AuthResult(success=auth_data == login, handled=False)

        options.update(authenticator=authenticator,
                       auth_exclude_mechanism=["PLAIN"] if args.no_plain else [])

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    handler = Handler(args.folder)
    server = loop.run_until_complete(loop.create_server(
        lambda: SMTP(handler, hostname="ostrel-test", decode_data=False, loop=loop, **options),
        "127.0.0.1", 0, ssl=context(args.tls)))
    announce_and_watch(server.sockets[0].getsockname()[1], lambda: os._exit(0))
    loop.run_forever()


if __name__ == "__main__":
    main()
