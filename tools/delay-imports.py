#!/usr/bin/env python3
# Prints the delay-load imports of a 32-bit Windows program as "DLL function" lines, as
# check-windows-package.sh reads its imports: the DLL's name without ".dll", an import by ordinal as
# "#N". The program resolves such an import itself on its first call, through a descriptor
# (ImgDelayDescr) that GNU ld does not list in the PE header; so each descriptor is looked for
# wherever it lies: 32 bytes, 4-aligned, whose attributes are 1 (addresses relative to the image),
# that name a DLL and hold its import name table.
#
#     tools/delay-imports.py profsync.exe
import struct
import sys

image = open(sys.argv[1], "rb").read()
header = struct.unpack_from("<I", image, 0x3C)[0]
count, optional = struct.unpack_from("<H", image, header + 6)[0], struct.unpack_from("<H", image, header + 20)[0]
# (address, bytes in the file, offset in the file) of each section
sections = [struct.unpack_from("<12xIII", image, header + 24 + optional + 40 * n) for n in range(count)]


def at(address):  # the file offset of an address in the image, or None
    for start, size, offset in sections:
        if start <= address < start + size:
            return offset + address - start
    return None


def text(address):  # the NUL-terminated text at an address, or None
    offset = at(address)
    end = image.find(b"\0", offset) if offset is not None else -1
    return image[offset:end].decode("latin-1") if end >= 0 else None


for start, size, offset in sections:
    for place in range(offset, offset + size - 32, 4):
        attributes, name, _, _, names = struct.unpack_from("<5I", image, place)
        dll = text(name) if attributes == 1 else None
        thunk = at(names) if dll and dll.lower().endswith(".dll") else None
        while thunk is not None and thunk + 4 <= len(image):
            entry = struct.unpack_from("<I", image, thunk)[0]
            if entry == 0:
                break
            print(dll[:-4].upper(), f"#{entry & 0xFFFF}" if entry & 0x80000000 else text(entry + 2))
            thunk += 4
