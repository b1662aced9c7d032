#!/usr/bin/env python3
"""Makes the .idata section of a Windows program writable: writable-imports.py FILE

The delay-load helper writes each address it resolves into the program's
delay-import address table, which dlltool's delay libraries place in .idata.
binutils 2.44 links .idata read-only, so the first call into a delay-loaded
DLL faults; the binutils before it, and its fix after it, link it writable.
Run after every link; a section already writable is left as it is.
"""
import struct
import sys

IMAGE_SCN_MEM_WRITE = 0x80000000

with open(sys.argv[1], "r+b") as program:
    headers = program.read(4096)
    pe = struct.unpack_from("<I", headers, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", headers, pe + 6)
    for header in range(pe + 24 + optional_size, pe + 24 + optional_size + 40 * sections, 40):
        if headers[header : header + 8].rstrip(b"\0") == b".idata":
            flags = struct.unpack_from("<I", headers, header + 36)[0]
            program.seek(header + 36)
            program.write(struct.pack("<I", flags | IMAGE_SCN_MEM_WRITE))
