#!/usr/bin/env python3
"""Runs the programmer examples, each on its own copy of the sample data file.

  run_examples.py [--c-only] [--client COMMAND]... EXAMPLES_DIR DLL_CLIENT LIBRARY [LAUNCHER...]

The C client and every --client (the C# and Pascal examples, a command line split at spaces)
stamp and check the copy, and print the same lines. The Python client (natively only, and
not with --c-only) checks a stamped copy, also under a name outside ASCII; and its names in
the ANSI code page on Windows, as the DLL reads them.
"""
import argparse
import codecs
import os
import shutil
import subprocess
import sys
import tempfile

parser = argparse.ArgumentParser()
parser.add_argument("--c-only", action="store_true")
parser.add_argument("--client", action="append", default=[])
parser.add_argument("examples")
parser.add_argument("dll_client")
parser.add_argument("library")
parser.add_argument("launcher", nargs="*")
options = parser.parse_args()
launcher = [os.path.abspath(options.launcher[0])] + options.launcher[1:] if options.launcher else []
library_folder = os.path.dirname(os.path.abspath(options.library))
environment = dict(os.environ, LD_LIBRARY_PATH=library_folder)
stamped_and_checked = "stamped 0xB50E504C\n.......\ncheck: OK\n"
runs = [(launcher + [os.path.abspath(options.dll_client)], "valves.xml", stamped_and_checked)]
runs += [(client.split(), "valves.xml", stamped_and_checked) for client in options.client]
if not launcher and not options.c_only:
    python = [sys.executable, os.path.join(options.examples, "dll_client.py"),
              os.path.abspath(options.library)]
    runs += [(python, name, f"{name}: 0xB50E504C OK\n") for name in ("valves.xml", "Ventil-ä.xml")]

failures = 0
for command, name, expected in runs:
    with tempfile.TemporaryDirectory() as folder:
        shutil.copy(os.path.join(options.examples, "valves.xml"), os.path.join(folder, name))
        if command[0] == sys.executable:  # the Python client checks a stamped file
            subprocess.run([os.path.abspath(options.dll_client), name], cwd=folder,
                           env=environment, capture_output=True, check=True)
        result = subprocess.run(command + [name], cwd=folder, env=environment,
                                capture_output=True, timeout=60)
        output = result.stdout.decode().replace("\r\n", "\n")
        if result.returncode != 0 or output != expected:
            failures += 1
            print(f"FAIL {command + [name]}: status {result.returncode}, output {output!r}, "
                  f"errors {result.stderr.decode()!r}")

if not launcher and not options.c_only:
    # On Windows the Python client gives the DLL a name in the ANSI code page ("mbcs"), here
    # the usual cp1252; a name that code page cannot hold is refused, not sent in other bytes.
    sys.path.insert(0, options.examples)
    import dll_client
    codecs.register(lambda name: codecs.lookup("cp1252") if name == "mbcs" else None)
    dll_client.sys.platform = "win32"
    cases = [("Ventil-ä.xml", b"Ventil-\xe4.xml"), ("Ventil-Ω.xml", UnicodeEncodeError)]
    for name, expected in cases:
        try:
            got = dll_client.encoded(name)
        except UnicodeEncodeError as error:
            got = type(error)
        if got != expected:
            failures += 1
            print(f"FAIL the name {name!r} for the DLL: {got!r}, expected {expected!r}")
sys.exit(1 if failures else 0)
