#!/usr/bin/python3
"""check_help.py HELP_FOLDER: fails on a link, picture or #anchor that does not resolve, a
missing window topic, a page the contents cannot reach, or a page without a title."""
import os
import sys
from html.parser import HTMLParser
from urllib.parse import urldefrag, urlparse

# Help contexts the windows ask for (topic<N>.html); 9999 is the Help entry itself.
CONTEXTS = (4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15, 9999)


class Page(HTMLParser):
    def __init__(self, path):
        super().__init__()
        self.links, self.pictures, self.anchors = [], [], set()
        self.title, self._in_title = "", False
        with open(path, encoding="utf-8") as f:
            self.feed(f.read())

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        self.anchors.update(v for k, v in attrs if k in ("id", "name") and v)
        if tag == "a" and a.get("href"):
            self.links.append(a["href"])
        elif tag == "img":
            self.pictures.append(a.get("src", ""))
        self._in_title = tag == "title"

    def handle_endtag(self, tag):
        self._in_title = False

    def handle_data(self, data):
        if self._in_title:
            self.title += data.strip()


def walk(folder, starts):
    """Parses every page reachable from `starts`; returns {name: Page} and the faults."""
    pages, faults, todo, wanted = {}, [], list(starts), []
    while todo:
        name = todo.pop()
        if name in pages:
            continue
        page = pages[name] = Page(os.path.join(folder, name))  # a missing start raises
        if not page.title:
            faults.append(f"{name}: no title")
        for src in page.pictures:
            if not os.path.isfile(os.path.join(folder, os.path.dirname(name), src)):
                faults.append(f"{name}: picture {src!r} not found")
        for href in page.links:
            if urlparse(href).scheme:
                continue  # web and mail addresses open outside the help
            target, anchor = urldefrag(href)
            target = os.path.normpath(os.path.join(os.path.dirname(name), target or name))
            if not os.path.isfile(os.path.join(folder, target)):
                faults.append(f"{name}: link {href!r} goes nowhere")
            else:
                todo.append(target)
                if anchor:
                    wanted.append((name, href, target, anchor))
    faults += [f"{n}: no anchor {h!r}" for n, h, t, a in wanted if a not in pages[t].anchors]
    return pages, faults


def main(folder):
    pages, faults = walk(folder, ["contents.html", "index.html"])
    faults += [f"topic{n}.html missing" for n in CONTEXTS if f"topic{n}.html" not in pages]
    reachable, _ = walk(folder, ["contents.html"])
    faults += [f"{n}: not reachable from contents.html" for n in sorted(os.listdir(folder))
               if n.endswith(".html") and n not in reachable]
    print("\n".join(faults) or f"{len(pages)} pages, all links resolve")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
