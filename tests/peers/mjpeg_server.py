#!/usr/bin/python3
"""An HTTP MJPEG camera for the tests: multipart/x-mixed-replace JPEG frames on 127.0.0.1.

Usage: mjpeg_server.py [--port N] [--size WxH] [--rate FPS] [--login USER PASS]

The frames are FFmpeg's test picture (testsrc, with its running counter), made once at the
start and sent in a loop at the rate given, to every client at once. With --login a client
without that Basic login gets 401. Any path serves the stream. Prints the port as the
first line on stdout, then serves until it is killed or its stdin is closed.
"""
import argparse
import base64
import socket
import subprocess
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


def make_frames(size, rate, count):
    data = subprocess.run(
        ["ffmpeg", "-v", "error", "-f", "lavfi", "-i", f"testsrc=size={size}:rate={rate}",
         "-frames:v", str(count), "-c:v", "mjpeg", "-q:v", "5", "-f", "image2pipe", "-"],
        check=True, capture_output=True).stdout
    frames, start = [], 0
    while True:
        end = data.find(b"\xff\xd9", start)
        if end < 0:
            return frames
        frames.append(data[start:end + 2])
        start = end + 2


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--size", default="640x480")
    parser.add_argument("--rate", type=int, default=15)
    parser.add_argument("--login", nargs=2)
    args = parser.parse_args()
    frames = make_frames(args.size, args.rate, args.rate * 2)
    wanted = ("Basic " + base64.b64encode(":".join(args.login).encode()).decode()
              if args.login else None)

    class Camera(BaseHTTPRequestHandler):
        def log_message(self, *unused):
            pass

        def do_GET(self):
            if wanted and self.headers.get("Authorization") != wanted:
                self.send_response(401)
                self.send_header("WWW-Authenticate", 'Basic realm="camera"')
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            self.send_response(200)
            self.send_header("Content-Type", "multipart/x-mixed-replace;boundary=frame")
            self.end_headers()
            n = 0
            try:
                while True:
                    frame = frames[n % len(frames)]
                    self.wfile.write(b"--frame\r\nContent-Type: image/jpeg\r\nContent-Length: "
                                     + str(len(frame)).encode() + b"\r\n\r\n" + frame + b"\r\n")
                    self.wfile.flush()
                    n += 1
                    time.sleep(1.0 / args.rate)
            except OSError:
                pass

    class Server(ThreadingHTTPServer):
        daemon_threads = True
        allow_reuse_address = True

    server = Server(("127.0.0.1", args.port), Camera)
    print(server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()


if __name__ == "__main__":
    main()
