#!/usr/bin/env python3
"""dll_client.py: checks data files through Korvalelib from Python, with ctypes.

  dll_client.py LIBRARY FILE...    (LIBRARY: libKorvalelib.so, or Korvalelib.dll on Windows)
"""
import ctypes
import os
import sys


class CountedString(ctypes.Structure):
    _fields_ = [("length", ctypes.c_ubyte), ("text", ctypes.c_char * 255)]

    @classmethod
    def of(cls, text: bytes):
        # Cut short, a name would name another file.
        if len(text) > 255:
            raise ValueError(f"longer than 255 bytes: {text!r}")
        return cls(len(text), text)

    def __str__(self):
        return self.text[: self.length].decode("mbcs" if sys.platform == "win32" else "utf-8",
                                               "replace")


def encoded(path):
    # The DLL reads names in the system's ANSI code page ("mbcs"); a name the code page cannot
    # hold raises here rather than naming another file. Elsewhere names are the system's bytes.
    return path.encode("mbcs") if sys.platform == "win32" else os.fsencode(path)


def load(path):
    # The DLL's functions use the stdcall convention; the Linux library the C one.
    library = (ctypes.WinDLL if sys.platform == "win32" else ctypes.CDLL)(path)
    for name in ("DUDO66413_checkCRC32inFile", "DUDO66413_setCRC32inFile"):
        function = getattr(library, name)
        function.argtypes = [ctypes.POINTER(CountedString), ctypes.c_void_p]
        function.restype = ctypes.c_int32
    return library


def text(library, getter):
    result = CountedString()
    getattr(library, getter)(ctypes.byref(result))
    return str(result)


def main():
    library = load(sys.argv[1])
    worst = 0
    for path in sys.argv[2:]:
        code = library.DUDO66413_checkCRC32inFile(CountedString.of(encoded(path)), None)
        print(f"{path}: {text(library, 'DUDO66413_getInfoCRC32')} "
              f"{text(library, 'DUDO66413_getInfoErrorString')}")
        worst = max(worst, code)
    return 1 if worst else 0


if __name__ == "__main__":
    sys.exit(main())
