#!/usr/bin/python3
"""The version records of the shipped Windows files, read with pefile.

  check_version_records.py ROOT FILE...

Every file has a record that names the product and the file itself, with the type of file it is.
Files other than Korvale.exe, KorvaleBatch.exe and KorvaleDesk.exe (which keep records of their
own) carry the shared one: the version of library/version.h, as text and as four numbers that
read the same, LICENSE's copyright line and holder, and a description.
"""
import re
import sys
from pathlib import Path

import pefile

OWN_RECORDS = {"Korvale.exe", "KorvaleBatch.exe", "KorvaleDesk.exe"}
VFT_APP, VFT_DLL = 1, 2

root = Path(sys.argv[1])
version = re.search(r'#define KORVALE_VERSION "([^"]+)"',
                    (root / "library/version.h").read_text()).group(1)
copyright_line = re.search(r"^Copyright \(c\) .*$", (root / "LICENSE").read_text(), re.M).group(0)
holder = re.sub(r"^Copyright \(c\) \d+ ", "", copyright_line)
faults = []


def record(path):
    """The fixed part and the strings of the file's version record, or (None, {})."""
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    if not hasattr(pe, "VS_FIXEDFILEINFO"):
        return None, {}
    strings = {}
    for info in pe.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    return pe.VS_FIXEDFILEINFO[0], strings


for path in map(Path, sys.argv[2:]):
    fixed, strings = record(path)
    if fixed is None:
        faults.append(f"{path}: no version record")
        continue
    expected = {"ProductName": "Korvale", "OriginalFilename": path.name}
    if path.name not in OWN_RECORDS:
        numbers = (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                   fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF)
        if f"{numbers[0]}.{numbers[1]}.{numbers[2] * 10000 + numbers[3]}" != version:
            faults.append(f"{path}: file version {numbers} is not {version}")
        if (fixed.ProductVersionMS, fixed.ProductVersionLS) != (fixed.FileVersionMS,
                                                                 fixed.FileVersionLS):
            faults.append(f"{path}: the product version differs from the file version")
        expected.update(FileVersion=version, ProductVersion=version, CompanyName=holder,
                        LegalCopyright=copyright_line)
        if not strings.get("FileDescription"):
            faults.append(f"{path}: no FileDescription")
    file_type = VFT_DLL if path.suffix.lower() == ".dll" else VFT_APP
    if fixed.FileType != file_type:
        faults.append(f"{path}: file type {fixed.FileType}, not {file_type}")
    for name, value in expected.items():
        if strings.get(name) != value:
            faults.append(f"{path}: {name} is {strings.get(name)!r}, not {value!r}")

for fault in faults:
    print("FAIL: " + fault)
print(f"{len(sys.argv) - 2} version records checked")
sys.exit(1 if faults else 0)
