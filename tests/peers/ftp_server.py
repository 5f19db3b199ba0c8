#!/usr/bin/python3
"""A real FTP server for the tests: pyftpdlib on 127.0.0.1 with a free port.

Usage: ftp_server.py ROOT USER PASSWORD [--no-passive] [--port PORT]
                     [--tls-explicit CERT KEY | --tls-implicit CERT KEY] [--cut-tls-downloads]

Serves ROOT (read and write) to USER/PASSWORD. Prints the chosen port (PORT when given, so
a test can bring a host back on the port its client already knows) as the first line on
stdout, then serves until it is killed or its stdin is closed (so a test that dies never
leaves it behind). --no-passive refuses PASV, which proves the client used active mode.

--tls-explicit requires FTP over TLS (RFC 4217: AUTH TLS before the login, PROT P before
any data connection); --tls-implicit speaks TLS from the first byte of the control
connection. With either, a data connection that does not resume the control connection's
TLS session is refused, as vsftpd's require_ssl_reuse does. --cut-tls-downloads ends
every download's data connection without TLS close_notify, as a cut (truncation) would.
"""
import logging
import os
import sys

from peer_common import announce_and_watch, ftp_arguments
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def tls_handler(cert, key, implicit, cut):
    from OpenSSL._util import lib
    from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler

    class DataHandler(TLS_DTPHandler):
        def handle_ssl_established(self):
            if not lib.SSL_session_reused(self.socket._ssl):
                self.cmd_channel.respond("522 Data connection must reuse the TLS session.")
                self._error = True
                self.close()

        if cut:
            # Downloads end without close_notify, as a cut made in between would.
            def close(self):
                if self.cmd == "RETR":
                    self._error = True
                TLS_DTPHandler.close(self)

    class Handler(TLS_FTPHandler):
        certfile = cert
        keyfile = key
        tls_control_required = True
        tls_data_required = True
        dtp_handler = DataHandler
        greeted = False

        if implicit:
            # The greeting waits for the handshake the client starts at once.
            def handle(self):
                self.secure_connection(self.ssl_context)

            def handle_ssl_established(self):
                if not self.greeted:
                    self.greeted = True
                    TLS_FTPHandler.handle(self)

    return Handler


def main():
    args = ftp_arguments(
        lambda parser: parser.add_argument("--cut-tls-downloads", action="store_true"))

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")

    if args.tls_explicit or args.tls_implicit:
        Base = tls_handler(*(args.tls_explicit or args.tls_implicit), bool(args.tls_implicit),
                           args.cut_tls_downloads)
    else:
        Base = FTPHandler

    class Handler(Base):
        pass

    Handler.authorizer = authorizer
    Handler.banner = "ostrel test server ready"
    if args.no_passive:
        def refuse_pasv(self, line):
            self.respond("502 Passive mode refused by this test server.")
        Handler.ftp_PASV = refuse_pasv
        Handler.ftp_EPSV = refuse_pasv

    server = FTPServer(("127.0.0.1", args.port), Handler)
    port = server.socket.getsockname()[1]
    announce_and_watch(port, lambda: os._exit(0))
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
