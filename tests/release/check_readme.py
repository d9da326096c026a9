#!/usr/bin/env python3
"""The README's code excerpts marked <!-- example: FILE --> stand in FILE exactly, so the
examples that the tests build and run are the ones readers see.   check_readme.py ROOT"""
import re
import sys
from pathlib import Path

root = Path(sys.argv[1])
readme = (root / "README.md").read_text()
blocks = re.findall(r"<!-- example: (\S+) -->\n```\w*\n(.*?)```", readme, re.S)
stale = [name for name, block in blocks if block not in (root / name).read_text()]
for name in stale:
    print(f"FAIL: an excerpt of {name} in README.md no longer matches the file")
print(f"{len(blocks) - len(stale)} of {len(blocks)} excerpts match")
sys.exit(1 if stale or not blocks else 0)
