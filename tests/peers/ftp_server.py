#!/usr/bin/python3
"""A real FTP server for the tests: pyftpdlib on 127.0.0.1 with a free port.

Usage: ftp_server.py ROOT USER PASSWORD [--no-passive] [--port PORT]

Serves ROOT (read and write) to USER/PASSWORD. Prints the chosen port (PORT when given, so
a test can bring a host back on the port its client already knows) as the first line on
stdout, then serves until it is killed or its stdin is closed (so a test that dies never
leaves it behind). --no-passive refuses PASV, which proves the client used active mode.
"""
import argparse
import logging
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("user")
    parser.add_argument("password")
    parser.add_argument("--no-passive", action="store_true")
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")

    class Handler(FTPHandler):
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
    print(port, flush=True)

    def watch_stdin():
        try:
            while sys.stdin.buffer.read(4096):
                pass
        finally:
            os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
