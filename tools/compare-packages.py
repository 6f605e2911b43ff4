#!/usr/bin/env python3
"""Fails unless two builds' packages are the same bytes, naming the first entry that differs
(with the program's link time from its PE header when it is profsync.exe).

    tools/compare-packages.py FIRST.zip SECOND.zip
"""
import itertools
import struct
import sys
import zipfile


def link_time(program):
    header = struct.unpack_from("<I", program, 0x3C)[0]  # where the PE header starts
    return struct.unpack_from("<I", program, header + 8)[0]  # its TimeDateStamp


def first_difference(first, second):
    with zipfile.ZipFile(first) as a, zipfile.ZipFile(second) as b:
        for x, y in itertools.zip_longest(a.infolist(), b.infolist()):
            if x is None or y is None or x.filename != y.filename:
                return f"the entries differ: {x and x.filename} against {y and y.filename}"
            if (x.date_time, x.external_attr, x.extra) != (y.date_time, y.external_attr, y.extra):
                return f"{x.filename}: time, mode or extra fields {x.date_time, oct(x.external_attr >> 16), x.extra}" \
                       f" against {y.date_time, oct(y.external_attr >> 16), y.extra}"
            data = a.read(x), b.read(y)
            if data[0] != data[1]:
                stamps = " (link time %d against %d)" % tuple(map(link_time, data)) if x.filename.endswith(".exe") else ""
                return f"{x.filename}: its bytes differ{stamps}"
    return "the archives' own records"


def main():
    first, second = sys.argv[1:3]
    with open(first, "rb") as a, open(second, "rb") as b:
        if a.read() == b.read():
            print(f"compare-packages: two builds made the same package")
            return 0
    print(f"compare-packages: {first} and {second} differ, first in {first_difference(first, second)}")
    return 1


if __name__ == "__main__":
    sys.exit(main())
