#!/usr/bin/python3
"""pyftpdlib on 127.0.0.1, serving ROOT to USER/PASSWORD (peer_common.ftp_arguments).

--no-passive refuses PASV; --tls-explicit (AUTH TLS, PROT P) and --tls-implicit require TLS
and refuse a data connection that does not resume the control connection's TLS session;
--cut-tls-downloads ends each download without close_notify, as a cut would."""
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
