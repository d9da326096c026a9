#!/usr/bin/env python3
"""Writes a plain text with its hard-wrapped lines joined into one line per paragraph, for a
window that wraps text itself (the setup's licence page): the lines of a paragraph are joined
with one space, blank lines stay as they are, lines end in CR LF. Checks that no word was
lost or changed on the way.

  reflow_text.py INPUT OUTPUT
"""
import sys


def reflow(text):
    paragraphs, current = [], []
    for line in text.splitlines():
        if line.strip():
            current.append(line.strip())
        else:
            if current:
                paragraphs.append(" ".join(current))
                current = []
            paragraphs.append("")
    if current:
        paragraphs.append(" ".join(current))
    while paragraphs and not paragraphs[-1]:
        paragraphs.pop()
    return "\r\n".join(paragraphs) + "\r\n"


def main(source, target):
    with open(source, encoding="utf-8") as f:
        text = f.read()
    flowing = reflow(text)
    if flowing.split() != text.split():
        sys.exit(f"reflow_text.py: the words of {source} changed on the way")
    with open(target, "w", encoding="utf-8", newline="") as out:
        out.write(flowing)


if __name__ == "__main__":
    main(*sys.argv[1:])
