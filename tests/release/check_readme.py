#!/usr/bin/env python3
"""The README's excerpts stand in the code, so what readers see is what the programs do.

  <!-- example: FILE -->  the code block that follows stands in FILE exactly, so the examples
                          that the tests build and run are the ones readers see;
  <!-- texts: FILE... --> in the table that follows, the code text opening each row is a whole
                          string literal of one of the FILEs (as written there, \\n and all,
                          with \\" read as a quote): the messages are the programs' own.

  check_readme.py ROOT
"""
import re
import sys
from pathlib import Path

root = Path(sys.argv[1])
readme = (root / "README.md").read_text()
faults = []

blocks = re.findall(r"<!-- example: (\S+) -->\n```\w*\n(.*?)```", readme, re.S)
for name, block in blocks:
    if block not in (root / name).read_text():
        faults.append(f"an excerpt of {name} no longer matches the file")

tables = re.findall(r"<!-- texts: ([^>]*?) -->\n((?:\|.*\n)+)", readme)
rows = 0
for names, table in tables:
    literals = set()
    for name in names.split():
        source = (root / name).read_text()
        literals |= {text.replace('\\"', '"') for text in re.findall(r'"((?:[^"\\]|\\.)*)"', source)}
    for row in table.splitlines()[2:]:
        rows += 1
        text = re.match(r"\| `([^`]*)`", row)
        if not text or text.group(1) not in literals:
            faults.append(f"no literal in {names} reads {text.group(1) if text else row!r}")

for fault in faults:
    print("FAIL: " + fault)
print(f"{len(blocks)} excerpts and {rows} texts in {len(tables)} tables checked")
sys.exit(1 if faults or not blocks or not tables else 0)
