#!/usr/bin/env python3
"""Runs the program on a table of command lines and compares standard output byte for byte.

  run_cli_tests.py PROGRAM [LAUNCHER...]

LAUNCHER, when given, prefixes every run (for the Windows build: tools/wine-run PREFIX).
Each case runs in a fresh folder holding the data files it names; names are relative, so
the report looks the same on every platform. The expected CRCs come from zlib, not from
the program's own code.
"""
import os
import subprocess
import sys
import tempfile
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent
HELP = (HERE / "help.expected").read_bytes()
HEADER = "Korvale [1.0.20120528]"
FAIL_SAFE = "0x00000000"

ERRORS = {
    0: "OK",
    1: "ERROR: [01] CRC is empty",
    2: "ERROR: [02] CRC is different",
    11: "ERROR: [11] Missing CRC32-Identifier within the first 252 Bytes.",
    12: "ERROR: [12] Missing CRC32-Identifier.",
    13: 'ERROR: [13] Missing ["] in CRC32.',
    21: "ERROE: [21] Could not open file exclusive for ReadWrite.",
    22: "ERROR: [22] File is to short.",
    "A1": "ERROR: [A1] unknown parameter.",
    "A2": "ERROR: [A2] to many parameter.",
}

DIGITS_AT = 69  # the fixtures put crc32="0x........" at offset 60


def data_file(size=600, field=b'crc32="0x00000000"'):
    filler = b'<?xml version="1.0"?>\n<Library name="valves">\n  <Value unit="bar">350</Value>\n'
    content = (filler * (size // len(filler) + 1))[:size]
    return content[:60] + field + content[60 + len(field):] if field else content


def jamcrc(content, at=DIGITS_AT):
    zeroed = content[:at] + b"00000000" + content[at + 8:]
    return "0x%08X" % (~zlib.crc32(zeroed) & 0xFFFFFFFF)


def with_digits(content, digits, at=DIGITS_AT):
    return content[:at] + digits.encode() + content[at + 8:]


def report(command, crc, outcome):
    return "".join(line + "\r\n" for line in
                   (HEADER, command, "CRC32: " + crc, ERRORS[outcome])).encode("latin-1")


PLAIN = data_file()
CRC = jamcrc(PLAIN)
STAMPED = with_digits(PLAIN, CRC[2:])


def cases():
    """(what, arguments, files before, expected stdout, files after or None)."""
    for word in ("HELP", "help", "Help", "hElP", "?", "/?", "/help", "/HELP"):
        yield (f"help word {word}", [word], {}, HELP, None)
    yield ("help before the count", ["/HELP", "x", "y", "z"], {}, HELP, None)
    yield ("help with a file", ["help", "a.xml"], {}, HELP, None)
    yield ("help only counts first", ["a.xml", "help"], {}, report("...", FAIL_SAFE, "A1"), None)
    for args in (["foo"], ["foo", "a.xml"], ["-?"], ["/CHECK", "a.xml"], ["HELPX"], ["CHECKS"]):
        yield (f"A1 {args}", args, {}, report("...", FAIL_SAFE, "A1"), None)
    for args in (["check", "a.xml", "b"], ["foo", "a", "b"], ["SET", "a", "b", "c"]):
        yield (f"A2 {args}", args, {}, report("...", FAIL_SAFE, "A2"), None)

    different = with_digits(PLAIN, "12345678")
    no_field = data_file(field=b"")
    malformed = data_file(field=b'crc32="0X00000000"')
    short = data_file(251)
    table = [
        # (words, content, stdout crc, outcome, content after)
        (["CHECK", "d.xml"], STAMPED, CRC, 0, STAMPED),
        (["check", "d.xml"], PLAIN, FAIL_SAFE, 1, PLAIN),
        (["Check", "d.xml"], different, FAIL_SAFE, 2, different),
        (["CHECK", "d.xml"], no_field, FAIL_SAFE, 11, no_field),
        (["CHECK", "d.xml"], malformed, FAIL_SAFE, 12, malformed),
        (["CHECK", "d.xml"], short, FAIL_SAFE, 22, short),
        (["SET", "d.xml"], PLAIN, CRC, 0, STAMPED),
        (["set", "d.xml"], different, CRC, 0, STAMPED),
        (["SET", "d.xml"], no_field, FAIL_SAFE, 11, no_field),
        (["SET", "d.xml"], malformed, FAIL_SAFE, 13, malformed),
        (["SET", "d.xml"], short, "", 22, short),
        (["RESET", "d.xml"], STAMPED, FAIL_SAFE, 0, PLAIN),
        (["reset", "d.xml"], no_field, FAIL_SAFE, 11, no_field),
        (["RESET", "d.xml"], malformed, FAIL_SAFE, 13, malformed),
        (["RESET", "d.xml"], short, FAIL_SAFE, 22, short),
    ]
    for words, content, crc, outcome, after in table:
        command = words[0].upper() + " ..." + words[1]
        yield (f"{words} -> {outcome}", words, {"d.xml": content}, report(command, crc, outcome),
               {"d.xml": after})

    for word, crc in (("CHECK", FAIL_SAFE), ("SET", ""), ("RESET", FAIL_SAFE)):
        yield (f"{word} of a missing file", [word, "missing.xml"], {},
               report(f"{word} ...missing.xml", crc, 21), None)
        yield (f"{word} without a name", [word], {}, report(f"{word} ...", crc, 21), None)
    long_name = "n" * 300
    yield ("a name beyond 255 characters", ["CHECK", long_name], {},
           report("CHECK ..." + "n" * 60, FAIL_SAFE, 21), None)
    yield ("a quoted name with spaces", ["SET", "my data.xml"], {"my data.xml": PLAIN},
           report("SET ...my data.xml", CRC, 0), {"my data.xml": STAMPED})
    yield ("the name keeps its case", ["check", "Data.XML"], {"Data.XML": STAMPED},
           report("CHECK ...Data.XML", CRC, 0), None)

    # The report the README shows: a CHECK of the sample file, stamped.
    valves = (HERE.parent.parent / "examples" / "valves.xml").read_bytes()
    at = valves.index(b'crc32="0x') + len(b'crc32="0x')
    shown = (HERE / "readme_report.expected").read_bytes().replace(b"\n", b"\r\n")
    yield ("the README's report", ["CHECK", "valves.xml"],
           {"valves.xml": with_digits(valves, jamcrc(valves, at)[2:], at)}, shown, None)


def run(command, cwd, stdout=subprocess.PIPE):
    return subprocess.run(command, cwd=cwd, stdout=stdout, stderr=subprocess.PIPE, timeout=60)


def main():
    program = os.path.abspath(sys.argv[1])
    launcher = [os.path.abspath(sys.argv[2])] + sys.argv[3:] if len(sys.argv) > 2 else []
    failures = 0
    count = 0
    for what, args, files, stdout, after in cases():
        count += 1
        with tempfile.TemporaryDirectory() as folder:
            for name, content in files.items():
                Path(folder, name).write_bytes(content)
            result = run(launcher + [program] + args, folder)
            problems = []
            if result.returncode != 0:
                problems.append(f"exit status {result.returncode}, stderr {result.stderr!r}")
            if result.stdout != stdout:
                problems.append(f"stdout {result.stdout!r}\n   want {stdout!r}")
            for name, content in (after or {}).items():
                if Path(folder, name).read_bytes() != content:
                    problems.append(f"{name} changed wrongly")
            if problems:
                failures += 1
                print(f"FAIL {what}: " + "; ".join(problems))

    # A standard output that cannot be written: status 1, one message on stderr, no crash.
    with tempfile.TemporaryDirectory() as folder:
        read_end, write_end = os.pipe()
        os.close(read_end)  # nobody reads: every write fails
        result = run(launcher + [program, "HELP"], folder, stdout=write_end)
        os.close(write_end)
        errors = [line for line in result.stderr.decode("latin-1").splitlines()
                  if "Korvale" in line]
        count += 1
        if result.returncode != 1 or len(errors) != 1:
            failures += 1
            print(f"FAIL closed stdout: status {result.returncode}, stderr {result.stderr!r}")

    # Natively: a standard stream the caller closed is never handed to the data file, which
    # changes only in its digits and never gets the report; a closed output is status 1.
    if not launcher:
        for words, content, closed, status, stdout, after in (
                (["SET", "d.xml"], PLAIN, 1, 1, b"", STAMPED),
                (["RESET", "d.xml"], STAMPED, 1, 1, b"", PLAIN),
                (["CHECK", "d.xml"], STAMPED, 1, 1, b"", STAMPED),
                (["SET", "d.xml"], PLAIN, 2, 0, report("SET ...d.xml", CRC, 0), STAMPED),
                (["CHECK", "d.xml"], STAMPED, 2, 0, report("CHECK ...d.xml", CRC, 0), STAMPED)):
            count += 1
            with tempfile.TemporaryDirectory() as folder:
                Path(folder, "d.xml").write_bytes(content)
                result = subprocess.run([program] + words, cwd=folder, capture_output=True,
                                        timeout=60, preexec_fn=lambda fd=closed: os.close(fd))
                problems = []
                if result.returncode != status:
                    problems.append(f"exit status {result.returncode}, stderr {result.stderr!r}")
                if closed == 1 and b"Korvale" not in result.stderr:
                    problems.append(f"stderr {result.stderr!r}")
                if result.stdout != stdout:
                    problems.append(f"stdout {result.stdout!r}")
                if Path(folder, "d.xml").read_bytes() != after:
                    problems.append(f"d.xml now {Path(folder, 'd.xml').read_bytes()!r}")
                if problems:
                    failures += 1
                    print(f"FAIL {words} with descriptor {closed} closed: " + "; ".join(problems))

    # Natively there is no window: without arguments the program says so and fails.
    if not launcher:
        count += 1
        result = run([program], tempfile.gettempdir())
        if result.returncode != 1 or result.stdout or b"window" not in result.stderr:
            failures += 1
            print(f"FAIL no arguments: status {result.returncode}, stderr {result.stderr!r}")

    print(f"{count - failures} of {count} command-line cases passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
