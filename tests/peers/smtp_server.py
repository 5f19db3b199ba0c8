#!/usr/bin/python3
"""A real SMTP server for the tests: aiosmtpd on 127.0.0.1 with a free port.

Usage: smtp_server.py FOLDER [--reject ADDRESS]...

Stores each message it accepts as FOLDER/mail-N.eml (the bytes as received, after the
server undid the dot transparency) with FOLDER/mail-N.json beside it holding the envelope:
{"helo": ..., "mail_from": ..., "rcpt_tos": [...]}. A recipient given with --reject is
refused with 550. Prints the chosen port as the first line on stdout, then serves until it
is killed or its stdin is closed.
"""
import argparse
import asyncio
import json
import os
import sys
import threading

from aiosmtpd.smtp import SMTP


class Handler:
    def __init__(self, folder, rejected):
        self.folder = folder
        self.rejected = {a.lower() for a in rejected}
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower() in self.rejected:
            return "550 5.1.1 <%s>: Recipient address rejected: User unknown" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "mail-%d" % self.count)
        # The envelope goes first, the message last: a test waiting for the .eml file
        # finds both complete.
        with open(base + ".json.tmp", "w") as f:
            json.dump({"helo": session.host_name, "mail_from": envelope.mail_from,
                       "rcpt_tos": envelope.rcpt_tos}, f)
        os.replace(base + ".json.tmp", base + ".json")
        with open(base + ".eml.tmp", "wb") as f:
            f.write(envelope.original_content)
        os.replace(base + ".eml.tmp", base + ".eml")
        return "250 Message accepted for delivery"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--reject", action="append", default=[])
    args = parser.parse_args()

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    handler = Handler(args.folder, args.reject)
    server = loop.run_until_complete(loop.create_server(
        lambda: SMTP(handler, hostname="ostrel-test", decode_data=False, loop=loop),
        "127.0.0.1", 0))
    print(server.sockets[0].getsockname()[1], flush=True)

    def watch_stdin():
        try:
            while sys.stdin.buffer.read(4096):
                pass
        finally:
            os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    loop.run_forever()


if __name__ == "__main__":
    main()
