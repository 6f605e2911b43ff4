#!/usr/bin/env python3
"""Runs the real profsync in a fresh folder and checks every byte it leaves.

Each case gets its own folder with kyro.txt, a Wine prefix whose system.reg
holds the driver's record, and a stand-in regedit.exe on PATH that records
its arguments and the file it was handed.

    e2e.py --program build/profsync CASE
"""

import argparse
import os
import random
import subprocess
import sys
import tempfile

AUTHOR = "the profsync developers"
CONTACT = "the profsync issue tracker"
RECORD = "System\\CurrentControlSet\\Control\\Video\\{5A8A4A2E-0000}\\0000"
SETTINGS = "HKEY_LOCAL_MACHINE\\" + RECORD + "\\KYRO\\Game Settings"

LIST = (
    "Date: 12.03.2006\n"
    "\n"
    "Name:   Quake III   Arena\n"
    "  Typ: OpenGL\n"
    "  Exe: quake3.exe\n"
    '  "TextureBias"="2"\n'
    '\t"Dither"="0"\n'
    "\n"
    "Name: Unreal Tournament\n"
    "  Typ: Direct3D\n"
    "  Exe: UnrealTournament.exe\n"
    '  "VSync"="1"\n'
)
REG = (
    "REGEDIT4\n"
    "\n; Quake III Arena\n"
    f"[{SETTINGS}\\OpenGL\\quake3.exe]\n"
    '"UIDummyName"="Quake III Arena"\n'
    '"TextureBias"="2"\n"Dither"="0"\n'
    "\n; Unreal Tournament\n"
    f"[{SETTINGS}\\Direct3D\\UnrealTournament.exe]\n"
    '"UIDummyName"="Unreal Tournament"\n'
    '"VSync"="1"\n'
)

ONE_PARAMETER = "You only could pass maximally one parameter. Press RETURN to exit program...\n"
UNKNOWN = "Unknown parameter passed. Press RETURN to exit program...\n"
CANNOT_OPEN = "Could not open kyro.txt to read. Press RETURN to exit program...\n"
CANNOT_READ = "Could not read kyro.txt. Press RETURN to exit program...\n"
CANNOT_CREATE = "Could not open profsync.reg to write. Press RETURN to exit program...\n"
CANNOT_WRITE = "Could not write profsync.reg. Press RETURN to exit program...\n"
NO_DRIVER = (
    "It seems you don't have installed a PowerVR-Kyro graphic cards in your system.\n"
    f"If this isn't right please contact {CONTACT}\n\n"
    "Press RETURN to exit program...\n"
)
BAD_RECORD = (
    "There was an error extracting the registry value.\n"
    f"Please contact {CONTACT}\n\n"
    "Press RETURN to exit program...\n"
)
IMPORT = (
    "Update-File created.\n\n"
    "New registry keys will be imported.\n"
    'Please press "Yes" in the window\n\n'
    "and then press RETURN to exit programme...\n"
)


def banner(file_date):
    return (
        "Updates and creates new game profiles for PowerVR-Kyro graphic cards\n\n"
        f"Written by {AUTHOR}\n"
        f"Errors and comments to {CONTACT}\n"
        "Base file date: 04.04.2005\n"
        f"Registry file date: {file_date}\n\n"
    )


def hive(record_line='"LatestDrvReg"="' + RECORD.replace("\\", "\\\\") + '"'):
    return (
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
        "[Software\\\\PowerVR\\\\KYRO] 1796587160\n#time=1dd85bc48949ce2\n" + record_line + "\n"
    )


class Failure(Exception):
    pass


def expect(what, actual, wanted):
    if actual != wanted:
        raise Failure(f"{what}:\n  got    {actual!r}\n  wanted {wanted!r}")


class Run:
    """One run of the program in a fresh folder."""

    def __init__(self, program, root, list_bytes=LIST, hive_text=None, args=(), stdin=b"\n", setup=None,
                 wrapper=()):
        self.folder = os.path.join(root, "work")
        self.records = os.path.join(root, "records")
        prefix = os.path.join(root, "prefix")
        bin_dir = os.path.join(root, "bin")
        for d in (self.folder, self.records, prefix, bin_dir):
            os.makedirs(d)
        if list_bytes is not None:
            self.write("kyro.txt", list_bytes)
        with open(os.path.join(prefix, "system.reg"), "w", encoding="utf-8", newline="") as f:
            f.write(hive() if hive_text is None else hive_text)
        regedit = os.path.join(bin_dir, "regedit.exe")
        with open(regedit, "w") as f:
            f.write('#!/bin/sh\nprintf "%s\\n" "$@" > "$E2E_RECORDS/args"\ncp profsync.reg "$E2E_RECORDS/handed.reg"\n')
        os.chmod(regedit, 0o755)
        if setup:
            setup(self.folder)

        env = dict(os.environ, WINEPREFIX=prefix, E2E_RECORDS=self.records,
                   PATH=bin_dir + os.pathsep + os.environ.get("PATH", ""))
        done = subprocess.run([*wrapper, program, *args], cwd=self.folder, env=env, stdout=subprocess.PIPE,
                              input=stdin, timeout=60)
        self.code = done.returncode
        self.out = done.stdout.decode("latin-1")

    def write(self, name, data):
        with open(os.path.join(self.folder, name), "wb") as f:
            f.write(data.encode("latin-1") if isinstance(data, str) else data)

    def read(self, name, where=None):
        path = os.path.join(where or self.folder, name)
        if not os.path.lexists(path):
            return None
        with open(path, "rb") as f:
            return f.read().decode("latin-1")

    def exists(self, name):
        return os.path.lexists(os.path.join(self.folder, name))

    def expect_success(self, reg, file_date="12.03.2006", kept=False):
        expect("console", self.out, banner(file_date) + IMPORT)
        expect("exit code", self.code, 0)
        expect("regedit arguments", self.read("args", self.records), "profsync.reg\n")
        expect("file handed to regedit", self.read("handed.reg", self.records), reg)
        expect("file afterwards", self.read("profsync.reg"), reg if kept else None)

    def expect_failure(self, console):
        expect("console", self.out, console)
        expect("exit code", self.code, 1)
        expect("regedit started", self.read("args", self.records), None)
        expect("update file left", self.exists("profsync.reg"), False)


def game(name, typ, exe, *values):
    return (f"\n; {name}\n[{SETTINGS}\\{typ}\\{exe}]\n" + f'"UIDummyName"="{name}"\n'
            + "".join(v + "\n" for v in values))


# Each case takes a function that makes a Run in a fresh folder.

def case_complete_run(run):
    run().expect_success(REG)


def case_keep_file(run):
    r = run(args=["/e"])
    r.expect_success(REG, kept=True)


def case_stdin_at_end(run):
    run(stdin=b"").expect_success(REG)


def case_command_line(run):
    run(args=["/e", "/e"]).expect_failure(ONE_PARAMETER)
    run(args=["a", "b", "c"], stdin=b"").expect_failure(ONE_PARAMETER)
    for arg in ["/E", "/e ", "-e", "", "/ex"]:
        run(args=[arg]).expect_failure(UNKNOWN)


def case_missing_list(run):
    run(list_bytes=None).expect_failure(CANNOT_OPEN)


def case_list_is_directory(run):
    run(list_bytes=None, setup=lambda d: os.mkdir(os.path.join(d, "kyro.txt"))).expect_failure(CANNOT_OPEN)


def case_read_error(run):
    # Opens like any file; every read of it fails.
    link = lambda d: os.symlink("/proc/self/mem", os.path.join(d, "kyro.txt"))
    run(list_bytes=None, setup=link).expect_failure(CANNOT_READ)


def case_write_error(run):
    full = lambda d: os.symlink("/dev/full", os.path.join(d, "profsync.reg"))
    run(setup=full).expect_failure(banner("12.03.2006") + CANNOT_WRITE)
    in_the_way = lambda d: os.mkdir(os.path.join(d, "profsync.reg"))
    r = run(setup=in_the_way)
    expect("console", r.out, banner("12.03.2006") + CANNOT_CREATE)
    expect("exit code", r.code, 1)


def case_registry_failures(run):
    run(hive_text="").expect_failure(banner("12.03.2006") + NO_DRIVER)
    run(hive_text=hive('"Other"="x"')).expect_failure(banner("12.03.2006") + BAD_RECORD)
    run(hive_text=hive('"LatestDrvReg"="' + "x" * 255 + '"')).expect_failure(banner("12.03.2006") + BAD_RECORD)
    run(hive_text=hive('"LatestDrvReg"=dword:00000001')).expect_failure(banner("12.03.2006") + BAD_RECORD)
    ok = run(hive_text=hive('"LatestDrvReg"="' + "x" * 254 + '"'), list_bytes="")
    expect("console", ok.out, banner("") + IMPORT)


def case_long_lines(run):
    value = '"Comment"="' + "long " * 2000 + 'end"'
    r = run(list_bytes="Name: N\nTyp: T\nExe: e.exe\n" + value + "\n")
    r.expect_success("REGEDIT4\n" + game("N", "T", "e.exe", value), file_date="")


def case_quoted_name(run):
    r = run(list_bytes='Name: The "Best" C:\\Game\\\nTyp: T\nExe: e.exe\n')
    expect_reg = ('REGEDIT4\n\n; The "Best" C:\\Game\\\n' + f"[{SETTINGS}\\T\\e.exe]\n"
                  + '"UIDummyName"="The \\"Best\\" C:\\\\Game\\\\"\n')
    r.expect_success(expect_reg, file_date="")


def case_bracket_lines(run):
    r = run(list_bytes="Name: N\nTyp: T\nExe: e.exe\n[-HKEY_LOCAL_MACHINE\\SOFTWARE]\n"
                       "  [HKEY_LOCAL_MACHINE\\SOFTWARE\\Evil]\n\"A\"=\"1\"\n")
    r.expect_success("REGEDIT4\n" + game("N", "T", "e.exe", '"A"="1"'), file_date="")


def case_key_values(run):
    r = run(list_bytes="Date:01.01.2007\nName: A\nTyp:T\nExe:game.exe\nName:\nTyp: T\nExe: b.exe\nName\n")
    r.expect_success("REGEDIT4\n" + game("A", "T", "game.exe") + game("", "T", "b.exe") + "\n; ",
                     file_date="01.01.2007")


def check_confined(reg):
    """What any list must give: a REGEDIT4 file whose keys all lie below the settings key."""
    expect("header", reg[:9], "REGEDIT4\n")
    expect("NUL bytes", "\0" in reg, False)
    for line in reg.split("\n"):
        if line.startswith("["):
            expect("key outside the settings key", line.startswith("[" + SETTINGS + "\\"), True)


def case_hostile_lists(run):
    garbage = bytes(random.Random(2006).getrandbits(8) for _ in range(200000))
    for list_bytes in [garbage, garbage.replace(b"\n", b"\nExe: [-HKEY_LOCAL_MACHINE\\SOFTWARE\n")]:
        r = run(list_bytes=list_bytes, args=["/e"])
        expect("exit code", r.code, 0)
        check_confined(r.read("profsync.reg"))

    with_nuls = b"Name: A\0hidden\nTyp: T\0\nExe: e.exe\n\0\"X\"=\"1\"\n\"Y\"=\"2\"\0\n"
    run(list_bytes=with_nuls).expect_success("REGEDIT4\n" + game("A", "T", "e.exe", '"Y"="2"'), file_date="")

    huge = '"Blob"="' + "0123456789" * 1000000 + '"'
    run(list_bytes="Name: N\nTyp: T\nExe: e.exe\n" + huge).expect_success(
        "REGEDIT4\n" + game("N", "T", "e.exe", huge), file_date="")

    run(list_bytes="Name: N").expect_success("REGEDIT4\n\n; N", file_date="")


def case_damaged_hives(run):
    good = hive()
    record_at = good.index('"LatestDrvReg"')
    damaged = [
        ("empty", "", NO_DRIVER),
        ("wrong first line", good.replace("Version 2", "Version 3", 1), NO_DRIVER),
        ("cut inside the key line", good[:good.index("KYRO]") + 2], NO_DRIVER),
        ("key line without ]", good.replace("KYRO]", "KYRO"), NO_DRIVER),
        ("cut inside the value", good[:record_at + 30], BAD_RECORD),
        ("string without its closing quote", good.rstrip("\n")[:-1] + "\n", BAD_RECORD),
        ("hex list continued at the end", hive('"LatestDrvReg"=hex(1):41,00,\\'), BAD_RECORD),
        ("line break in the record", hive('"LatestDrvReg"="Video\\n0000"'), BAD_RECORD),
    ]
    for what, text, message in damaged:
        try:
            run(hive_text=text).expect_failure(banner("12.03.2006") + message)
        except Failure as failure:
            raise Failure(f"{what}: {failure}")


def case_memory(run):
    # Any leak or bad access on a complete run, or on a run that fails late, fails the case.
    valgrind = ["valgrind", "-q", "--leak-check=full", "--errors-for-leak-kinds=definite,indirect",
                "--error-exitcode=99"]
    run(wrapper=valgrind).expect_success(REG)
    run(wrapper=valgrind, list_bytes=LIST * 200, args=["/e"]).expect_success(
        "REGEDIT4\n" + REG[len("REGEDIT4\n"):] * 200, kept=True)
    run(wrapper=valgrind, hive_text=hive('"Other"="x"')).expect_failure(banner("12.03.2006") + BAD_RECORD)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("case")
    options = parser.parse_args()
    program = os.path.abspath(options.program)
    test = globals()["case_" + options.case]

    def run(**kwargs):
        root = tempfile.mkdtemp(prefix="profsync-e2e-")
        cleanup.append(root)
        return Run(program, root, **kwargs)

    cleanup = []
    try:
        test(run)
    except Failure as failure:
        print(f"FAIL {options.case}: {failure}")
        return 1
    finally:
        for root in cleanup:
            subprocess.run(["rm", "-rf", root])
    print(f"ok {options.case}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
