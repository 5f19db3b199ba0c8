#!/usr/bin/python3
"""Debian's ProFTPD, unmodified, as ftp_server.py's twin (same arguments and output).

It runs in the foreground with a configuration, user file and scoreboard of its own in a
temporary folder; as root it drops to nobody, who is given ROOT. With TLS it requires it
before the login and on data connections, which must resume the control session."""
import ctypes
import os
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import warnings

from peer_common import announce_and_watch, ftp_arguments

with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)
    import crypt

# Unpacked by scripts/install-deps.sh; an installed ProFTPD serves as well.
UNPACKED = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../.cache/proftpd")
if os.path.exists(f"{UNPACKED}/usr/sbin/proftpd"):
    PROFTPD, MODULES = f"{UNPACKED}/usr/sbin/proftpd", f"{UNPACKED}/usr/lib/proftpd"
else:
    PROFTPD, MODULES = shutil.which("proftpd") or "/usr/sbin/proftpd", "/usr/lib/proftpd"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def listening(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=0.2):
            return True
    except OSError:
        return False


def config(work, root, port, args):
    lines = [
        "ServerType standalone",
        f"Port {port}",
        "DefaultAddress 127.0.0.1",
        "SocketBindTight on",
        "UseIPv6 off",
        f"ScoreboardFile {work}/scoreboard",
        f"PidFile {work}/pid",
        "DelayTable none",
        "DelayEngine off",
        "WtmpLog off",
        "UseReverseDNS off",
        "TransferLog none",
        f"SystemLog {work}/system.log",
        "AuthOrder mod_auth_file.c",
        f"AuthUserFile {work}/passwd",
        "RequireValidShell off",
        "DefaultRoot ~",
        "<Directory />",
        "  AllowOverwrite on",
        "</Directory>",
    ]
    if os.geteuid() == 0:
        lines += ["User nobody", "Group nogroup"]
    if args.no_passive:
        lines += ["<Limit PASV EPSV>", "  DenyAll", "</Limit>"]
    tls = args.tls_explicit or args.tls_implicit
    if tls:
        lines += [
            f"ModulePath {os.path.realpath(MODULES)}",
            "LoadModule mod_tls.c",
            "TLSEngine on",
            "TLSRequired on",
            f"TLSRSACertificateFile {tls[0]}",
            f"TLSRSACertificateKeyFile {tls[1]}",
            "TLSProtocol TLSv1.2 TLSv1.3",
            f"TLSLog {work}/tls.log",
        ]
        if args.tls_implicit:
            lines.append("TLSOptions UseImplicitSSL")
    return "\n".join(lines) + "\n"


def main():
    args = ftp_arguments()

    work = tempfile.mkdtemp(prefix="ostrel-proftpd-")
    root = os.path.abspath(args.root)
    if os.geteuid() == 0:
        owner = pwd.getpwnam("nobody")
        uid, gid = owner.pw_uid, owner.pw_gid
        for folder, dirs, files in os.walk(root):
            for name in [folder] + [os.path.join(folder, n) for n in dirs + files]:
                os.chown(name, uid, gid)
        os.chmod(work, 0o755)
    else:
        uid, gid = os.getuid(), os.getgid()
    password = crypt.crypt(args.password, crypt.mksalt(crypt.METHOD_SHA512))
    with open(f"{work}/passwd", "w") as f:
        f.write(f"{args.user}:{password}:{uid}:{gid}::{root}:/bin/sh\n")
    os.chmod(f"{work}/passwd", 0o600)

    # ProFTPD cannot choose a free port itself: take one and try again should another
    # process grab it first.
    for _ in range(20):
        port = args.port or free_port()
        with open(f"{work}/proftpd.conf", "w") as f:
            f.write(config(work, root, port, args))
        # PR_SET_PDEATHSIG: the server goes when this script does, even when it is killed.
        server = subprocess.Popen([PROFTPD, "-n", "-q", "-c", f"{work}/proftpd.conf"],
                                  stdin=subprocess.DEVNULL, stdout=sys.stderr,
                                  preexec_fn=lambda: ctypes.CDLL(None).prctl(1, signal.SIGTERM))
        deadline = time.monotonic() + 10
        while server.poll() is None and time.monotonic() < deadline and not listening(port):
            time.sleep(0.02)
        if server.poll() is None and listening(port):
            break
        server.kill()
        server.wait()
        server = None
        if args.port:
            break
    if server is None:
        sys.stderr.write(open(f"{work}/system.log").read() if os.path.exists(
            f"{work}/system.log") else "proftpd did not start\n")
        shutil.rmtree(work, ignore_errors=True)
        sys.exit(1)
    announce_and_watch(port, server.terminate)
    server.wait()
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
