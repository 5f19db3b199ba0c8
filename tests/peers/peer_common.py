"""What the servers here share: each prints its port as the first line on stdout and
serves until its stdin is closed; the FTP servers take the same command line."""
import argparse
import sys
import threading


def ftp_arguments(extra=None):
    """The arguments below; `extra` adds a server's own options to the parser."""
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("user")
    parser.add_argument("password")
    parser.add_argument("--no-passive", action="store_true")
    parser.add_argument("--port", type=int, default=0)
    tls = parser.add_mutually_exclusive_group()
    tls.add_argument("--tls-explicit", nargs=2, metavar=("CERT", "KEY"))
    tls.add_argument("--tls-implicit", nargs=2, metavar=("CERT", "KEY"))
    if extra:
        extra(parser)
    return parser.parse_args()


def announce_and_watch(port, on_end):
    """Prints the port for the test, then calls `on_end` once stdin is closed."""
    print(port, flush=True)

    def watch():
        try:
            while sys.stdin.buffer.read(4096):
                pass
        finally:
            on_end()

    threading.Thread(target=watch, daemon=True).start()
