#!/usr/bin/env python3
"""Sets the two times that chmcmd writes into a compiled help file to zero: the time of day of
the compilation (in milliseconds) in the file's header and in its #SYSTEM record. With them,
every compilation of the same pages would give other bytes.   clear_chm_times.py FILE"""
import re
import sys
from pathlib import Path

path = Path(sys.argv[1])
data = bytearray(path.read_bytes())
if data[:8] != b"ITSF\x03\x00\x00\x00":
    sys.exit(f"{path}: not a compiled help file of version 3")
data[0x10:0x14] = bytes(4)
# #SYSTEM lies uncompressed: its version (3), then the record of code 10 (the time, 4 bytes),
# then that of code 9 (the compiler's name), as chmcmd writes them.
records = list(re.finditer(rb"\x03\x00\x00\x00\x0a\x00\x04\x00(.{4})\x09\x00.{2}HHA Version",
                           data, re.S))
if len(records) != 1:
    sys.exit(f"{path}: {len(records)} #SYSTEM records with a time where one was expected")
data[records[0].start(1):records[0].end(1)] = bytes(4)
path.write_bytes(data)
