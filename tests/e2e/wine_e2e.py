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

from e2e import (BAD_RECORD, CANNOT_OPEN, IMPORT, LIST, NO_DRIVER, ONE_PARAMETER, UNKNOWN, Failure, banner,
                 expect, game, reg, run_case)

# Wine keeps ...\Control\Video volatile and refuses imports below it, so the
# record here points at an ordinary key.
RECORD = "System\\CurrentControlSet\\Services\\KyroTest\\Device0"
DRIVER_KEY = "HKLM\\Software\\PowerVR\\KYRO"
SETTINGS = "HKEY_LOCAL_MACHINE\\" + RECORD + "\\KYRO\\Game Settings"
QUOTED = 'Say "Hi" C:\\Games\\'
WINE_LIST = LIST + f"\nName: {QUOTED}\nTyp: Misc\nExe: say.exe\n"
WINE_REG = reg(RECORD) + game(QUOTED, "Misc", "say.exe", record=RECORD, quoted='Say \\"Hi\\" C:\\\\Games\\\\')


class Wine:
    def __init__(self, wine, prefix):
        self.wine = wine
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")

    def run(self, *args, stdin=b"", cwd=None):
        """(exit code, standard output less CR). Output goes through a file, not a pipe: Wine's
        services, started by whichever program comes first, inherit its handles and keep a pipe open."""
        with tempfile.TemporaryFile() as out:
            done = subprocess.run([self.wine, *args], cwd=cwd, env=self.env, input=stdin, stdout=out,
                                  stderr=subprocess.DEVNULL, timeout=300)
            out.seek(0)
            return done.returncode, out.read().decode("latin-1").replace("\r\n", "\n")

    def server(self, *args):
        server = os.path.join(os.path.dirname(self.wine), "wineserver64")
        # The server outlives this call: it must not hold the test's output open.
        subprocess.run([server if os.path.exists(server) else "wineserver", *args], env=self.env, timeout=300,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def set_record(self, kind="REG_SZ", data=RECORD):
        """The driver's record, or its absence; no settings imported yet."""
        self.run("reg", "delete", DRIVER_KEY, "/f")
        if kind is not None:
            self.run("reg", "add", DRIVER_KEY, "/f")
        if data is not None:
            expect("reg add", self.run("reg", "add", DRIVER_KEY, "/v", "LatestDrvReg", "/t", kind, "/d", data,
                                       "/f")[0], 0)
        self.run("reg", "delete", "HKLM\\" + RECORD, "/f")

    def session(self, program, list_text=WINE_LIST, args=(), stdin=b"\n"):
        """(exit code, console, profsync.reg afterwards) of one run in a fresh folder."""
        folder = tempfile.mkdtemp(prefix="profsync-wine-")
        try:
            if list_text is not None:
                with open(os.path.join(folder, "kyro.txt"), "w", newline="\r\n") as f:
                    f.write(list_text)
            code, out = self.run(program, *args, stdin=stdin, cwd=folder)
            path, left = os.path.join(folder, "profsync.reg"), None
            if os.path.exists(path):
                with open(path, "rb") as f:
                    left = f.read().decode("latin-1")
            return code, out, left
        finally:
            shutil.rmtree(folder)


def case_boot(wine, program):
    shutil.rmtree(wine.env["WINEPREFIX"], ignore_errors=True)
    expect("wineboot", wine.run("wineboot", "-i")[0], 0)
    # One server for all the cases' short runs, instead of one that quits and restarts Wine's
    # services each time; `stop` ends it, or it ends a minute after the last run.
    wine.server("-w")
    wine.server("-p60")
    wine.run("cmd", "/c", "exit")  # starts Wine's services for all the cases


def case_stop(wine, program):
    wine.server("-k")


def case_runs(wine, program):
    wine.set_record()
    expect("run", wine.session(program), (0, banner() + IMPORT, None))
    listing = wine.run("reg", "query", SETTINGS, "/s")[1]
    for key in [
        f"{SETTINGS}\\OpenGL\\quake3.exe\n    Dither    REG_SZ    0\n    TextureBias    REG_SZ    2\n"
        "    UIDummyName    REG_SZ    Quake III Arena\n",
        f"{SETTINGS}\\Direct3D\\UnrealTournament.exe\n    UIDummyName    REG_SZ    Unreal Tournament\n"
        "    VSync    REG_SZ    1\n",
        f"{SETTINGS}\\Misc\\say.exe\n    UIDummyName    REG_SZ    {QUOTED}\n",
    ]:
        if key not in listing:
            raise Failure(f"not imported:\n{key}\nregistry holds:\n{listing}")

    wine.set_record()
    kept = (0, banner() + IMPORT, WINE_REG.replace("\n", "\r\n"))  # stdin at its end counts as RETURN
    expect("run with /e", wine.session(program, args=["/e"], stdin=b""), kept)
    expect("kept file imported", "say.exe" in wine.run("reg", "query", SETTINGS, "/s")[1], True)


def case_refusals(wine, program):
    records = [
        (None, None, NO_DRIVER),            # no driver key
        ("REG_SZ", None, BAD_RECORD),       # the key without its value
        ("REG_SZ", "x" * 255, BAD_RECORD),  # does not fit 255 bytes with its terminator
        ("REG_DWORD", "1", BAD_RECORD),     # not a string
    ]
    for kind, data, message in records:
        wine.set_record(kind, data)
        expect(f"record {kind} {data!r:.10}", wine.session(program), (1, banner() + message, None))
    wine.set_record("REG_EXPAND_SZ", RECORD)
    expect("REG_EXPAND_SZ record", wine.session(program)[0], 0)
    expect("two arguments", wine.session(program, args=["/e", "/e"]), (1, ONE_PARAMETER, None))
    expect("/E", wine.session(program, args=["/E"]), (1, UNKNOWN, None))
    expect("no kyro.txt", wine.session(program, list_text=None, stdin=b""), (1, CANNOT_OPEN, None))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("case")
    options = parser.parse_args()
    wine = Wine(options.wine, os.path.abspath(options.prefix))
    test = globals()["case_" + options.case]
    return run_case(options.case, lambda: test(wine, os.path.abspath(options.program)))


if __name__ == "__main__":
    sys.exit(main())
