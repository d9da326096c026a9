#!/usr/bin/env python3
"""Static checks of a Windows PE file, read with mingw objdump.

  --exact-exports NAME=ORDINAL:CLEANUP ...  the export table holds exactly these names, at
        these ordinals ("*": any), undecorated. CLEANUP is the bytes the function removes from
        the stack on return (stdcall: 4 per argument; cdecl: 0); checked on 32-bit files only.
  --imports DLL=NAME,NAME ...  what the file imports from DLL is exactly these names.
  --system-only  every imported DLL is a system DLL (besides those named by --imports).
  --console  the program runs in the console subsystem.
  --gui  the program runs in the GUI subsystem: no console opens for it.
  --stack-alignment  (32-bit files) no function touches the stack with a vector access that
        needs 16-byte alignment unless it realigns its stack first: 32-bit callers promise only
        4 bytes.
"""
import argparse
import re
import subprocess
import sys

SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "comctl32.dll",
    "comdlg32.dll", "version.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shlwapi.dll",
    "ntdll.dll", "ws2_32.dll", "uxtheme.dll",
}


def objdump(tool, *args):
    return subprocess.run([tool, *args], check=True, capture_output=True, text=True).stdout


def parse_private_headers(text):
    """Exports as {name: (ordinal, rva)}, imports as {dll: [names]}, and the image base."""
    image_base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", text, re.M).group(1), 16)
    # "[index] +base[ordinal] rva Export RVA" lines, then "[index] name" lines.
    rva_by_index = {}
    ordinal_by_index = {}
    for index, ordinal, rva in re.findall(
            r"^\s+\[\s*(\d+)\] \+base\[\s*(\d+)\]\s+([0-9a-fA-F]+) Export RVA", text, re.M):
        rva_by_index[int(index)] = int(rva, 16)
        ordinal_by_index[int(index)] = int(ordinal)
    exports = {}
    names = text.split("[Ordinal/Name Pointer] Table", 1)
    if len(names) == 2:
        for line in names[1].splitlines()[1:]:
            e = re.match(r"\s+\[\s*(\d+)\]\s+(\S+)$", line)
            if not e:
                break
            index = int(e.group(1))
            exports[e.group(2)] = (ordinal_by_index.get(index), rva_by_index.get(index))
    imports = {}
    current = None
    for line in text.splitlines():
        d = re.match(r"\s+DLL Name: (\S+)", line)
        if d:
            current = d.group(1).lower()
            imports.setdefault(current, [])
        elif current and not line.strip():
            current = None
        elif current:
            f = re.match(r"\s+[0-9a-fA-F]+\s+\d+\s+(\S+)\s*$", line)
            if f:
                imports[current].append(f.group(1))
    return exports, imports, image_base


def returns_of(tool, path, address):
    """The return instructions of the function starting at `address`."""
    text = objdump(tool, "-d", "--no-show-raw-insn", f"--start-address={address:#x}",
                   f"--stop-address={address + 4096:#x}", path)
    rets = []
    started = False
    for line in text.splitlines():
        if re.match(r"^[0-9a-f]+ <", line):
            if started:
                break  # the next function begins
            started = True
            continue
        m = re.match(r"\s*[0-9a-f]+:\s+(ret[lq]?)\s*(\$0x[0-9a-f]+)?", line)
        if m:
            rets.append(int(m.group(2)[1:], 16) if m.group(2) else 0)
    return rets


# Vector accesses that fault on memory not aligned to their size.
ALIGNED_MOVES = re.compile(r"v?mov(aps|apd|dqa|dqa32|dqa64|ntps|ntpd|ntdq|ntdqa)$|fxsave|fxrstor|xsave|xrstor")
# Legacy SSE forms whose memory operand needs no alignment: unaligned moves, scalars and parts.
UNALIGNED_SSE = re.compile(
    r"mov(ups|upd|dqu|q|d|ss|sd|lps|hps|lpd|hpd|ddup)$|lddqu|pinsr|pextr|extractps|insertps|cvt|"
    r"pmov[sz]x|u?comis|(add|sub|mul|div|sqrt|min|max|rcp|rsqrt|round|cmp[a-z]*)s[sd]$")


def needs_alignment(mnemonic, operands):
    """Whether the instruction needs its memory operand aligned to 16 bytes or more."""
    if ALIGNED_MOVES.match(mnemonic):
        return True
    # Without VEX, an SSE instruction on a whole xmm register and memory needs it aligned.
    return "%xmm" in operands and not mnemonic.startswith("v") and not UNALIGNED_SSE.match(mnemonic)


def unaligned_stack_vectors(tool, path):
    """(function, instruction) for each aligned vector access to the stack in a function that
    does not realign its stack, and the count of functions that touch it so and do realign."""
    text = objdump(tool, "-d", "--no-show-raw-insn", path)
    faults, realigned = [], 0
    function, accesses, realigns = None, [], False

    def close():
        nonlocal realigned
        if accesses and not realigns:
            faults.extend((function, access) for access in accesses)
        realigned += bool(accesses and realigns)

    for line in text.splitlines():
        start = re.match(r"^[0-9a-f]+ <(.+)>:$", line)
        if start:
            close()
            function, accesses, realigns = start.group(1), [], False
            continue
        insn = re.match(r"\s*[0-9a-f]+:\s+(\S+)\s*(.*)", line)
        if not insn:
            continue
        mnemonic, operands = insn.groups()
        if mnemonic in ("and", "andl") and re.match(r"\$0xf+[0-9a-f]0,%esp$", operands):
            realigns = True
        elif re.search(r"\(%e[sb]p", operands) and needs_alignment(mnemonic, operands):
            accesses.append(f"{mnemonic} {operands}")
    close()
    return faults, realigned


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--objdump", required=True)
    p.add_argument("--file", required=True)
    p.add_argument("--exact-exports", nargs="*", default=None)
    p.add_argument("--imports", nargs="*", default=[])
    p.add_argument("--system-only", action="store_true")
    subsystem = p.add_mutually_exclusive_group()
    subsystem.add_argument("--console", action="store_true")
    subsystem.add_argument("--gui", action="store_true")
    p.add_argument("--stack-alignment", action="store_true")
    args = p.parse_args()

    faults = []
    fmt = re.search(r"file format (\S+)", objdump(args.objdump, "-f", args.file)).group(1)
    is32 = fmt == "pei-i386"
    print(f"{args.file}: {fmt}")
    headers = objdump(args.objdump, "-p", args.file)
    exports, imports, image_base = parse_private_headers(headers)
    if args.console and not re.search(r"^Subsystem\s+00000003", headers, re.M):
        faults.append("not a console program")
    if args.gui and not re.search(r"^Subsystem\s+00000002", headers, re.M):
        faults.append("not a GUI program")

    if args.exact_exports is not None:
        wanted = {}
        for item in args.exact_exports:
            name, rest = item.split("=")
            ordinal, cleanup = rest.split(":")
            wanted[name] = (None if ordinal == "*" else int(ordinal), int(cleanup))
        if set(exports) != set(wanted):
            faults.append(f"exports {sorted(exports)} != {sorted(wanted)}")
        for name, (ordinal, cleanup) in wanted.items():
            if name not in exports:
                continue
            got_ordinal, rva = exports[name]
            if ordinal is not None and got_ordinal != ordinal:
                faults.append(f"{name}: ordinal {got_ordinal}, want {ordinal}")
            if is32 and rva is not None:
                rets = returns_of(args.objdump, args.file, image_base + rva)
                # A function that removes nothing may end in a tail jump instead of a ret.
                if (not rets and cleanup) or any(r != cleanup for r in rets):
                    faults.append(f"{name}: returns {rets}, want ret removing {cleanup} bytes")
        for name in exports:
            if "@" in name or name.startswith("_"):
                faults.append(f"decorated export name {name}")

    allowed = {}
    for item in args.imports:
        dll, names = item.split("=")
        allowed[dll.lower()] = sorted(names.split(",")) if names else []
    for dll, names in allowed.items():
        if sorted(imports.get(dll, [])) != names:
            faults.append(f"imports from {dll}: {sorted(imports.get(dll, []))} != {names}")
    if args.system_only:
        for dll in imports:
            if dll not in SYSTEM_DLLS and dll not in allowed and not dll.startswith("api-ms-win-"):
                faults.append(f"imports non-system DLL {dll}")

    if args.stack_alignment and is32:
        unaligned, realigned = unaligned_stack_vectors(args.objdump, args.file)
        faults += [f"{function}: {access} without realigning the stack"
                   for function, access in unaligned]
        print(f"functions with aligned vector accesses to the stack: {realigned} realigning it, "
              f"{len({function for function, _ in unaligned})} not")

    for fault in faults:
        print("FAULT:", fault)
    print("imports:", {k: len(v) for k, v in imports.items()})
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
