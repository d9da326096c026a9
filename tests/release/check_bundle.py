#!/usr/bin/env python3
"""Checks the release bundle: every deliverable in its place, the user guide's pages as they are
in the sources, and the Linux programs run from the unpacked bundle.   check_bundle.py ZIP"""
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

LINUX_LIB = "linux-x86_64/lib/x86_64-linux-gnu"
GUIDE = Path(__file__).resolve().parents[2] / "guide"
GUIDE_PAGES = sorted(path.name for path in GUIDE.iterdir() if path.suffix in (".html", ".css"))
REQUIRED = [
    "README.md", "LICENSE",
    "Plugins/x86-ansi/Pelwick.dll", "Plugins/x86-unicode/Pelwick.dll",
    "Plugins/amd64-unicode/Pelwick.dll", "Plugins/include/pelwick.h",
    "linux-x86_64/bin/korvale", "linux-x86_64/bin/korvale-batch",
    f"{LINUX_LIB}/libKorvalelib.so", f"{LINUX_LIB}/libKorvalelib.so.1",
    "linux-x86_64/include/korvalelib.h", "linux-x86_64/share/man/man1/korvale.1.gz",
    "linux-x86_64/share/man/man1/korvale-batch.1.gz",
] + [f"{arch}/{name}" for arch in ("windows-x86", "windows-x64") for name in (
    "Korvale.exe", "KorvaleBatch.exe", "KorvaleDesk.exe", "Korvalelib.dll", "Tavisk.dll", "KorvaleSetup.exe",
    "include/korvalelib.h", "include/tavisk.h", "lib/libKorvalelib.dll.a", "lib/libTavisk.dll.a",
    "lib/korvalelib.def", "Korvale.chm")] + [f"guide/{name}" for name in GUIDE_PAGES] + [
    f"sdk/{name}" for name in (
        "README.md", "include/korvalelib.h", "include/tavisk.h", "examples/dll_client.c",
        "examples/dll_client.py", "examples/valves.xml", "csharp/Korvalelib.cs",
        "csharp/DllClient.cs", "pascal/korvalelib.pas", "pascal/dll_client.pas",
        "vba/Korvalelib.bas")] + [
    f"sdk/lib/{arch}/{name}" for arch in ("x86", "x64") for name in (
        "Korvalelib.lib", "Tavisk.lib", "libKorvalelib.dll.a", "libTavisk.dll.a", "korvalelib.def",
        "tavisk.def")] + [
    f"web/{name}" for name in (
        "index.html", "korvale.css", "korvale.js", "engine.js", "zip.js", "korvale-wasm.js")]

bundle = zipfile.ZipFile(sys.argv[1])
top = Path(sys.argv[1]).stem
names = set(bundle.namelist())
missing = [name for name in REQUIRED if f"{top}/{name}" not in names]
for name in missing:
    print(f"FAIL: {name} missing from the bundle")
for name in GUIDE_PAGES:
    entry = f"{top}/guide/{name}"
    if entry in names and bundle.read(entry) != (GUIDE / name).read_bytes():
        missing.append(f"the guide's {name} as in the sources")
        print(f"FAIL: guide/{name} in the bundle differs from the sources")
# Other toolchains make their import libraries from the .def files: the 32-bit one names the
# stdcall argument sizes, the 64-bit one has none to name.
for arch, decorated in (("x86", True), ("x64", False)):
    entry = f"{top}/sdk/lib/{arch}/korvalelib.def"
    if entry in names and (b"DUDO66413_checkCRC32inFile@8" in bundle.read(entry)) != decorated:
        missing.append(f"the {arch} .def file")
        print(f"FAIL: sdk/lib/{arch}/korvalelib.def is not the {arch} one")
with tempfile.TemporaryDirectory() as folder:
    subprocess.run(["unzip", "-q", sys.argv[1], "-d", folder], check=True)
    linux = Path(folder, top, "linux-x86_64")
    first = subprocess.run([linux / "bin/korvale", "HELP"],
                           capture_output=True).stdout.split(b"\r\n")[0]
    if first != b"Korvale [1.0.20120528]":
        missing.append("a working Linux program")
        print(f"FAIL: the bundled Linux program says {first!r}")
    version = subprocess.run([linux / "bin/korvale-batch", "--version"], capture_output=True).stdout
    if version != b"korvale-batch (Korvale) 1.0.20120528\n":
        missing.append("a working Linux batch program")
        print(f"FAIL: the bundled batch program says {version!r}")
    # Every program finds its libraries, ours in the bundle wherever it is unpacked (not a
    # copy the machine may have installed).
    for program in sorted((linux / "bin").iterdir()):
        libraries = subprocess.run(["ldd", program], capture_output=True, text=True).stdout
        wrong = [line.strip() for line in libraries.splitlines() if "not found" in line or (
            "libKorvalelib" in line and f"=> {linux}/" not in line)]
        if wrong:
            missing.append(f"the libraries of {program.name}")
            print(f"FAIL: {program.name} loads {wrong}")
print(f"{len(names)} entries, {len(REQUIRED) - len(missing)} of {len(REQUIRED)} required present")
sys.exit(1 if missing else 0)
