#!/usr/bin/env python3
# Runs profsync on end-to-end cases and checks every byte it leaves.
#
#     run_cases.py build/profsync CASE...
#     run_cases.py --wine /usr/lib/wine/wine64 PREFIX [--server wineserver32] [--windows-98] profsync.exe CASE...
#                  (in a fresh Wine prefix)
#
# A case is a folder, and the program runs in a copy of it: its kyro.txt, and a profsync.reg when
# something stands in the update file's way. case.json holds the exit code and, where they differ
# from the defaults, "args", "stdin", the driver's "record" ([type, data]; [] for the driver's key
# without it; null for no driver key), "env", shell commands that "prepare" the copy (links, file
# modes, FIFOs; $PROGRAM is the program), the program's "umask", a "file size limit" in bytes, and why
# a case is "native only" or "wine only"; any other key is an error.
# console.txt is the console text; expected.reg the update file, which every case that ends with
# exit code 0 has, in the folder while the program waits for RETURN; system.reg a hive that replaces
# the one made from the record natively; registry.txt, which every case that imports a key under
# Wine has, what `reg query` shows of the settings key after the import there. Whatever else the
# folder holds must be exactly as it was, while the program waits and after the run.
# With --windows-98, Wine reports Windows 98 to the program, except where the prepared copy holds a
# symbolic link (Windows 98 has none); a case with something at profsync.reg also runs as on NT.
#
# Exit code 0 when every case that ran passed, 1 when one failed, 77 when every case was skipped.

import argparse
import contextlib
import json
import os
import platform
import resource
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
DEFAULTS = {"args": [], "stdin": "\n", "record": ["REG_SZ", RECORD], "env": {}, "prepare": "", "umask": "022",
            "file size limit": None, "native only": None, "wine only": None}


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


# Whether the process comes to read its standard input before it ends: under
# Wine through another descriptor of the same pipe. One that has not within
# two minutes is ended: a failed case, not a hang.
def waits_for_input(process):
    pipe = f"pipe:[{os.fstat(process.stdin.fileno()).st_ino}]"
    deadline = time.monotonic() + 120
    while process.poll() is None and time.monotonic() < deadline:
        with contextlib.suppress(OSError, IndexError, ValueError):  # it may just have ended
            call = Path(f"/proc/{process.pid}/syscall").read_text().split()
            if call[0] == str(READ_CALL) and os.readlink(f"/proc/{process.pid}/fd/{int(call[1], 16)}") == pipe:
                return True
        time.sleep(0.005)
    if process.poll() is None:
        process.kill()
    return False


# Runs the program in the folder with its standard input empty until it comes
# to read it, then hands it the case's input. Returns the console, the exit
# code, and the console and the folder as they were while it waited (both
# None when it never did).
def run_program(command, folder, env, setup, errors):
    with tempfile.TemporaryFile() as out:  # not a pipe: Wine's services would hold it open
        process = subprocess.Popen(command, cwd=folder, env=env, stdin=PIPE, stdout=out, stderr=errors,
                                   preexec_fn=lambda: limit_process(setup))
        waited = waits_for_input(process)
        out.seek(0)
        shown, waiting = (out.read().decode("latin-1"), snapshot(folder)) if waited else (None, None)
        process.communicate(setup["stdin"].encode(), timeout=300)
        out.seek(0)
        return out.read().decode("latin-1"), process.returncode, shown, waiting


def run_native(program, case, setup, folder, expected):
    work, prefix = folder.parent, folder.parent / "home" / ".wine"
    prefix.mkdir(parents=True)
    (prefix / "system.reg").write_text(read(case / "system.reg") or hive(setup["record"]), encoding="latin-1")
    # The registry editor: keeps the file it was given, and says when it ran.
    (work / "regedit.exe").write_text(f'#!/bin/sh\ncp "$1" ../handed.reg\nprintf "{EDITOR_RAN}"\n')
    (work / "regedit.exe").chmod(0o755)
    env = {**os.environ, "HOME": str(prefix.parent), "WINEPREFIX": str(prefix),
           "PATH": f"{work}:{os.environ['PATH']}", **setup["env"]}
    with tempfile.TemporaryFile() as errors:
        run = run_program([program, *setup["args"]], folder, env, setup, errors)
        errors.seek(0)
        return (*run, {"nothing on standard error": (errors.read().decode("latin-1"), ""),
                       "update file handed to the registry editor": (read(work / "handed.reg"), expected)})


class Wine:
    def __init__(self, wine, prefix, server, windows98):
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
        # Wine reports Windows 98 to a program by this name, and its own default (NT) to others.
        self.windows98 = windows98
        if windows98:
            self.add("HKCU\\Software\\Wine\\AppDefaults\\profsync.exe", "/v", "Version", "/d", "win98", "/f")

    # (output less CRs, exit code), through a file: Wine's services would hold a pipe open.
    def __call__(self, *args, env=None):
        with tempfile.TemporaryFile() as out:
            code = subprocess.run([self.wine, *args], env={**self.env, **(env or {})}, stdin=DEVNULL,
                                  stdout=out, stderr=DEVNULL, timeout=300).returncode
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

    def run(self, program, case, setup, folder, version):
        record, env = setup["record"], setup["env"]
        self("reg", "delete", DRIVER_KEY, "/f")
        self("reg", "delete", "HKLM\\" + RECORD.rsplit("\\", 1)[0], "/f")  # what earlier cases imported
        if record is not None:
            self.add(DRIVER_KEY, "/f")
        if record:
            self.add(DRIVER_KEY, "/v", "LatestDrvReg", "/t", record[0], "/d", record[1], "/f")
        if version == "NT":
            program = shutil.copy(program, folder.parent / "profsync-nt.exe")
        run = run_program([self.wine, program, *setup["args"]], folder, {**self.env, **env}, setup, DEVNULL)
        registry = read(case / "registry.txt")
        query = registry and self("reg", "query", f"HKLM\\{record[1]}\\KYRO\\Game Settings", "/s", env=env)[0]
        return (*run, {"registry after the import": (query, registry)})


# A copy of the case, prepared, in a work folder of its own.
def prepared(program, case, setup):
    folder = Path(tempfile.mkdtemp(prefix="profsync-case-")) / "folder"
    shutil.copytree(case, folder)
    subprocess.run(setup["prepare"], shell=True, cwd=folder, check=True, env={**os.environ, "PROGRAM": program})
    return folder


# Where two snapshots of a folder differ: what each holds there.
def differences(got, wanted):
    changed = sorted(name for name in got.keys() | wanted.keys() if got.get(name) != wanted.get(name))
    return {name: got.get(name) for name in changed}, {name: wanted.get(name) for name in changed}


# The failed checks of one run of the case in its prepared copy, each with what it got and wanted.
# The console and the update file as the program writes them: with CR LF on Windows. Natively the
# registry editor's stand-in says when it ran: after the console text, before the wait for RETURN.
def run_once(program, case, setup, wine, version, folder, expected):
    try:
        success = setup["exit"] == 0
        console = read(case / "console.txt")
        if wine:
            console, expected = (text and text.replace("\n", "\r\n") for text in (console, expected))
        elif success and console is not None:
            console += EDITOR_RAN
        # While the program waits: the folder as it was, with the update file on success; afterwards
        # the same, less the update file unless /e kept it.
        waiting = snapshot(folder)
        if success:
            waiting["profsync.reg"] = ("file", expected.encode("latin-1"))
        after = {name: kind for name, kind in waiting.items()
                 if name != "profsync.reg" or not success or setup["args"] == ["/e"]}
        got, code, got_waiting, folder_waiting, checks = (
            wine.run(program, case, setup, folder, version) if wine else
            run_native(program, case, setup, folder, expected))
        checks.update({
            "console": (got, console),
            "exit code": (code, setup["exit"]),
            "all console text out when it waits for RETURN": (got_waiting, got),
            "the folder while it waits": differences(folder_waiting, waiting) if folder_waiting is not None else (0, 0),
            "the folder afterwards": differences(snapshot(folder), after)})
    finally:
        shutil.rmtree(folder.parent)
    return [f"  {what}{' as Windows ' + version if version else ''}:\n    got    {got!r:.3000}\n"
            f"    wanted {wanted!r:.3000}" for what, (got, wanted) in checks.items() if got != wanted]


def run_case(program, case, wine):
    given = json.loads((case / "case.json").read_text())
    setup = {**DEFAULTS, **given}
    only = setup["native only" if wine else "wine only"]
    mistakes = [f"  case.json: unknown key {key!r}" for key in given.keys() - DEFAULTS.keys() - {"exit"}]
    expected, registry = read(case / "expected.reg"), read(case / "registry.txt")
    if setup.get("exit") == 0 and expected is None:
        mistakes.append("  a case that ends with exit code 0 needs its expected.reg")
    if registry == "" or (registry is None and "\n[" in (expected or "") and not setup["native only"]):
        mistakes.append("  a case that imports a key under Wine needs registry.txt, what the settings key holds")
    if mistakes or only:
        return "\n".join(["FAIL " + case.name, *mistakes]) if mistakes else f"skip {case.name}: {only}"
    # With Windows 98: a copy that holds a link runs as on NT alone (98 has none, and Wine would not
    # show it one); one with something at profsync.reg as on both.
    folders = [prepared(program, case, setup)]
    before = snapshot(folders[0])
    versions = [None] if not (wine and wine.windows98) else ["NT"] if any(
        kind[0] == "link" for kind in before.values()) else ["98", "NT"] if "profsync.reg" in before else ["98"]
    folders += [prepared(program, case, setup) for _ in versions[1:]]
    failed = [line for version, folder in zip(versions, folders)
              for line in run_once(program, case, setup, wine, version, folder, expected)]
    return "\n".join([("FAIL " if failed else "ok ") + case.name, *failed])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine", nargs=2, metavar=("WINE", "PREFIX"))
    parser.add_argument("--server", default="wineserver64", help="Wine's server, beside WINE")
    parser.add_argument("--windows-98", action="store_true", help="Wine reports Windows 98 to the program")
    parser.add_argument("program", type=os.path.abspath)
    parser.add_argument("cases", nargs="+", type=Path)
    options = parser.parse_args()
    wine = options.wine and Wine(*options.wine, options.server, options.windows_98)
    reports = [run_case(options.program, case, wine) for case in options.cases]
    if wine:
        wine.serve("-k")
    print("\n".join(reports))
    counts = {word: sum(report.startswith(word + " ") for report in reports) for word in ("ok", "FAIL", "skip")}
    print(f"cases: {counts['ok']} passed, {counts['FAIL']} failed, {counts['skip']} skipped")
    return 1 if counts["FAIL"] else 77 if counts["skip"] == len(reports) else 0


if __name__ == "__main__":
    sys.exit(main())
