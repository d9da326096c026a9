#!/usr/bin/env python3
"""The user guide's sources hold together, so the compiled help and the bundled pages work:

  - Korvale.hhp names every page, and every file it names exists (chmcmd compiles what it is
    told, and a page it is not told of is a dead link in the help file alone);
  - every entry of the contents (.hhc) and the index (.hhk), and every link between pages, leads
    to a compiled page and, after a '#', to an id on it; every page is in the contents;
  - the messages quoted in <code> are the programs' own literals, and every message of the
    README's table is quoted;
  - a <pre> after <!-- example: FILE --> stands in FILE exactly.

  check_guide.py ROOT
"""
import html
import re
import sys
from html.parser import HTMLParser
from pathlib import Path
from urllib.parse import urlsplit

root = Path(sys.argv[1])
guide = root / "guide"
MESSAGE_SOURCES = ["library/messages.cpp", "tool/report.cpp"]
faults = []


class Page(HTMLParser):
    """The links, ids, sitemap entries and <code> texts of one HTML file."""

    def __init__(self, path):
        super().__init__(convert_charrefs=True)
        self.links, self.ids, self.locals, self.codes = [], set(), [], []
        self._code = None
        self.feed(path.read_text(encoding="utf-8"))

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if "id" in attrs:
            self.ids.add(attrs["id"])
        for name in ("href", "src"):
            if name in attrs:
                self.links.append(attrs[name])
        if tag == "param" and attrs.get("name", "").lower() == "local":
            self.locals.append(attrs["value"])
        if tag == "code":
            self._code = ""

    def handle_endtag(self, tag):
        if tag == "code" and self._code is not None:
            self.codes.append(self._code)
            self._code = None

    def handle_data(self, data):
        if self._code is not None:
            self._code += data


def sections(project):
    found, current = {}, None
    for line in project.read_text().splitlines():
        if re.fullmatch(r"\[\w+\]", line.strip()):
            current = found.setdefault(line.strip()[1:-1], [])
        elif line.strip() and current is not None:
            current.append(line.strip())
    return found


project = sections(guide / "Korvale.hhp")
options = dict(line.split("=", 1) for line in project["OPTIONS"])
compiled = project["FILES"]
for name in compiled:
    if not (guide / name).is_file():
        faults.append(f"Korvale.hhp names {name}, which does not exist")
for path in sorted(guide.glob("*.html")) + sorted(guide.glob("*.css")):
    if path.name not in compiled:
        faults.append(f"{path.name} is not in Korvale.hhp's [FILES]")
pages = {name: Page(guide / name) for name in compiled if name.endswith(".html")
         and (guide / name).is_file()}


def check_link(source, target):
    """A link of `source` (relative to the guide) leads to a compiled page and its anchor."""
    parts = urlsplit(target)
    if parts.scheme or parts.netloc:
        return
    name = parts.path or source
    if name not in compiled:
        faults.append(f"{source} links to {target}: no compiled page {name}")
    elif parts.fragment and parts.fragment not in getattr(pages.get(name), "ids", ()):
        faults.append(f"{source} links to {target}: {name} has no id {parts.fragment}")


for name, page in pages.items():
    for link in page.links:
        check_link(name, link)
for option in ("Contents file", "Index file"):
    sitemap = Page(guide / options[option])
    if not sitemap.locals:
        faults.append(f"{options[option]} has no entries")
    for local in sitemap.locals:
        check_link(options[option], local)
    if option == "Contents file":
        listed = {urlsplit(local).path for local in sitemap.locals}
        faults += [f"{name} is not in the contents" for name in pages if name not in listed]
check_link("Korvale.hhp", options["Default topic"])

# Messages, as the programs print them.
literals = set()
for name in MESSAGE_SOURCES:
    literals |= {text.replace('\\"', '"') for text in
                 re.findall(r'"((?:[^"\\]|\\.)*)"', (root / name).read_text())}
quoted = {code for page in pages.values() for code in page.codes if re.match(r"ERRO\w: \[", code)}
faults += [f"the guide quotes {text!r}, which no program prints" for text in quoted - literals]
readme = (root / "README.md").read_text()
listed = set(re.findall(r"^\| `(ERRO\w: \[[^`]*)` \|", readme, re.M))
faults += [f"the guide never quotes {text!r}" for text in sorted(listed - quoted)]

excerpts = 0
for name in pages:
    source = (guide / name).read_text(encoding="utf-8")
    for example, block in re.findall(r"<!-- example: (\S+) -->\s*<pre>(.*?)</pre>", source, re.S):
        excerpts += 1
        if html.unescape(block) not in (root / example).read_text():
            faults.append(f"{name}: the excerpt of {example} no longer matches the file")

for fault in faults:
    print("FAIL: " + fault)
print(f"{len(pages)} pages, {len(quoted)} messages and {excerpts} excerpts checked")
sys.exit(1 if faults or not pages or not listed else 0)
