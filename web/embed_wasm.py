#!/usr/bin/env python3
"""Writes the WebAssembly module into a script, as base64: a page opened from file:// may load
the scripts beside it, but browsers refuse to fetch the module itself there.

  embed_wasm.py MODULE SCRIPT
"""
import base64
import sys
from pathlib import Path

module, script = map(Path, sys.argv[1:])
encoded = base64.b64encode(module.read_bytes()).decode("ascii")
script.write_text(f'// korvale.wasm, written here by embed_wasm.py.\n'
                  f'const korvaleModuleBase64 = "{encoded}";\n')
