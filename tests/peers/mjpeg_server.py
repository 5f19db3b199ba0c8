#!/usr/bin/python3
"""An MJPEG camera over HTTP: FFmpeg's testsrc frames (640x480), made once, sent in a loop
at 15 fps. Usage: mjpeg_server.py [--port N] [--login USER PASS]
                       [--tls CERT KEY]... [--answer FILE]
--login answers 401 without that Basic login. --tls speaks HTTPS, the handshake on the
client's own thread; given more than once, connections take the certificates in turn.
--answer sends that file instead of the stream (.m3u8: as an HLS playlist)."""
import argparse
import base64
import itertools
import ssl
import subprocess
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


RATE = 15


def make_frames():
    data = subprocess.run(
        ["ffmpeg", "-v", "error", "-f", "lavfi", "-i", f"testsrc=size=640x480:rate={RATE}",
         "-frames:v", str(2 * RATE), "-c:v", "mjpeg", "-q:v", "5", "-f", "image2pipe", "-"],
        check=True, capture_output=True).stdout
    return [frame + b"\xff\xd9" for frame in data.split(b"\xff\xd9")[:-1]]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--login", nargs=2)
    parser.add_argument("--tls", nargs=2, action="append")
    parser.add_argument("--answer")
    args = parser.parse_args()
    frames = make_frames()
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
            if args.answer:
                with open(args.answer, "rb") as f:
                    body = f.read()
                self.send_response(200)
                self.send_header("Content-Type", "application/vnd.apple.mpegurl"
                                 if args.answer.endswith(".m3u8") else "application/octet-stream")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)
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
                    time.sleep(1.0 / RATE)
            except OSError:
                pass

    contexts = []
    for certificate, key in args.tls or []:
        contexts.append(ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER))
        contexts[-1].load_cert_chain(certificate, key)
    connections = itertools.count()

    class Server(ThreadingHTTPServer):
        daemon_threads = True
        allow_reuse_address = True

        def finish_request(self, request, client_address):
            if contexts:
                context = contexts[next(connections) % len(contexts)]
                try:
                    request = context.wrap_socket(request, server_side=True)
                except (OSError, ssl.SSLError):
                    return  # the client refused the certificate, or went
            super().finish_request(request, client_address)

    server = Server(("127.0.0.1", args.port), Camera)
    print(server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()


if __name__ == "__main__":
    main()
