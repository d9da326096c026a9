#!/usr/bin/env python3
"""Runs the program on names that are no plain data file: a folder, a FIFO, devices, a name of
255 bytes, names with non-ASCII bytes. Nothing may block, crash or be written to; what is not a
regular file gives 21.

  run_odd_names.py PROGRAM [LAUNCHER...]

LAUNCHER, when given, prefixes every run (for the Windows build: tools/wine-run PREFIX).
"""
import os
import stat
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "cli"))
from run_cli_tests import CRC, FAIL_SAFE, HEADER, PLAIN, STAMPED, ERRORS  # noqa: E402

# Under Wine the arguments and file names pass through the ANSI code page (1252 here): a name
# stored as UTF-8 reaches the program, and its report, as single bytes.
UNDER_WINE = len(sys.argv) > 2
ENV = dict(os.environ, LC_ALL="C.UTF-8")


def report(command, name, crc, outcome):
    lines = [HEADER.encode(), command.encode() + b" ..." + name, b"CRC32: " + crc.encode(),
             ERRORS[outcome].encode()]
    return b"".join(line + b"\r\n" for line in lines)


def shown(name):
    """The name as the report shows it: its last 60 characters in the program's code page.
    Natively that is UTF-8, where each byte of a malformed sequence counts once (as Python's
    surrogateescape decodes it)."""
    if UNDER_WINE:
        return name.decode("utf-8").encode("cp1252")[-60:]
    return name.decode("utf-8", "surrogateescape")[-60:].encode("utf-8", "surrogateescape")


def main():
    program = os.path.abspath(sys.argv[1])
    launcher = [os.path.abspath(sys.argv[2])] + sys.argv[3:] if UNDER_WINE else []
    failures = []

    def run(folder, words, expected):
        # The timeout only ends a run that blocks; it is no measure of speed.
        result = subprocess.run(launcher + [program] + words, cwd=folder, env=ENV,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        if result.returncode != 0 or result.stdout != expected:
            failures.append(f"{words}: status {result.returncode}, stdout {result.stdout!r}\n"
                            f"   want {expected!r}\n   stderr {result.stderr!r}")

    # What is not a regular file: refused, whatever the operation.
    with tempfile.TemporaryDirectory() as folder:
        os.mkdir(Path(folder, "folder.xml"))
        os.mkfifo(Path(folder, "fifo.xml"))
        for name in (b"folder.xml", b"fifo.xml", b"/dev/null", b"/dev/zero", b"NUL", b"CON"):
            for word, crc in (("CHECK", FAIL_SAFE), ("SET", ""), ("RESET", FAIL_SAFE)):
                run(folder, [word.encode(), name], report(word, name, crc, 21))
        if not stat.S_ISFIFO(os.stat(Path(folder, "fifo.xml")).st_mode):
            failures.append("the FIFO was replaced")

    # Long and non-ASCII names are worked on like any other.
    # Long names of two- and three-byte characters, cut at 60 characters whatever their bytes.
    names = [b"n" * 251 + b".xml", "dät.xml".encode(), "ä".encode() * 70 + b".xml",
             "€".encode() * 70 + b"x.xml"]
    if not UNDER_WINE:
        names.append(b"l\xe4t.xml")  # no UTF-8: a name is bytes here
        names.append(b"\xe2\x82" + "ä".encode() * 57 + b"\xff.xml")  # malformed bytes count once
    for name in names:
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder.encode(), name)
            Path(path.decode("utf-8", "surrogateescape")).write_bytes(PLAIN)
            run(folder, [b"SET", name], report("SET", shown(name), CRC, 0))
            run(folder, [b"CHECK", name], report("CHECK", shown(name), CRC, 0))
            if Path(path.decode("utf-8", "surrogateescape")).read_bytes() != STAMPED:
                failures.append(f"{name!r}: not stamped as expected")

    for failure in failures:
        print("FAIL " + failure)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
