#!/usr/bin/env python3
# Runs profsync on end-to-end cases and checks every byte it leaves.
#
#     run_cases.py --program build/profsync CASE...
#     run_cases.py --program profsync.exe --wine wine64 --prefix DIR CASE...
#
# A case is a folder. Its kyro.txt, and its profsync.reg when something stands in the update file's
# way, go into a fresh working folder as they are (a file, a folder or a link). case.json holds the
# exit code and, where they differ from the defaults, "args", "stdin", the driver's "record"
# ([type, data]; [] for the driver's key without it; null for no driver key), "env", "links" to make
# in the working folder, and why a case is "native only". console.txt is the console text; expected.reg the update file the registry
# editor gets; system.reg a Wine hive that replaces the one made from the record; registry.txt what
# `reg query` shows of the settings key after the import under Wine.

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

RECORD = "System\\CurrentControlSet\\Services\\KyroTest\\Device0"
DRIVER_KEY = "HKLM\\Software\\PowerVR\\KYRO"
HIVE_FORMS = {"REG_SZ": '"{}"', "REG_EXPAND_SZ": 'str(2):"{}"', "REG_DWORD": "dword:{:0>8}"}


def read(path):
    """The bytes of a regular file as text; None for anything else."""
    if not os.path.isfile(path) or os.path.islink(path):
        return None
    with open(path, "rb") as f:
        return f.read().decode("latin-1")


def write(path, text, mode=0o644):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(text.encode("latin-1"))
    os.chmod(path, mode)


def hive(record):
    text = "WINE REGISTRY Version 2\n" + ("[Software\\\\PowerVR\\\\KYRO] 1\n" if record is not None else "")
    if record:
        text += '"LatestDrvReg"=' + HIVE_FORMS[record[0]].format(record[1].replace("\\", "\\\\")) + "\n"
    return text


def waits_for_input(process):
    """Whether the process comes to read its standard input (read is system call 0) before it ends."""
    while process.poll() is None:
        try:
            with open(f"/proc/{process.pid}/syscall") as f:
                if f.read().startswith("0 0x0 "):
                    return True
        except OSError:  # it has just ended
            pass
        time.sleep(0.005)
    return False


def run_native(program, case, spec, work):
    home, folder = os.path.join(work, "home"), os.path.join(work, "folder")
    write(os.path.join(home, ".wine", "system.reg"), read(os.path.join(case, "system.reg")) or hive(spec["record"]))
    # The registry editor: keeps what it was given.
    write(os.path.join(work, "bin", "regedit.exe"), '#!/bin/sh\necho "$@" >../args\ncp profsync.reg ../handed.reg\n',
          0o755)
    env = dict(os.environ, HOME=home, WINEPREFIX=os.path.join(home, ".wine"),
               PATH=os.path.join(work, "bin") + os.pathsep + os.environ["PATH"])
    env.update(spec.get("env", {}))
    process = subprocess.Popen([program, *spec.get("args", [])], cwd=folder, env=env, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE)
    waited, waiting = waits_for_input(process), read(os.path.join(folder, "profsync.reg"))
    out = process.communicate(spec.get("stdin", "\n").encode(), timeout=120)[0].decode("latin-1")
    expected = read(os.path.join(case, "expected.reg"))
    return out, process.returncode, {
        "waits for RETURN before it ends": (waited, True),
        "update file while it waits": (waiting, expected),
        "registry editor's arguments": (read(os.path.join(work, "args")), expected and "profsync.reg\n"),
        "update file handed to the registry editor": (read(os.path.join(work, "handed.reg")), expected)}


class Wine:
    def __init__(self, wine, prefix):
        self.wine, self.env = wine, dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")
        server = os.path.join(os.path.dirname(wine), "wineserver64")
        self.server = server if os.path.exists(server) else "wineserver"

    def __call__(self, *args, stdin=b"", cwd=None):
        """(console less CRs, exit code), through a file: Wine's services would hold a pipe open."""
        with tempfile.TemporaryFile() as out:
            code = subprocess.run([self.wine, *args], cwd=cwd, env=self.env, input=stdin, stdout=out,
                                  stderr=subprocess.DEVNULL, timeout=300).returncode
            out.seek(0)
            return out.read().decode("latin-1").replace("\r\n", "\n"), code

    def serve(self, *args):
        subprocess.run([self.server, *args], env=self.env, timeout=300, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def boot(self):
        shutil.rmtree(self.env["WINEPREFIX"], ignore_errors=True)
        if self("wineboot", "-i")[1] != 0:
            sys.exit("wineboot failed")
        # One server and one start of Wine's services for all the cases.
        self.serve("-w")
        self.serve("-p60")
        self("cmd", "/c", "exit")

    def run(self, program, case, spec, work):
        record = spec["record"]
        self("reg", "delete", DRIVER_KEY, "/f")
        self("reg", "delete", "HKLM\\" + RECORD.rsplit("\\", 1)[0], "/f")  # what earlier cases imported
        if record is not None:
            self("reg", "add", DRIVER_KEY, "/f")
        if record:
            self("reg", "add", DRIVER_KEY, "/v", "LatestDrvReg", "/t", record[0], "/d", record[1], "/f")
        out, code = self(program, *spec.get("args", []), stdin=spec.get("stdin", "\n").encode(),
                         cwd=os.path.join(work, "folder"))
        registry = read(os.path.join(case, "registry.txt"))
        query = registry and self("reg", "query", f"HKLM\\{record[1]}\\KYRO\\Game Settings", "/s")[0]
        return out, code, {"registry after the import": (query, registry)}


def run_case(program, case, wine):
    with open(os.path.join(case, "case.json")) as f:
        spec = {"record": ["REG_SZ", RECORD], **json.load(f)}
    if wine and "native only" in spec:
        return f"skip {os.path.basename(case)}: {spec['native only']}"
    work = tempfile.mkdtemp(prefix="profsync-case-")
    try:
        folder = os.path.join(work, "folder")
        os.makedirs(folder)
        for name in ("kyro.txt", "profsync.reg"):
            source, target = os.path.join(case, name), os.path.join(folder, name)
            if os.path.isdir(source):
                shutil.copytree(source, target)
            elif os.path.exists(source):
                shutil.copy(source, target)
        for name, target in spec.get("links", {}).items():
            os.symlink(target, os.path.join(folder, name))
        out, code, checks = (wine.run if wine else run_native)(program, case, spec, work)
        kept = read(os.path.join(case, "expected.reg")) if code == 0 and spec.get("args") == ["/e"] else None
        checks.update({
            "console": (out, read(os.path.join(case, "console.txt"))),
            "exit code": (code, spec["exit"]),
            "update file afterwards": (read(os.path.join(folder, "profsync.reg")),
                                       kept.replace("\n", "\r\n") if kept and wine else kept),
            "link left in its place": (os.path.islink(os.path.join(folder, "profsync.reg")), False)})
    finally:
        shutil.rmtree(work)
    failed = [f"  {what}:\n    got    {got!r:.3000}\n    wanted {wanted!r:.3000}"
              for what, (got, wanted) in checks.items() if got != wanted]
    return "\n".join([("FAIL " if failed else "ok ") + os.path.basename(case), *failed])


def main():
    parser = argparse.ArgumentParser()
    for option in ("--program", "--wine", "--prefix"):
        parser.add_argument(option)
    parser.add_argument("cases", nargs="+")
    options = parser.parse_args()
    wine = options.wine and Wine(options.wine, os.path.abspath(options.prefix))
    if wine:
        wine.boot()
    try:
        reports = [run_case(os.path.abspath(options.program), case, wine) for case in options.cases]
    finally:
        if wine:
            wine.serve("-k")
    print("\n".join(reports))
    return any(report.startswith("FAIL") for report in reports)


if __name__ == "__main__":
    sys.exit(main())
