#!/usr/bin/python3
"""GStreamer's RTSP server on 127.0.0.1: the moving test picture, 640x480 at 15 fps, as RTP
MJPEG at /cam. Usage: rtsp_server.py [--port N] [--login USER PASS]"""
import argparse
import sys
import threading

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtspServer  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--login", nargs=2)
    args = parser.parse_args()
    Gst.init(None)

    server = GstRtspServer.RTSPServer()
    server.set_address("127.0.0.1")
    server.set_service(str(args.port))
    factory = GstRtspServer.RTSPMediaFactory()
    factory.set_launch(
        "( videotestsrc is-live=true pattern=ball ! video/x-raw,format=I420,width=640,height=480,"
        "framerate=15/1 ! jpegenc quality=70 ! rtpjpegpay name=pay0 pt=26 )")
    factory.set_shared(True)
    if args.login:
        auth = GstRtspServer.RTSPAuth()
        token = GstRtspServer.RTSPToken()
        token.set_string("media.factory.role", "user")
        auth.add_basic(GstRtspServer.RTSPAuth.make_basic(*args.login), token)
        server.set_auth(auth)
        permissions = GstRtspServer.RTSPPermissions()
        permissions.add_role_from_structure(Gst.Structure.new_from_string(
            "user, media.factory.access=(boolean)true, media.factory.construct=(boolean)true"))
        factory.set_permissions(permissions)
    server.get_mount_points().add_factory("/cam", factory)
    server.attach(None)
    print(server.get_bound_port(), flush=True)
    threading.Thread(target=GLib.MainLoop().run, daemon=True).start()
    sys.stdin.read()


if __name__ == "__main__":
    main()
