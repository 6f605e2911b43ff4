#!/usr/bin/env python3
# Runs run_cases.py on stub programs, shell scripts that act out a run of a case, each but the
# first two breaking what one of its checks guards, and fails unless the runner passes the good
# ones and names that check for each of the others.
#
#     run_cases_test.py CASES_FOLDER

import subprocess
import sys
import tempfile
from pathlib import Path

SUCCESS, FAILURE = "games", "no-driver"  # exit code 0 without /e, with an earlier profsync.reg; exit code 1
GOOD = "cat console.txt; cp expected.reg profsync.reg; regedit.exe profsync.reg; read x; rm profsync.reg"
STUBS = [  # (case, stub, the check it breaks; None for a good run)
    (SUCCESS, GOOD, None),
    (FAILURE, "cat console.txt; read x; exit 1", None),
    (SUCCESS, "cat console.txt; cp expected.reg profsync.reg; read x; regedit.exe profsync.reg; rm profsync.reg",
     "all console text out when it waits for RETURN"),  # the editor after RETURN
    (SUCCESS, GOOD.replace("read x; ", ""), "all console text out when it waits for RETURN"),  # no wait
    (SUCCESS, "cp expected.reg profsync.reg; regedit.exe profsync.reg; cat console.txt; read x; rm profsync.reg",
     "console"),
    (SUCCESS, GOOD.replace("; rm profsync.reg", ""), "the folder afterwards"),  # kept without /e
    (SUCCESS, GOOD + "; touch stray", "the folder afterwards"),
    (SUCCESS, GOOD.replace("read x", "echo >>profsync.reg; read x"), "the folder while it waits"),
    (SUCCESS, GOOD + "; echo oops >&2", "nothing on standard error"),
    (SUCCESS, GOOD + "; exit 2", "exit code"),
    (FAILURE, "echo partial >profsync.reg; cat console.txt; read x; rm profsync.reg; exit 1",
     "the folder while it waits"),
]


def main():
    cases, runner = Path(sys.argv[1]), Path(__file__).with_name("run_cases.py")
    failures = []
    with tempfile.TemporaryDirectory() as work:
        for number, (case, stub, check) in enumerate(STUBS):
            program = Path(work) / f"stub{number}"
            program.write_text("#!/bin/sh\n" + stub + "\n")
            program.chmod(0o755)
            run = subprocess.run([sys.executable, runner, program, cases / case], capture_output=True, text=True)
            named = [line.strip().rstrip(":") for line in run.stdout.splitlines()
                     if line.startswith("  ") and not line.startswith("    ")]
            if (run.returncode, named) != ((0, []) if check is None else (1, [check])):
                failures.append(f"{stub!r} on {case}: exit code {run.returncode}, failed {named}, wanted {check}")
    print("\n".join(failures) or f"the runner told all {len(STUBS)} stubs apart")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
