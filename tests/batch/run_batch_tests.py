#!/usr/bin/env python3
"""Runs korvale-batch on a tree made here, holding a file of every outcome, and compares what it
prints, line by line, and what it leaves, byte by byte, with what the single-file program gives
on another copy of the same tree.

  run_batch_tests.py BATCH KORVALE [LAUNCHER...]

LAUNCHER, when given, prefixes every run (for the Windows build: tools/wine-run PREFIX).
Natively the tree also holds a FIFO, links and a name that is no UTF-8.
"""
import json
import os
import pty
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "cli"))
from run_cli_tests import DIGITS_AT, PLAIN, STAMPED, data_file, jamcrc, with_digits  # noqa: E402

BATCH = os.path.abspath(sys.argv[1])
KORVALE = os.path.abspath(sys.argv[2])
LAUNCHER = [os.path.abspath(sys.argv[3])] + sys.argv[4:] if len(sys.argv) > 3 else []
UNDER_WINE = bool(LAUNCHER)
SEP = "\\" if UNDER_WINE else "/"
NAME = "KorvaleBatch" if UNDER_WINE else "korvale-batch"
KEYS = ["path", "operation", "code", "crc", "message", "stored", "computed"]

failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)
    return condition


def run(program, args, cwd, **options):
    # The timeout only ends a run that blocks (a FIFO read, say); it is no measure of speed.
    return subprocess.run(LAUNCHER + [program] + args, cwd=cwd, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=300, **options)


def make_tree(folder):
    """The tree and the two explicit files beside it; returns the folder."""
    tree = Path(folder, "tree")
    (tree / "sub" / "deeper").mkdir(parents=True)
    files = {
        "Z_capital.xml": STAMPED,             # upper case sorts first
        "a_stamped.xml": STAMPED,             # 00
        "b_empty.xml": PLAIN,                 # 01
        "c_changed.xml": with_digits(STAMPED, "12345678"),  # 02
        "d_no_identifier.xml": data_file(field=b""),        # 11
        "e_malformed.xml": data_file(field=b'crc32="0X00000000"'),  # 12, 13
        "f_short.xml": data_file(251),        # 22
        "g_readonly.xml": PLAIN,              # 21
        "notes.txt": PLAIN,                   # no .xml: left alone
        "sub/h_upper.XML": STAMPED,
        "sub/deeper/i.Xml": PLAIN,
    }
    for name, content in files.items():
        (tree / name).write_bytes(content)
    (tree / "g_readonly.xml").chmod(0o444)
    Path(folder, "other.dat").write_bytes(PLAIN)  # named explicitly: taken whatever its name
    if not UNDER_WINE:
        os.mkfifo(tree / "fifo.xml")               # never blocks, gives 21
        os.symlink("sub", tree / "link_to_sub")    # a link to a folder: not followed
        os.symlink("a_stamped.xml", tree / "alias.xml")  # a link to a file: taken
    return folder


def walk_model(path):
    """The files a PATH stands for, by the rules the program documents (a model of its own)."""
    if not os.path.isdir(path):
        return [path]
    found = []
    for name in sorted(os.listdir(path), key=os.fsencode):
        full = os.path.join(path, name)
        if os.path.isdir(full) and not os.path.islink(full):
            found += walk_model(full)
        elif name.lower().endswith(".xml") and not os.path.isdir(full):
            found.append(full)
    return found


def shown(path):
    return path.replace("/", SEP) if path.startswith("tree/") else path


def korvale_outcome(operation, path, folder):
    """(code, crc, message) from the single-file program's four-line report."""
    report = run(KORVALE, [operation.upper(), path], folder).stdout.decode("latin-1")
    lines = report.split("\r\n")
    message = lines[3]
    code = 0 if message == "OK" else int(message[8:10])
    return code, lines[2][len("CRC32: "):], message


def text_line(path, code, crc, message):
    return f"{code:02}\t{crc}\t{path}\t{message}"


def snapshot(folder):
    """Every file's bytes under folder (FIFOs and links as such)."""
    files = {}
    for root, folders, names in os.walk(folder):
        for name in folders + names:
            full = os.path.join(root, name)
            if os.path.islink(full):
                files[full[len(folder):]] = "link to " + os.readlink(full)
            elif os.path.isfile(full):
                files[full[len(folder):]] = Path(full).read_bytes()
    return files


def compare_lines(what, got, want):
    got_lines, want_lines = got.split("\n"), want.split("\n")
    for number, (a, b) in enumerate(zip(got_lines, want_lines), 1):
        if not expect(a == b, f"{what}, line {number}: {a!r}\n   want {b!r}"):
            return
    expect(len(got_lines) == len(want_lines),
           f"{what}: {len(got_lines)} lines, want {len(want_lines)}")


def check_tree_operations():
    arguments = ["tree", "other.dat", "missing.xml"]
    with tempfile.TemporaryDirectory() as model:
        make_tree(model)
        order = [p for a in arguments for p in walk_model(os.path.join(model, a))]
        order = [os.path.relpath(p, model) for p in order]
    for operation in ("check", "set", "reset"):
        with tempfile.TemporaryDirectory() as reference:
            make_tree(reference)
            before = [content_of(os.path.join(reference, path)) for path in order]
            outcomes = [korvale_outcome(operation, path, reference) for path in order]
            after = snapshot(reference)
        # A check opens for reading only, so it verifies a read-only file, which the single-file
        # program, opening it for writing, refuses.
        outcomes = [(1, "0x00000000", "ERROR: [01] CRC is empty")
                    if operation == "check" and p.endswith("g_readonly.xml") else o
                    for p, o in zip(order, outcomes)]
        expected = "".join(text_line(shown(p), *o) + "\n" for p, o in zip(order, outcomes))
        quiet = "".join(text_line(shown(p), *o) + "\n" for p, o in zip(order, outcomes) if o[0])
        json_lines = "".join(
            json.dumps(dict(zip(KEYS, [shown(p), operation, *o,
                                       *stored_and_computed(operation, content, o[0])]))) + "\n"
            for p, o, content in zip(order, outcomes, before))
        codes = sorted({o[0] for o in outcomes})
        expect(len(codes) >= 5, f"{operation}: the tree gives only codes {codes}")
        runs = [(["-j", "1"], expected), (["-j", "4"], expected), (["--jobs=3", "--json"], json_lines),
                (["-q", "-j2"], quiet)]
        for options, want in runs:
            with tempfile.TemporaryDirectory() as folder:
                make_tree(folder)
                result = run(BATCH, options + [operation] + arguments, folder)
                what = f"{operation} {' '.join(options)}"
                expect(result.returncode == 1, f"{what}: status {result.returncode}")
                compare_lines(what, result.stdout.decode("utf-8"), want)
                expect(snapshot(folder) == after, f"{what}: the files differ from korvale's")
                summary = result.stderr.decode("utf-8")
                expect(f"{NAME}: {operation} of {len(order)} files" in summary and
                       "\r" not in summary, f"{what}: summary {summary!r}")
        for line in json_lines.splitlines():
            expect(list(json.loads(line)) == KEYS, f"JSON keys of {line}")


def content_of(path):
    return Path(path).read_bytes() if os.path.isfile(path) else None


def stored_and_computed(operation, content, code):
    """The field as the file held it, and the CRC of its content: given where the operation read
    both (a check or set that found the field), empty elsewhere."""
    if operation == "reset" or code not in (0, 1, 2):
        return "", ""
    return "0x" + content[DIGITS_AT:DIGITS_AT + 8].decode(), jamcrc(content)


def check_statuses():
    with tempfile.TemporaryDirectory() as folder:
        make_tree(folder)
        good = [f"tree{SEP}a_stamped.xml", "tree/sub/h_upper.XML"]
        result = run(BATCH, ["check"] + good, folder)
        expect(result.returncode == 0 and result.stdout.count(b"\tOK\n") == 2,
               f"all good: {result.returncode} {result.stdout!r}")
        result = run(BATCH, ["--quiet", "check"] + good, folder)
        expect(result.returncode == 0 and result.stdout == b"", f"quiet: {result.stdout!r}")
        for args in ([], ["--bogus", "check", "tree"], ["check"], ["-j", "0", "check", "tree"],
                     ["frobnicate", "tree"], ["-0", "check", "tree"]):
            result = run(BATCH, args, folder)
            lines = result.stderr.decode("utf-8").splitlines()
            expect(result.returncode == 2 and result.stdout == b"" and len(lines) == 3 and
                   lines[0].startswith(NAME + ": ") and lines[1].startswith(f"Usage: {NAME} "),
                   f"usage error {args}: status {result.returncode}, stderr {result.stderr!r}")
        result = run(BATCH, ["--files-from", "no-such-list", "check"], folder)
        expect(result.returncode == 2 and b"no-such-list" in result.stderr,
               f"missing list: {result.returncode} {result.stderr!r}")
        result = run(BATCH, ["--version"], folder)
        expect(result.returncode == 0 and result.stdout == f"{NAME} (Korvale) 1.0.20120528\n".encode(),
               f"--version: {result.stdout!r}")
        result = run(BATCH, ["--help"], folder)
        expect(result.returncode == 0 and result.stdout.startswith(f"Usage: {NAME} ".encode()),
               f"--help: {result.stdout!r}")


def check_files_from():
    with tempfile.TemporaryDirectory() as folder:
        make_tree(folder)
        entries = [b"tree/b_empty.xml", b"other.dat", b"tree/sub", b"missing.xml"]
        expected = ["tree/b_empty.xml", "other.dat", f"tree/sub{SEP}deeper{SEP}i.Xml",
                    f"tree/sub{SEP}h_upper.XML", "missing.xml"]
        if not UNDER_WINE:  # a line feed in a name: only a NUL list can carry it
            Path(folder, "odd\nname.xml").write_bytes(PLAIN)
            entries.append(b"odd\nname.xml")
            expected.append("odd\\x0aname.xml")
        listed = b"\0".join(entries) + b"\0"
        Path(folder, "list").write_bytes(listed)
        for args, stdin in ((["--files-from", "list", "-0"], None),
                            (["-0", "--files-from=-"], listed)):
            result = run(BATCH, args + ["check"], folder, input=stdin)
            paths = [line.split("\t")[2] for line in result.stdout.decode("utf-8").splitlines()]
            expect(paths == expected, f"--files-from {args}: {paths}\n   want {expected}")
        # Lines: on Windows a CR before the line feed is no part of the name.
        lines = b"tree/b_empty.xml\r\nother.dat\r\n" if UNDER_WINE else b"tree/b_empty.xml\nother.dat\n"
        result = run(BATCH, ["--files-from", "-", "check"], folder, input=lines)
        expect(result.stdout.count(b"\tERROR: [01] CRC is empty\n") == 2,
               f"--files-from lines: {result.stdout!r}")


def check_names():
    """Names outside ASCII: escaped natively when they are no UTF-8; UTF-8 in JSON on Windows,
    where the program opens them by their wide names."""
    names = ["Grüße-Ωμέγα-日本.xml".encode()]
    if not UNDER_WINE:
        names.append(b"l\xe4t.xml")
    for name in names:
        with tempfile.TemporaryDirectory() as folder:
            os.mkdir(os.path.join(folder, "d"))
            Path(os.fsdecode(os.path.join(folder.encode(), b"d", name))).write_bytes(PLAIN)
            result = run(BATCH, ["--json", "set", "d"], folder)
            line = result.stdout.decode("ascii" if b"\xe4t" in name else "utf-8")
            record = json.loads(line)
            expect(os.fsencode(record["path"]) == b"d" + SEP.encode() + name and
                   record["code"] == 0, f"{name!r}: {line!r}")
            result = run(BATCH, ["check", "d"], folder)
            expect(result.returncode == 0, f"{name!r}: check after set gave {result.stdout!r}")


def unescape_text_path(field):
    """A path as the text lines show it, back to its bytes: \\\\ is a backslash, \\xHH a byte."""
    out, i = bytearray(), 0
    while i < len(field):
        if field[i:i + 2] == b"\\\\":
            out += b"\\"
            i += 2
        elif field[i:i + 2] == b"\\x":
            out.append(int(field[i + 2:i + 4], 16))
            i += 4
        else:
            out.append(field[i])
            i += 1
    return bytes(out)


def check_awkward_names():
    """Natively: every name, however awkward, reads back from a text line to its exact bytes."""
    names = [b"a\tb.xml", b"a\\x09b.xml", b"new\nline.xml", b"cr\r.xml", b"back\\slash.xml",
             b"\\\\.xml", b"quote\"s'.xml", b"l\xe4t.xml", b"-leading.xml", b"del\x7f.xml"]
    with tempfile.TemporaryDirectory() as folder:
        tree = os.path.join(folder.encode(), b"d")
        os.mkdir(tree)
        for name in names:
            Path(os.fsdecode(os.path.join(tree, name))).write_bytes(STAMPED)
        result = run(BATCH, ["check", "d"], folder)
        lines = result.stdout.split(b"\n")[:-1]
        paths = [unescape_text_path(line.split(b"\t")[2]) for line in lines]
        expect(all(line.count(b"\t") == 3 for line in lines) and
               sorted(paths) == sorted(b"d/" + name for name in names),
               f"awkward names: {result.stdout!r}")
        expect(result.returncode == 0, f"awkward names: status {result.returncode}")


def check_list_entries():
    """Natively: a list line holding a NUL, and one beyond the longest path, are one line each
    with code 21; the long one is never held whole (a 200 MB line, a bounded resident size)."""
    with tempfile.TemporaryDirectory() as folder:
        make_tree(folder)
        with open(Path(folder, "list"), "wb") as listed:  # written in pieces: Python holds little
            listed.write(b"tree/b_empty.xml\ntree\0junk\n")
            for _ in range(200):
                listed.write(b"x" * (1 << 20))
            listed.write(b"\nother.dat\n")
        with open(Path(folder, "out"), "wb") as out:
            process = subprocess.Popen([BATCH, "--files-from", "list", "check"], cwd=folder,
                                       stdout=out, stderr=subprocess.DEVNULL)
            _, _, usage = os.wait4(process.pid, 0)
            process.returncode = 0  # reaped
        size = Path(folder, "out").stat().st_size
        lines = Path(folder, "out").read_bytes().split(b"\n")[:-1] if size < 1 << 20 else []
        fields = [line.split(b"\t") for line in lines]
        expect([f[0] for f in fields] == [b"01", b"21", b"21", b"01"] and
               fields[1][2] == b"tree\\x00junk" and len(fields[2][2]) == os.pathconf("/", "PC_PATH_MAX"),
               f"list entries: {size} bytes out: {[(f[0], f[2][:40], len(f[2])) for f in fields]}")
        # The most the process held, from its start as a copy of this one until its end.
        expect(usage.ru_maxrss < 64 * 1024, f"a 200 MB list line: {usage.ru_maxrss} KiB resident")


def check_interrupts():
    """Natively: an interrupt stops the taking of files; those in hand finish, every file worked
    on gets its line and no other is touched, the summary follows, and the status names the
    signal. A second signal (another, as a pending one is not counted twice) ends the program at
    once, with no field half-written. One run waits
    on a list that its producer keeps open: the interrupt ends that wait too."""
    count = 20000  # set and reset take a few thousand files in a tenth of a second
    for signal_number, status, second, from_list in (
            (signal.SIGINT, {130}, False, True), (signal.SIGTERM, {143}, False, False),
            (signal.SIGHUP, {129}, False, False),
            # Two threads may take the two at once: either is the second.
            (signal.SIGINT, {-signal.SIGINT, -signal.SIGTERM}, True, False)):
        what = signal.Signals(signal_number).name + (" and SIGTERM" if second else "")
        with tempfile.TemporaryDirectory() as folder:
            names = [f"f{i:05}.xml" for i in range(count)]
            for name in names:
                Path(folder, name).write_bytes(PLAIN)
            arguments = ["--files-from", "-", "set"] if from_list else ["set", "."]
            process = subprocess.Popen([BATCH, "-j2"] + arguments, cwd=folder,
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                       stderr=subprocess.PIPE)
            if from_list:  # some of the files, and the list left open
                process.stdin.write("".join(f"./{n}\n" for n in names[:50]).encode())
                process.stdin.flush()
            # Work is under way: the first file is stamped. Its line may not be out yet (set and
            # reset flush many files at once, and lines reach a pipe within a tenth of a
            # second), and by then the rest may be done.
            while Path(folder, names[0]).read_bytes() == PLAIN and process.poll() is None:
                pass
            process.send_signal(signal_number)
            if second:
                process.send_signal(signal.SIGTERM)
            out, err = process.communicate(timeout=120)
            lines = out.decode().splitlines()
            stamped = sorted(name for name in names if Path(folder, name).read_bytes() != PLAIN)
            half = [name for name in names if Path(folder, name).read_bytes() not in (PLAIN, STAMPED)]
            listed = sorted(line.split("\t")[2][2:] for line in lines)
            expect(process.returncode in status, f"{what}: status {process.returncode}")
            expect(not half, f"{what}: fields half-written in {half}")
            if second:
                continue
            expect(listed == stamped and 0 < len(listed) < count,
                   f"{what}: {len(listed)} lines, {len(stamped)} files stamped")
            summary = f"set of {len(lines)} file".encode()
            expect(f"stopped by {what}:".encode() in err and summary in err,
                   f"{what}: standard error {err!r}")


def check_streaming():
    """Lines reach a pipe while the program still waits for more paths: none waits for the end."""
    with tempfile.TemporaryDirectory() as folder:
        make_tree(folder)
        process = subprocess.Popen(LAUNCHER + [BATCH, "--files-from", "-", "check"], cwd=folder,
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL)
        try:
            for name in ("a_stamped.xml", "b_empty.xml"):
                process.stdin.write(f"tree/{name}\n".encode())
                process.stdin.flush()
                ready, _, _ = select.select([process.stdout], [], [], 60)
                line = os.read(process.stdout.fileno(), 4096) if ready else b""
                expect(name.encode() in line, f"streaming: {name} not out in time ({line!r})")
            process.stdin.close()
            process.wait(timeout=60)
        finally:
            process.kill()
            process.wait()


def read_terminal(master, seen=b"", until=lambda seen: False, seconds=30):
    """`seen` and what the terminal's master side `master` gives until `until(seen)` holds, the
    program's side is closed, or `seconds` pass (a bound on a wait that failed, never a pace)."""
    end = time.monotonic() + seconds
    while not until(seen) and (left := end - time.monotonic()) > 0:
        if not select.select([master], [], [], left)[0]:
            break
        try:
            piece = os.read(master, 4096)
        except OSError:  # the program has ended and closed its side
            break
        if not piece:
            break
        seen += piece
    return seen


def check_progress_on_a_terminal():
    """Natively: a live line on a terminal's standard error; none elsewhere (checked above)."""
    with tempfile.TemporaryDirectory() as folder:
        make_tree(folder)
        master, slave = pty.openpty()
        process = subprocess.Popen([BATCH, "--files-from", "-", "check"], cwd=folder,
                                   stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=slave)
        os.close(slave)
        process.stdin.write(b"tree/a_stamped.xml\n")
        process.stdin.flush()
        # The list stays open until the live line is out, so the run cannot end before it.
        seen = read_terminal(master, until=lambda seen: b"\r1 files, " in seen)
        process.stdin.close()
        process.wait(timeout=60)
        seen = read_terminal(master, seen)
        os.close(master)
        expect(b"\r1 files, " in seen, f"no progress line on a terminal: {seen!r}")
        expect(b"check of 1 file," in seen, f"no summary on the terminal: {seen!r}")


def check_closed_streams():
    """Natively: a standard stream the caller closed is never handed to a data file. While a large
    file is read, the lines of the small ones before it are flushed (a few times a second): with
    output closed, they once went into the large file, which held descriptor 1."""
    with tempfile.TemporaryDirectory() as folder:
        small = [f"s{i:02}.xml" for i in range(20)]
        for name in small:
            Path(folder, name).write_bytes(PLAIN)
        with open(Path(folder, "t_large.xml"), "wb") as large:
            large.write(PLAIN)
            large.truncate(1 << 30)  # sparse: quick to make, long enough to read for many ticks
        before = snapshot_heads(folder)
        # Status 1 in every run: unstamped files (codes 01), or an output that cannot be written.
        for operation, closed in (("check", 2), ("check", 1), ("set", 1)):
            result = run(BATCH, ["-j1", operation, "."], folder,
                         preexec_fn=lambda fd=closed: os.close(fd))
            what = f"{operation} with descriptor {closed} closed"
            expect(result.returncode == 1, f"{what}: status {result.returncode}")
            if closed == 1:
                expect(b"cannot write standard output" in result.stderr,
                       f"{what}: stderr {result.stderr!r}")
            after = snapshot_heads(folder)
            changed = [name for name in before
                       if without_digits(before[name]) != without_digits(after[name])]
            expect(not changed, f"{what}: changed beyond the digits: {changed}")
            before = after
        # A closed standard input is a list that cannot be read, never a data file.
        result = run(BATCH, ["--files-from", "-", "check"] + small, folder,
                     preexec_fn=lambda: os.close(0))
        expect(result.returncode == 1 and b"cannot read '-'" in result.stderr and
               result.stdout.count(b"\n") == len(small),
               f"closed standard input: {result.returncode} {result.stderr!r}")


def without_digits(content):
    return content[:DIGITS_AT] + content[DIGITS_AT + 8:]


def snapshot_heads(folder):
    heads = {}
    for name in sorted(os.listdir(folder)):
        with open(Path(folder, name), "rb") as file:
            heads[name] = file.read(4096)
    return heads


def screen_lines(output):
    """The lines a terminal shows for `output`: a carriage return moves back to the line's start,
    where the following text overwrites what stood there."""
    lines, line, column = [], [], 0
    for char in output.decode("utf-8", "replace"):
        if char == "\n":
            lines.append("".join(line).rstrip())
            line, column = [], 0
        elif char == "\r":
            column = 0
        else:
            line[column:column + 1] = [char]
            column += 1
    return lines + ["".join(line).rstrip()]


def check_lines_beside_progress():
    """Natively: result lines and the live line share one terminal; no result line is ever glued
    to the live line."""
    with tempfile.TemporaryDirectory() as folder:
        make_tree(folder)
        master, slave = pty.openpty()
        process = subprocess.Popen([BATCH, "--files-from", "-", "check"], cwd=folder,
                                   stdin=subprocess.PIPE, stdout=slave, stderr=slave)
        os.close(slave)
        seen = b""
        for name in ("a_stamped.xml", "b_empty.xml", "c_changed.xml"):
            process.stdin.write(f"tree/{name}\n".encode())
            process.stdin.flush()
            # The live line stands, after this file's line, when the next result comes.
            seen = read_terminal(master, seen, lambda seen, name=name.encode(): (
                name in seen and b" files, " in seen[seen.rindex(name):]))
        process.stdin.close()
        process.wait(timeout=60)
        seen = read_terminal(master, seen)
        os.close(master)
        shown = [line for line in screen_lines(seen) if "\t" in line]
        want = [line for line in screen_lines(seen) if line.startswith(("00\t", "01\t", "02\t"))]
        expect(len(want) == 3 and shown == want, f"lines beside the live line: {seen!r}")


def main():
    check_tree_operations()
    check_statuses()
    check_files_from()
    check_names()
    check_streaming()
    if not UNDER_WINE:
        check_progress_on_a_terminal()
        check_lines_beside_progress()
        check_closed_streams()
        check_awkward_names()
        check_list_entries()
        check_interrupts()
    for failure in failures:
        print("FAIL " + failure)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
