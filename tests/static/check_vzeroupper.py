#!/usr/bin/env python3
"""Every function of a binary that uses 256- or 512-bit registers runs vzeroupper before control
leaves it: before each return, each call, and each jump out of the function (a tail call).
Code built for SSE that runs while the upper halves are dirty pays a transition penalty or a
false dependency on every instruction, and the library's callers are such code.

The check follows each function's control flow in the disassembly: a path is dirty from an
instruction that names a ymm or zmm register until a vzeroupper or vzeroall.

Usage: check_vzeroupper.py [--objdump OBJDUMP] FILE
"""
import argparse
import re
import subprocess
import sys

FUNCTION = re.compile(r"^([0-9a-f]+) <(.+)>:$")
INSTRUCTION = re.compile(r"^\s*([0-9a-f]+):\s+(.*)$")
WIDE_REGISTER = re.compile(r"%[yz]mm\d")
TARGET = re.compile(r"^([0-9a-f]+)(?: <.*>)?$")
PREFIXES = {"rep", "repz", "repe", "repnz", "repne", "lock", "notrack", "bnd", "data16", "cs", "ds"}
NO_SUCCESSOR = {"ud2", "int3", "hlt"}


def functions(disassembly):
    """{name: [(address, mnemonic, operands)]} in address order."""
    found, current = {}, None
    for line in disassembly.splitlines():
        if m := FUNCTION.match(line):
            current = found.setdefault(f"{m.group(2)}@{m.group(1)}", [])
        elif current is not None and (m := INSTRUCTION.match(line)):
            words = m.group(2).split(None, 1)
            while words and words[0] in PREFIXES:
                words = words[1].split(None, 1) if len(words) > 1 else []
            if words and not words[0].startswith("(bad)"):
                current.append((int(m.group(1), 16), words[0], words[1] if len(words) > 1 else ""))
    return found


def direct_target(operands):
    m = TARGET.match(operands.strip())
    return int(m.group(1), 16) if m else None


def dirty_exits(code):
    """The exits that some path reaches with dirty upper halves, as (address, what)."""
    index = {address: i for i, (address, _, _) in enumerate(code)}
    dirty_in = {}  # instruction index -> whether some path reaches it dirty
    pending = [(0, False)]
    exits = set()
    while pending:
        i, dirty = pending.pop()
        if i >= len(code) or dirty_in.get(i) in (dirty, True):
            continue
        dirty_in[i] = dirty
        address, mnemonic, operands = code[i]
        if mnemonic in ("vzeroupper", "vzeroall"):
            dirty = False
        elif WIDE_REGISTER.search(operands):
            dirty = True
        successors = []
        if mnemonic.startswith("ret") or mnemonic.startswith("call"):
            if dirty:
                exits.add((address, f"{mnemonic} {operands}".strip()))
            if mnemonic.startswith("call"):
                successors.append(i + 1)
        elif mnemonic.startswith("j"):
            target = direct_target(operands)
            if target in index:
                successors.append(index[target])
            elif dirty:
                exits.add((address, f"{mnemonic} {operands}"))
            if mnemonic != "jmp":
                successors.append(i + 1)
        elif mnemonic not in NO_SUCCESSOR:
            successors.append(i + 1)
        pending += [(s, dirty) for s in successors]
    return sorted(exits)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", default="objdump")
    parser.add_argument("file")
    args = parser.parse_args()
    disassembly = subprocess.run([args.objdump, "-d", "-w", "-C", "--no-show-raw-insn", args.file],
                                 check=True, capture_output=True, text=True).stdout
    wide = {name: code for name, code in functions(disassembly).items()
            if any(WIDE_REGISTER.search(operands) for _, _, operands in code)}
    if not wide:
        sys.exit(f"{args.file}: no function uses ymm or zmm registers; are the wide CRC paths "
                 "missing, or the symbols stripped?")
    failures = [(name, exits) for name, code in wide.items() if (exits := dirty_exits(code))]
    for name, exits in failures:
        print(f"{name}: leaves with dirty upper halves at "
              + ", ".join(f"{address:x} ({what})" for address, what in exits))
    if failures:
        sys.exit(1)
    print(f"{len(wide)} functions use ymm or zmm registers; each runs vzeroupper before it leaves:")
    for name in sorted(wide):
        print(f"  {name}")


if __name__ == "__main__":
    main()
