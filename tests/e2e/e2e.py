#!/usr/bin/env python3
"""Runs the real profsync in a fresh folder and checks every byte it leaves.

Each run gets its own folder with kyro.txt, a Wine prefix whose system.reg
holds the driver's record, and a stand-in regedit.exe on PATH that records
its arguments and the file it was handed.

    e2e.py --program build/profsync CASE
"""

import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile

CONTACT = "the profsync issue tracker"
RECORD = "System\\CurrentControlSet\\Control\\Video\\{5A8A4A2E-0000}\\0000"


def press(text):
    return text + " Press RETURN to exit program...\n"


ONE_PARAMETER = press("You only could pass maximally one parameter.")
UNKNOWN = press("Unknown parameter passed.")
CANNOT_OPEN = press("Could not open kyro.txt to read.")
CANNOT_READ = press("Could not read kyro.txt.")
CANNOT_CREATE = press("Could not open profsync.reg to write.")
CANNOT_WRITE = press("Could not write profsync.reg.")
NO_DRIVER = ("It seems you don't have installed a PowerVR-Kyro graphic cards in your system.\n"
             f"If this isn't right please contact {CONTACT}\n\nPress RETURN to exit program...\n")
BAD_RECORD = (f"There was an error extracting the registry value.\nPlease contact {CONTACT}\n\n"
              "Press RETURN to exit program...\n")
IMPORT = ('Update-File created.\n\nNew registry keys will be imported.\nPlease press "Yes" in the window\n\n'
          "and then press RETURN to exit programme...\n")


def banner(file_date="12.03.2006"):
    return ("Updates and creates new game profiles for PowerVR-Kyro graphic cards\n\n"
            f"Written by the profsync developers\nErrors and comments to {CONTACT}\n"
            f"Base file date: 04.04.2005\nRegistry file date: {file_date}\n\n")


def game(name, typ, exe, *values, record=RECORD, quoted=None):
    settings = "HKEY_LOCAL_MACHINE\\" + record + "\\KYRO\\Game Settings"
    return (f"\n; {name}\n[{settings}\\{typ}\\{exe}]\n" + f'"UIDummyName"="{quoted or name}"\n'
            + "".join(v + "\n" for v in values))


LIST = ("Date: 12.03.2006\n\nName:   Quake III   Arena\n  Typ: OpenGL\n  Exe: quake3.exe\n"
        '  "TextureBias"="2"\n\t"Dither"="0"\n\nName: Unreal Tournament\n  Typ: Direct3D\n'
        '  Exe: UnrealTournament.exe\n  "VSync"="1"\n')


def reg(record=RECORD):
    return ("REGEDIT4\n" + game("Quake III Arena", "OpenGL", "quake3.exe", '"TextureBias"="2"', '"Dither"="0"',
                                record=record)
            + game("Unreal Tournament", "Direct3D", "UnrealTournament.exe", '"VSync"="1"', record=record))


def hive(record_line='"LatestDrvReg"="' + RECORD.replace("\\", "\\\\") + '"'):
    return ("WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
            "[Software\\\\PowerVR\\\\KYRO] 1796587160\n#time=1dd85bc48949ce2\n" + record_line + "\n")


class Failure(Exception):
    pass


def expect(what, actual, wanted):
    if actual != wanted:
        raise Failure(f"{what}:\n  got    {actual!r:.2000}\n  wanted {wanted!r:.2000}")


class Run:
    """One run of the program in a fresh folder."""

    def __init__(self, program, list_bytes=LIST, hive_text=None, args=(), stdin=b"\n", setup=None, wrapper=()):
        root = tempfile.mkdtemp(prefix="profsync-e2e-")
        try:
            self.folder, bin_dir, prefix = (os.path.join(root, d) for d in ("work", "bin", "prefix"))
            for d in (self.folder, bin_dir, prefix):
                os.makedirs(d)
            if list_bytes is not None:
                self.write("kyro.txt", list_bytes)
            with open(os.path.join(prefix, "system.reg"), "w", encoding="utf-8", newline="") as f:
                f.write(hive() if hive_text is None else hive_text)
            with open(os.path.join(bin_dir, "regedit.exe"), "w") as f:
                f.write('#!/bin/sh\nprintf "%s\\n" "$@" > ../args\ncp profsync.reg ../handed.reg\n')
            os.chmod(os.path.join(bin_dir, "regedit.exe"), 0o755)
            if setup:
                setup(self.folder)
            env = dict(os.environ, WINEPREFIX=prefix, PATH=bin_dir + os.pathsep + os.environ.get("PATH", ""))
            done = subprocess.run([*wrapper, program, *args], cwd=self.folder, env=env, stdout=subprocess.PIPE,
                                  input=stdin, timeout=120)
            self.code, self.out = done.returncode, done.stdout.decode("latin-1")
            self.args, self.handed, self.left = (self.read(n) for n in ("../args", "../handed.reg", "profsync.reg"))
        finally:
            shutil.rmtree(root)

    def write(self, name, data):
        with open(os.path.join(self.folder, name), "wb") as f:
            f.write(data.encode("latin-1") if isinstance(data, str) else data)

    def read(self, name):
        path = os.path.join(self.folder, name)
        if not os.path.lexists(path):
            return None
        if not os.path.isfile(path) or os.path.islink(path):
            return "(not a file)"
        with open(path, "rb") as f:
            return f.read().decode("latin-1")

    def expect_success(self, reg_text, file_date="12.03.2006", kept=False):
        expect("console", self.out, banner(file_date) + IMPORT)
        expect("exit code", self.code, 0)
        expect("regedit arguments", self.args, "profsync.reg\n")
        expect("file handed to regedit", self.handed, reg_text)
        expect("file afterwards", self.left, reg_text if kept else None)

    def expect_failure(self, console):
        expect("console", self.out, console)
        expect("exit code", self.code, 1)
        expect("regedit started", self.args, None)
        expect("update file left", self.left, None)


def case_runs(run):
    run().expect_success(reg())
    run(args=["/e"], stdin=b"").expect_success(reg(), kept=True)  # input at its end counts as RETURN


def case_refusals(run):
    run(args=["/e", "/e"]).expect_failure(ONE_PARAMETER)
    run(args=["a", "b", "c"], stdin=b"").expect_failure(ONE_PARAMETER)
    for arg in ["/E", "/e ", "-e", "", "/ex"]:
        run(args=[arg]).expect_failure(UNKNOWN)
    run(list_bytes=None).expect_failure(CANNOT_OPEN)
    run(list_bytes=None, setup=lambda d: os.mkdir(os.path.join(d, "kyro.txt"))).expect_failure(CANNOT_OPEN)
    # Opens like any file, but every read of it fails.
    unreadable = lambda d: os.symlink("/proc/self/mem", os.path.join(d, "kyro.txt"))
    run(list_bytes=None, setup=unreadable).expect_failure(CANNOT_READ)


def case_write_errors(run):
    full = lambda d: os.symlink("/dev/full", os.path.join(d, "profsync.reg"))
    run(setup=full).expect_failure(banner() + CANNOT_WRITE)
    in_the_way = lambda d: os.mkdir(os.path.join(d, "profsync.reg"))
    r = run(setup=in_the_way)
    expect("console", (r.out, r.code, r.args), (banner() + CANNOT_CREATE, 1, None))


def case_hives(run):
    record = lambda data: hive('"LatestDrvReg"=' + data)
    good = hive()
    cases = [
        ("empty", "", NO_DRIVER),
        ("wrong first line", good.replace("Version 2", "Version 3", 1), NO_DRIVER),
        ("cut inside the key line", good[:good.index("KYRO]") + 2], NO_DRIVER),
        ("key line without ]", good.replace("KYRO]", "KYRO"), NO_DRIVER),
        ("no value", hive('"Other"="x"'), BAD_RECORD),
        ("cut inside the value", good[:good.index('"LatestDrvReg"') + 30], BAD_RECORD),
        ("no closing quote", good.rstrip("\n")[:-1] + "\n", BAD_RECORD),
        ("hex list continued at the end", record("hex(1):41,00,\\"), BAD_RECORD),
        ("255 bytes and a terminator", record('"' + "x" * 255 + '"'), BAD_RECORD),
        ("255 bytes, none stored", record("hex(1):" + "78,00," * 254 + "78,00"), BAD_RECORD),
        ("not a string", record("dword:00000001"), BAD_RECORD),
        ("line break in the record", record('"Video\\n0000"'), BAD_RECORD),
        ("254 bytes and a terminator", record('"' + "x" * 254 + '"'), "x" * 254),
        ("REG_EXPAND_SZ, not expanded", record('str(2):"%Root%\\\\0"'), "%Root%\\0"),
        ("no terminator stored", record("hex(1):41,00,42,00"), "AB"),
        ("a NUL inside", record('"Vid\\0eo"'), "Vid"),
        ("empty record", record('""'), ""),
    ]
    for what, text, outcome in cases:
        try:
            r = run(hive_text=text, list_bytes="Name: N\nTyp: T\nExe: e\n")
            if outcome in (NO_DRIVER, BAD_RECORD):
                r.expect_failure(banner("") + outcome)
            else:
                r.expect_success("REGEDIT4\n" + game("N", "T", "e", record=outcome), file_date="")
        except Failure as failure:
            raise Failure(f"{what}: {failure}")


def case_mended(run):
    cases = [
        ("a line of any length is one line", "Name: N\nTyp: T\nExe: e.exe\n" + '"C"="' + "long " * 2000 + 'end"',
         game("N", "T", "e.exe", '"C"="' + "long " * 2000 + 'end"')),
        ("names as string data", 'Name: The "Best" C:\\Game\\\nTyp: T\nExe: e.exe\n',
         game('The "Best" C:\\Game\\', "T", "e.exe", quoted='The \\"Best\\" C:\\\\Game\\\\')),
        ("key lines dropped", "Name: N\nTyp: T\nExe: e.exe\n[-HKEY_LOCAL_MACHINE\\SOFTWARE]\n"
         '  [HKEY_LOCAL_MACHINE\\SOFTWARE\\Evil]\nExe: [-HKEY_LOCAL_MACHINE\\SOFTWARE\n"A"="1"\n',
         game("N", "T", "e.exe", '"A"="1"')),
        ("values after the colon", "Date:01.01.2007\nName: A\nTyp:T\nExe:game.exe\nName:\nTyp: T\nExe: b.exe\nName\n",
         game("A", "T", "game.exe") + game("", "T", "b.exe") + "\n; "),
        ("NUL bytes end a line's text", "Name: A\0hidden\nTyp: T\0\nExe: e.exe\n\0\"X\"=\"1\"\n\"Y\"=\"2\"\0\n",
         game("A", "T", "e.exe", '"Y"="2"')),
        ("no line end at all", "Name: N", "\n; N"),
    ]
    for what, list_text, reg_text in cases:
        try:
            date = "01.01.2007" if list_text.startswith("Date") else ""
            run(list_bytes=list_text).expect_success("REGEDIT4\n" + reg_text, file_date=date)
        except Failure as failure:
            raise Failure(f"{what}: {failure}")


def case_hostile_lists(run):
    garbage = bytes(random.Random(2006).getrandbits(8) for _ in range(200000))
    huge = '"Blob"="' + "0123456789" * 1000000 + '"'
    run(list_bytes="Name: N\nTyp: T\nExe: e.exe\n" + huge).expect_success(
        "REGEDIT4\n" + game("N", "T", "e.exe", huge), file_date="")
    for list_bytes in [garbage, garbage.replace(b"\n", b"\nExe: [-HKEY_LOCAL_MACHINE\\SOFTWARE\n")]:
        r = run(list_bytes=list_bytes, args=["/e"])
        expect("exit code", r.code, 0)
        expect("header", r.left[:9], "REGEDIT4\n")
        expect("NUL bytes", "\0" in r.left, False)
        settings = "[HKEY_LOCAL_MACHINE\\" + RECORD + "\\KYRO\\Game Settings\\"
        outside = [line for line in r.left.split("\n") if line.startswith("[") and not line.startswith(settings)]
        expect("keys outside the settings key", outside, [])


def case_memory(run):
    # A leak or a bad access on a complete run, or on a run that fails late, fails the case.
    valgrind = ["valgrind", "-q", "--leak-check=full", "--errors-for-leak-kinds=definite,indirect",
                "--error-exitcode=99"]
    run(wrapper=valgrind).expect_success(reg())
    run(wrapper=valgrind, list_bytes=LIST * 200, args=["/e"]).expect_success(
        "REGEDIT4\n" + reg()[len("REGEDIT4\n"):] * 200, kept=True)
    run(wrapper=valgrind, hive_text=hive('"Other"="x"')).expect_failure(banner() + BAD_RECORD)


def run_case(name, test):
    """Runs one case and reports it as CTest reads it: exit code 0 or 1."""
    try:
        test()
    except Failure as failure:
        print(f"FAIL {name}: {failure}")
        return 1
    print(f"ok {name}")
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("case")
    options = parser.parse_args()
    program = os.path.abspath(options.program)
    test = globals()["case_" + options.case]
    return run_case(options.case, lambda: test(lambda **kwargs: Run(program, **kwargs)))


if __name__ == "__main__":
    sys.exit(main())
