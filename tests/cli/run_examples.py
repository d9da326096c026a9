#!/usr/bin/env python3
"""Runs the programmer examples on a copy of the sample data file.

  run_examples.py [--c-only] EXAMPLES_DIR DLL_CLIENT LIBRARY [LAUNCHER...]

The C client stamps and checks the copy; the Python client (natively only, and not with
--c-only) checks it again.
"""
import os
import shutil
import subprocess
import sys
import tempfile

arguments = sys.argv[1:]
c_only = arguments[0] == "--c-only"
arguments = arguments[1:] if c_only else arguments
examples, client, library = arguments[:3]
launcher = [os.path.abspath(arguments[3])] + arguments[4:] if len(arguments) > 3 else []
failures = 0
with tempfile.TemporaryDirectory() as folder:
    shutil.copy(os.path.join(examples, "valves.xml"), folder)
    runs = [(launcher + [os.path.abspath(client), "valves.xml"],
             "stamped 0xB50E504C\n.......\ncheck: OK\n")]
    if not launcher and not c_only:
        runs.append(([sys.executable, os.path.join(examples, "dll_client.py"),
                      os.path.abspath(library), "valves.xml"], "valves.xml: 0xB50E504C OK\n"))
    for command, expected in runs:
        result = subprocess.run(command, cwd=folder, capture_output=True, timeout=60)
        output = result.stdout.decode().replace("\r\n", "\n")
        if result.returncode != 0 or output != expected:
            failures += 1
            print(f"FAIL {command}: status {result.returncode}, output {output!r}")
sys.exit(1 if failures else 0)
