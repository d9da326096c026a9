#!/usr/bin/python3
"""Makes Windows files ready to ship, in place:

  finish_pe.py [--clear-time] [--sign] FILE...
  finish_pe.py --sign            only checks that the environment names a key

Each file is padded with zeros to a multiple of 8 bytes and gets a correct PE checksum; with
--clear-time its header's time stamp becomes 0 first (strip writes the time it runs there, the
linker writes none); with --sign it is then signed by osslsigncode (SHA-256).

The padding is what lets a signature come off again without a trace: osslsigncode pads a file
to 8 bytes before it appends a signature, and keeps that padding when it removes one.

Signing reads its key from the environment:
  KORVALE_SIGN_CERT, KORVALE_SIGN_KEY              certificate (with its chain) and key, PEM
  KORVALE_SIGN_PKCS12, KORVALE_SIGN_PASSWORD_FILE  or a PKCS#12 file and the file holding its
                                                   password
  KORVALE_SIGN_TIMESTAMP_URL                       optional: an RFC 3161 time-stamp server
The signing time is SOURCE_DATE_EPOCH where it is set, so that the same file signed twice gives
the same bytes (unless a time-stamp server adds its own time).
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import pefile


def signing_options():
    env = os.environ
    if env.get("KORVALE_SIGN_CERT") and env.get("KORVALE_SIGN_KEY"):
        options = ["-certs", env["KORVALE_SIGN_CERT"], "-key", env["KORVALE_SIGN_KEY"]]
    elif env.get("KORVALE_SIGN_PKCS12") and env.get("KORVALE_SIGN_PASSWORD_FILE"):
        options = ["-pkcs12", env["KORVALE_SIGN_PKCS12"],
                   "-readpass", env["KORVALE_SIGN_PASSWORD_FILE"]]
    else:
        sys.exit("finish_pe.py: signing needs KORVALE_SIGN_CERT and KORVALE_SIGN_KEY, or "
                 "KORVALE_SIGN_PKCS12 and KORVALE_SIGN_PASSWORD_FILE")
    options += ["-h", "sha256", "-n", "Korvale"]
    if env.get("SOURCE_DATE_EPOCH"):
        options += ["-time", env["SOURCE_DATE_EPOCH"]]
    if env.get("KORVALE_SIGN_TIMESTAMP_URL"):
        options += ["-ts", env["KORVALE_SIGN_TIMESTAMP_URL"]]
    return options


def settle(path, clear_time):
    data = path.read_bytes()
    pe = pefile.PE(data=data + bytes(-len(data) % 8), fast_load=True)
    if clear_time:
        pe.FILE_HEADER.TimeDateStamp = 0
    pe.OPTIONAL_HEADER.CheckSum = pe.generate_checksum()
    path.write_bytes(pe.write())


def sign(path, options):
    # osslsigncode writes a new file only; the signed one then takes the place of the original.
    with tempfile.TemporaryDirectory(dir=path.parent) as folder:
        signed = Path(folder, path.name)
        result = subprocess.run(["osslsigncode", "sign", *options, "-in", path, "-out", signed],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if result.returncode != 0:
            sys.exit(f"finish_pe.py: could not sign {path}:\n{result.stdout}")
        shutil.copymode(path, signed)
        signed.replace(path)


def main():
    parser = argparse.ArgumentParser(description="Pad, checksum and sign Windows files.")
    parser.add_argument("--clear-time", action="store_true")
    parser.add_argument("--sign", action="store_true")
    parser.add_argument("files", nargs="*", type=Path)
    args = parser.parse_args()
    options = signing_options() if args.sign else None
    for path in args.files:
        settle(path, args.clear_time)
        if options:
            sign(path, options)


main()
