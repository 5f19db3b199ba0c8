#!/usr/bin/python3
"""The web access page template in headless Chromium, served over HTTP with its size and
countdown lines set. A probe page holds it in a frame and records what the frame shows."""
import html
import http.server
import json
import os
import re
import shutil
import subprocess
import tempfile
import threading
import unittest

DATA = os.path.join(os.environ["OSTREL_SOURCE_DIR"], "data")
SIZE_LINE, COUNTDOWN_LINE = 14, 25

# Measures the page in a frame of the width given as ?w=, 1.5 s and 5 s into the run: with a
# 3 s countdown that is before and after the first refresh.
PROBE = """<!DOCTYPE html><html><body style="margin:0">
<iframe id="page" src="index.html" style="height:700px;border:0"></iframe>
<pre id="result"></pre>
<script>
var frame = document.getElementById("page"), results = [];
frame.style.width = new URLSearchParams(location.search).get("w") + "px";
function measure() {
  var doc = frame.contentDocument, img = doc.getElementById("capture");
  var count = doc.getElementById("countdown"), box = img.getBoundingClientRect();
  results.push({title: doc.title, src: img.getAttribute("src"), natural: img.naturalWidth,
                width: Math.round(box.width), height: Math.round(box.height),
                countdown: count.textContent, countdownHeight: count.getBoundingClientRect().height});
  document.getElementById("result").textContent = JSON.stringify(results);
}
setTimeout(measure, 1500);
setTimeout(measure, 5000);
</script></body></html>
"""


class Server:
    """Serves the page, the probe and the pictures; a picture asked for again is answered by
    `refresh`: "new" (a different picture), "404" or "drop" (connection closed unanswered)."""

    def __init__(self, index, refresh):
        self.log = []
        first = {"/Capture.jpg": os.path.join(DATA, "stopcap.jpg"),
                 "/datetime.bmp": os.path.join(DATA, "Server", "stoptime.bmp")}
        log = self.log

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                path = self.path.split("?")[0]
                log.append(self.path)
                again = sum(p.split("?")[0] == path for p in log) > 1
                if path in first:
                    if again and refresh == "drop":
                        self.close_connection = True
                        return
                    name = os.path.join(DATA, "imgempty.jpg") if again else first[path]
                    with open(name, "rb") as f:
                        body = None if again and refresh == "404" else f.read()
                else:
                    body = {"/index.html": index, "/probe.html": PROBE.encode()}.get(path)
                if body is None:
                    self.send_error(404)
                    return
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = "http://127.0.0.1:%d/" % self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def requests(self, name):
        return [p for p in self.log if p.split("?")[0] == "/" + name]


def chromium(profile, *args):
    command = ["chromium", "--headless", "--no-sandbox", "--disable-gpu",
               "--disable-dev-shm-usage", "--no-first-run", "--user-data-dir=" + profile,
               *args]
    return subprocess.run(command, capture_output=True, text=True, timeout=120, check=True).stdout


class PageInBrowser(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.dir, True)

    def probe(self, refresh, width, size="width=0400 height=300"):
        with open(os.path.join(DATA, "Server", "ostrel.bkp"), encoding="utf-8") as f:
            lines = f.read().split("\n")
        lines[SIZE_LINE], lines[COUNTDOWN_LINE] = size, "var countDownInterval=3;"
        server = Server("\n".join(lines).encode(), refresh)
        self.addCleanup(server.httpd.server_close)
        self.addCleanup(server.httpd.shutdown)  # runs first
        dom = chromium(os.path.join(self.dir, "profile"), "--virtual-time-budget=7000",
                       "--dump-dom", server.url + "probe.html?w=%d" % width)
        found = re.search(r'<pre id="result">(.*?)</pre>', dom, re.S)
        self.assertTrue(found, dom)
        before, after = json.loads(html.unescape(found.group(1)))
        return server, before, after

    def test_refresh_fetches_new_pictures_in_place(self):
        server, before, after = self.probe("new", 900)
        self.assertEqual((before["width"], before["height"], before["natural"]), (400, 300, 640))
        self.assertRegex(before["countdown"], r"^Next picture in [12] s$")
        self.assertGreater(before["countdownHeight"], 0)
        # Swapped in after loading: the new picture at the chosen size, fetched past caches.
        self.assertRegex(after["src"], r"^Capture\.jpg\?t=\d+$")
        self.assertEqual((after["width"], after["height"], after["natural"]), (400, 300, 320))
        self.assertRegex(server.requests("Capture.jpg")[1], r"\?t=\d+$")
        self.assertGreaterEqual(len(server.requests("datetime.bmp")), 2)
        self.assertEqual(len(server.requests("index.html")), 1)

    def test_narrow_screen_scales_the_picture_down(self):
        _, before, _ = self.probe("new", 320, "width=1200 height=900")
        self.assertLessEqual(before["width"], 320)
        self.assertAlmostEqual(before["height"], before["width"] * 3 / 4, delta=1)

    def test_server_away_keeps_the_last_picture(self):
        for refresh in ("404", "drop"):
            with self.subTest(refresh=refresh):
                server, _, after = self.probe(refresh, 900)
                self.assertGreaterEqual(len(server.requests("Capture.jpg")), 2)
                self.assertEqual((after["title"], after["src"], after["natural"]),
                                 ("Ostrel Webcam", "Capture.jpg", 640))
                self.assertGreater(after["countdownHeight"], 0)
                self.assertEqual(len(server.requests("index.html")), 1)


if __name__ == "__main__":
    unittest.main()
