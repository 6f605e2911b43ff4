#!/usr/bin/env python3
# Runs profsync on end-to-end cases and checks every byte it leaves.
#
#     run_cases.py build/profsync CASE...
#     run_cases.py --wine /usr/lib/wine/wine64 PREFIX [--server wineserver32] profsync.exe CASE...
#                  (in a fresh Wine prefix)
#
# A case is a folder, and the program runs in a copy of it: its kyro.txt, and a profsync.reg when
# something stands in the update file's way. case.json holds the exit code and, where they differ
# from the defaults, "args", "stdin", the driver's "record" ([type, data]; [] for the driver's key
# without it; null for no driver key), "env", shell commands that "prepare" the copy (links, file
# modes, FIFOs; $PROGRAM is the program), the program's "umask", a "file size limit" in bytes, and why
# a case is "native only" or "wine only".
# console.txt is the console text; expected.reg the update file the registry editor gets;
# system.reg a Wine hive that replaces the one made from the record; registry.txt what `reg query`
# shows of the settings key after the import under Wine. Whatever else the folder holds must be
# exactly as it was after the run.

import argparse
import contextlib
import json
import os
import platform
import resource
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from subprocess import DEVNULL, PIPE

RECORD = "System\\CurrentControlSet\\Services\\KyroTest\\Device0"
DRIVER_KEY = "HKLM\\Software\\PowerVR\\KYRO"
EDITOR_RAN = "(the registry editor ran)\n"
HIVE_FORMS = {"REG_SZ": lambda data: f'"{data}"', "REG_EXPAND_SZ": lambda data: f'str(2):"{data}"',
              "REG_DWORD": lambda data: f"dword:{int(data):08x}"}


# The bytes of a regular file as text; None for anything else.
def read(path):
    return path.read_bytes().decode("latin-1") if path.is_file() and not path.is_symlink() else None


# What a folder holds: each file's bytes, each link's target, each folder and FIFO (never opened).
def snapshot(folder):
    return {str(path.relative_to(folder)): ("link", os.readlink(path)) if path.is_symlink() else
            ("folder",) if path.is_dir() else ("fifo",) if path.is_fifo() else ("file", path.read_bytes())
            for path in folder.rglob("*")}


# Sets the case's umask and file size limit in the program's process: writes
# past the limit then fail (EFBIG) instead of ending the process.
def limit_process(setup):
    os.umask(int(setup["umask"], 8))
    if setup["file size limit"] is not None:
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (setup["file size limit"],) * 2)


def hive(record):
    text = "WINE REGISTRY Version 2\n" + ("[Software\\\\PowerVR\\\\KYRO] 1\n" if record is not None else "")
    if record:
        text += '"LatestDrvReg"=' + HIVE_FORMS[record[0]](record[1].replace("\\", "\\\\")) + "\n"
    return text


# The number of the read system call, as /proc/PID/syscall shows it.
READ_CALL = {"x86_64": 0, "aarch64": 63, "riscv64": 63}.get(platform.machine(), 3)  # 3: i386, arm and others


# Whether the process comes to read its standard input before it ends. One
# that has not within a minute is ended: a failed case, not a hang.
def waits_for_input(process):
    deadline = time.monotonic() + 60
    while process.poll() is None and time.monotonic() < deadline:
        with contextlib.suppress(OSError):  # it may just have ended
            if Path(f"/proc/{process.pid}/syscall").read_text().startswith(f"{READ_CALL} 0x0 "):
                return True
        time.sleep(0.005)
    if process.poll() is None:
        process.kill()
    return False


def run_native(program, case, setup, work):
    prefix, folder = work / "home" / ".wine", work / "folder"
    prefix.mkdir(parents=True)
    (prefix / "system.reg").write_text(read(case / "system.reg") or hive(setup["record"]), encoding="latin-1")
    # The registry editor: keeps the file it was given, and says when it ran.
    (work / "regedit.exe").write_text(f'#!/bin/sh\ncp "$1" ../handed.reg\nprintf "{EDITOR_RAN}"\n')
    (work / "regedit.exe").chmod(0o755)
    env = {**os.environ, "HOME": str(prefix.parent), "WINEPREFIX": str(prefix),
           "PATH": f"{work}:{os.environ['PATH']}", **setup["env"]}
    process = subprocess.Popen([program, *setup["args"]], cwd=folder, env=env, stdin=PIPE, stdout=PIPE,
                               preexec_fn=lambda: limit_process(setup))
    waited, waiting = waits_for_input(process), read(folder / "profsync.reg")
    # What the console shows while the program waits: all its pipe holds.
    pipe = process.stdout.fileno()
    shown = os.read(pipe, 1 << 16) if waited and select.select([pipe], [], [], 0)[0] else b""
    out = (shown + process.communicate(setup["stdin"].encode(), timeout=120)[0]).decode("latin-1")
    expected = read(case / "expected.reg")
    return out.replace(EDITOR_RAN, ""), process.returncode, {
        "the registry editor runs after the console text": (out.endswith(EDITOR_RAN), expected is not None),
        "waits for RETURN before it ends": (waited, True),
        "console text out before it waits": (shown.decode("latin-1"), out),
        "update file while it waits": (waiting if expected else None, expected),
        "update file handed to the registry editor": (read(work / "handed.reg"), expected)}


class Wine:
    def __init__(self, wine, prefix, server):
        self.wine, self.server = wine, str(Path(wine).with_name(server))
        self.env = dict(os.environ, WINEPREFIX=os.path.abspath(prefix), WINEDEBUG="-all",
                        LOCPATH=os.path.abspath(prefix) + "-locales")
        shutil.rmtree(self.env["WINEPREFIX"], ignore_errors=True)
        # Wine takes its ANSI code page from the locale: ja_JP.UTF-8 gives 932. The system may lack it.
        os.makedirs(self.env["LOCPATH"], exist_ok=True)
        subprocess.run(["localedef", "-i", "ja_JP", "-f", "UTF-8", self.env["LOCPATH"] + "/ja_JP.UTF-8"],
                       check=True)
        if self("wineboot", "-i")[1] != 0:
            sys.exit("wineboot failed")
        # One server and one start of Wine's services for all the cases.
        self.serve("-w")
        self.serve("-p60")
        self("cmd", "/c", "exit")

    # (console less CRs, exit code), through a file: Wine's services would hold a pipe open.
    def __call__(self, *args, stdin=b"", cwd=None, env=None, preexec_fn=None):
        with tempfile.TemporaryFile() as out:
            code = subprocess.run([self.wine, *args], cwd=cwd, env={**self.env, **(env or {})}, input=stdin,
                                  stdout=out, stderr=DEVNULL, timeout=300, preexec_fn=preexec_fn).returncode
            out.seek(0)
            return out.read().decode("latin-1").replace("\r\n", "\n"), code

    def serve(self, *args):
        subprocess.run([self.server, *args], env=self.env, stdin=DEVNULL, stdout=DEVNULL, stderr=DEVNULL)

    # The case's registry, or the run stops: a Wine process can fail to start now and then.
    def add(self, *args):
        for _ in range(3):
            out, code = self("reg", "add", *args)
            if code == 0:
                return
            print(f"reg add {args[0]}: exit code {code} {out.strip()!r}", file=sys.stderr)
        sys.exit("the case's registry could not be set up")

    def run(self, program, case, setup, work):
        record, env = setup["record"], setup["env"]
        self("reg", "delete", DRIVER_KEY, "/f")
        self("reg", "delete", "HKLM\\" + RECORD.rsplit("\\", 1)[0], "/f")  # what earlier cases imported
        if record is not None:
            self.add(DRIVER_KEY, "/f")
        if record:
            self.add(DRIVER_KEY, "/v", "LatestDrvReg", "/t", record[0], "/d", record[1], "/f")
        out, code = self(program, *setup["args"], stdin=setup["stdin"].encode(), cwd=work / "folder", env=env,
                         preexec_fn=lambda: limit_process(setup))
        registry = read(case / "registry.txt")
        query = registry and self("reg", "query", f"HKLM\\{record[1]}\\KYRO\\Game Settings", "/s", env=env)[0]
        return out, code, {"registry after the import": (query, registry)}


def run_case(program, case, wine):
    setup = {"args": [], "stdin": "\n", "record": ["REG_SZ", RECORD], "env": {}, "prepare": "",
             "umask": "022", "file size limit": None, **json.loads((case / "case.json").read_text())}
    only = setup.get("native only" if wine else "wine only")
    if only:
        return f"skip {case.name}: {only}"
    work = Path(tempfile.mkdtemp(prefix="profsync-case-"))
    try:
        folder = work / "folder"
        shutil.copytree(case, folder)
        subprocess.run(setup["prepare"], shell=True, cwd=folder, check=True, env={**os.environ, "PROGRAM": program})
        before = snapshot(folder)
        out, code, checks = (wine.run if wine else run_native)(program, case, setup, work)
        # The folder as it was; after a complete run the update file is gone, or kept with /e.
        if code == 0:
            before.pop("profsync.reg", None)
            kept = read(case / "expected.reg")
            if setup["args"] == ["/e"] and kept is not None:
                before["profsync.reg"] = ("file", (kept.replace("\n", "\r\n") if wine else kept).encode("latin-1"))
        after = snapshot(folder)
        changed = sorted(name for name in after.keys() | before.keys() if after.get(name) != before.get(name))
        checks.update({
            "console": (out, read(case / "console.txt")),
            "exit code": (code, setup["exit"]),
            "the folder afterwards": ({name: after.get(name) for name in changed},
                                      {name: before.get(name) for name in changed})})
    finally:
        shutil.rmtree(work)
    failed = [f"  {what}:\n    got    {got!r:.3000}\n    wanted {wanted!r:.3000}"
              for what, (got, wanted) in checks.items() if got != wanted]
    return "\n".join([("FAIL " if failed else "ok ") + case.name, *failed])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine", nargs=2, metavar=("WINE", "PREFIX"))
    parser.add_argument("--server", default="wineserver64", help="Wine's server, beside WINE")
    parser.add_argument("program", type=os.path.abspath)
    parser.add_argument("cases", nargs="+", type=Path)
    options = parser.parse_args()
    wine = options.wine and Wine(*options.wine, options.server)
    reports = [run_case(options.program, case, wine) for case in options.cases]
    if wine:
        wine.serve("-k")
    print("\n".join(reports))
    return any(report.startswith("FAIL") for report in reports)


if __name__ == "__main__":
    sys.exit(main())
