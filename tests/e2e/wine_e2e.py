#!/usr/bin/env python3
"""Runs profsync.exe under wine64 against Wine's own registry, cmd.exe and regedit.exe.

All cases share one prefix, made by the `boot` case and ended by `stop`; each
case sets the driver's record it needs with `reg`, so they run one at a time.

    wine_e2e.py --wine /usr/lib/wine/wine64 --prefix DIR --program profsync.exe CASE
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

from e2e import (BAD_RECORD, CANNOT_OPEN, IMPORT, LIST, NO_DRIVER, ONE_PARAMETER, UNKNOWN, Failure,
                 banner, expect)

# Wine keeps ...\Control\Video volatile and refuses imports below it, so the
# record here points at an ordinary key.
RECORD = "System\\CurrentControlSet\\Services\\KyroTest\\Device0"
DRIVER_KEY = "HKLM\\Software\\PowerVR\\KYRO"
SETTINGS = "HKEY_LOCAL_MACHINE\\" + RECORD + "\\KYRO\\Game Settings"
QUOTED = 'Say "Hi" C:\\Games\\'
WINE_LIST = LIST + f"\nName: {QUOTED}\nTyp: Misc\nExe: say.exe\n"
WINE_REG = (
    "REGEDIT4\n"
    "\n; Quake III Arena\n"
    f"[{SETTINGS}\\OpenGL\\quake3.exe]\n"
    '"UIDummyName"="Quake III Arena"\n"TextureBias"="2"\n"Dither"="0"\n'
    "\n; Unreal Tournament\n"
    f"[{SETTINGS}\\Direct3D\\UnrealTournament.exe]\n"
    '"UIDummyName"="Unreal Tournament"\n"VSync"="1"\n'
    f"\n; {QUOTED}\n"
    f"[{SETTINGS}\\Misc\\say.exe]\n"
    '"UIDummyName"="Say \\"Hi\\" C:\\\\Games\\\\"\n'
)


class Wine:
    def __init__(self, wine, prefix):
        self.wine = wine
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")

    def run(self, *args, stdin=b"", cwd=None):
        # Output goes through files, not pipes: Wine's own services, started by
        # whichever program comes first, inherit its handles and would hold a
        # pipe open for as long as they live.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            done = subprocess.run([self.wine, *args], cwd=cwd, env=self.env, input=stdin,
                                  stdout=out, stderr=err, timeout=300)
            out.seek(0)
            done.stdout = out.read()
        return done

    def reg(self, *args):
        done = self.run("reg", *args)
        return done.returncode, done.stdout.decode("latin-1").replace("\r\n", "\n")

    def set_record(self, kind="REG_SZ", data=RECORD):
        self.reg("delete", DRIVER_KEY, "/f")
        if kind is not None:
            self.reg("add", DRIVER_KEY, "/f")
        if data is not None:
            code, _ = self.reg("add", DRIVER_KEY, "/v", "LatestDrvReg", "/t", kind, "/d", data, "/f")
            expect("reg add", code, 0)
        self.reg("delete", "HKLM\\" + RECORD, "/f")


class Session:
    """One run of profsync.exe in a fresh folder."""

    def __init__(self, wine, program, list_text=WINE_LIST, args=(), stdin=b"\n"):
        self.folder = tempfile.mkdtemp(prefix="profsync-wine-")
        try:
            if list_text is not None:
                with open(os.path.join(self.folder, "kyro.txt"), "w", newline="\r\n") as f:
                    f.write(list_text)
            done = wine.run(program, *args, stdin=stdin, cwd=self.folder)
            self.code = done.returncode
            self.out = done.stdout.decode("latin-1").replace("\r\n", "\n")
            path = os.path.join(self.folder, "profsync.reg")
            self.reg = open(path, "rb").read().decode("latin-1") if os.path.exists(path) else None
        finally:
            shutil.rmtree(self.folder)

    def expect_failure(self, console):
        expect("console", self.out, console)
        expect("exit code", self.code, 1)
        expect("update file left", self.reg, None)


def imported(wine):
    """The settings key's subtree as `reg query /s` lists it."""
    return wine.reg("query", SETTINGS, "/s")[1]


def wineserver(wine, *args):
    server = os.path.join(os.path.dirname(wine.wine), "wineserver64")
    # The server outlives this call: it must not hold the test's output open.
    subprocess.run([server if os.path.exists(server) else "wineserver", *args], env=wine.env, timeout=300,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def case_boot(wine, program):
    shutil.rmtree(wine.env["WINEPREFIX"], ignore_errors=True)
    done = wine.run("wineboot", "-i")
    expect("wineboot", done.returncode, 0)
    # A server that stays up between the cases' many short runs, instead of
    # one that quits and restarts Wine's services each time; `stop` ends it,
    # and it ends by itself a minute after the last run if `stop` never comes.
    wineserver(wine, "-w")
    wineserver(wine, "-p60")
    wine.run("cmd", "/c", "exit")  # starts Wine's services for all the cases


def case_stop(wine, program):
    wineserver(wine, "-k")


def case_complete_run(wine, program):
    wine.set_record()
    s = Session(wine, program)
    expect("console", s.out, banner("12.03.2006") + IMPORT)
    expect("exit code", s.code, 0)
    expect("update file left", s.reg, None)
    listing = imported(wine)
    for line in [
        f"{SETTINGS}\\OpenGL\\quake3.exe\n    Dither    REG_SZ    0\n    TextureBias    REG_SZ    2\n"
        "    UIDummyName    REG_SZ    Quake III Arena\n",
        f"{SETTINGS}\\Direct3D\\UnrealTournament.exe\n    UIDummyName    REG_SZ    Unreal Tournament\n"
        "    VSync    REG_SZ    1\n",
        f"{SETTINGS}\\Misc\\say.exe\n    UIDummyName    REG_SZ    {QUOTED}\n",
    ]:
        if line not in listing:
            raise Failure(f"not imported:\n{line}\nregistry holds:\n{listing}")


def case_keep_file(wine, program):
    wine.set_record()
    s = Session(wine, program, args=["/e"], stdin=b"")
    expect("console", s.out, banner("12.03.2006") + IMPORT)
    expect("exit code", s.code, 0)
    expect("kept file, CR LF line ends", s.reg, WINE_REG.replace("\n", "\r\n"))
    if "say.exe" not in imported(wine):
        raise Failure("the kept file was not imported")


def case_registry_failures(wine, program):
    failures = [
        (None, None, NO_DRIVER),                 # no driver key
        ("REG_SZ", None, BAD_RECORD),            # the key without its value
        ("REG_SZ", "x" * 255, BAD_RECORD),       # does not fit 255 bytes with its terminator
        ("REG_DWORD", "1", BAD_RECORD),          # not a string
    ]
    for kind, data, message in failures:
        wine.set_record(kind, data)
        Session(wine, program).expect_failure(banner("12.03.2006") + message)
    wine.set_record("REG_EXPAND_SZ", RECORD)
    expect("exit code with REG_EXPAND_SZ", Session(wine, program).code, 0)


def case_refusals(wine, program):
    wine.set_record()
    Session(wine, program, args=["/e", "/e"]).expect_failure(ONE_PARAMETER)
    Session(wine, program, args=["/E"]).expect_failure(UNKNOWN)
    Session(wine, program, list_text=None).expect_failure(CANNOT_OPEN)
    Session(wine, program, list_text=None, stdin=b"").expect_failure(CANNOT_OPEN)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("case")
    options = parser.parse_args()
    wine = Wine(options.wine, os.path.abspath(options.prefix))
    try:
        globals()["case_" + options.case](wine, os.path.abspath(options.program))
    except Failure as failure:
        print(f"FAIL {options.case}: {failure}")
        return 1
    print(f"ok {options.case}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
