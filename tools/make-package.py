#!/usr/bin/env python3
"""Makes the users' package from the 32-bit build: profsync.exe, README.txt, LICENSE.txt and
example/kyro.txt in a ZIP that is the same bytes from every build of the same sources with the
same compiler and zlib, wherever, whenever and by whomever it is made: the entries in this order,
deflated, with modes 755 and 644 and no owner, each with one time, that of the sources' last
commit (SOURCE_DATE_EPOCH when it is set; 2026-12-07 00:00 UTC for sources that are no git
checkout), taken as UTC.

    tools/make-package.py PROGRAM TEXTS_FOLDER PACKAGE.zip SOURCE_FOLDER
"""
import os
import subprocess
import sys
import time
import zipfile

ENTRIES = [("profsync.exe", 0o755), ("README.txt", 0o644), ("LICENSE.txt", 0o644), ("example/kyro.txt", 0o644)]
FALLBACK = 1796601600  # 2026-12-07 00:00 UTC


def commit_time(source):
    if "SOURCE_DATE_EPOCH" in os.environ:
        return int(os.environ["SOURCE_DATE_EPOCH"]), "SOURCE_DATE_EPOCH"
    try:
        out = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"], capture_output=True, text=True)
        return int(out.stdout), "the last commit"
    except (OSError, ValueError):
        return FALLBACK, "no commit: the fixed time"


def main():
    program, texts, package, source = sys.argv[1:5]
    epoch, origin = commit_time(source)
    try:  # into a file of its own: a package is whole, or not there
        with zipfile.ZipFile(package + ".new", "w") as archive:
            for name, mode in ENTRIES:
                entry = zipfile.ZipInfo(name, time.gmtime(epoch)[:6])
                entry.create_system, entry.external_attr = 3, (0o100000 | mode) << 16  # a Unix file, its mode
                with open(program if name == "profsync.exe" else os.path.join(texts, name), "rb") as f:
                    archive.writestr(entry, f.read(), zipfile.ZIP_DEFLATED, 9)
        os.replace(package + ".new", package)
    finally:
        if os.path.exists(package + ".new"):
            os.remove(package + ".new")
    print(f"package: {package}, times from {origin}, {epoch}")


if __name__ == "__main__":
    main()
