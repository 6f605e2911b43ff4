#!/usr/bin/env bash
# Checks the Windows package without running anything, since no 32-bit code
# runs on these machines:
# - it holds a 32-bit profsync.exe at its top;
# - the program imports only from KERNEL32, ADVAPI32 and msvcrt, only
#   functions that 32-bit Windows XP exports (windows-xp-exports/), and from
#   KERNEL32 only functions that Windows 95 exports by name as well, the floor
#   for 98 and ME (windows-95-exports/), and no function whose name ends in W
#   but those listed below: 95, 98 and ME export most of them as stubs that
#   fail. From ADVAPI32 it takes only the three registry functions, which
#   Windows 95 has. For msvcrt.dll of Windows 98 there is no list here;
# - its PE header asks for subsystem version 4.0 at most;
# - its code touches no SSE register (Pentium III and the first Athlons);
# - no version text makes Windows take it for an installer;
# - every .txt in it has CR LF line ends, empty lines too.
# Names everything that breaks this and fails.
#
#     tools/check-windows-package.sh build-windows-x86/profsync-<version>-windows.zip
set -euo pipefail
package=$1
tools=$(cd "$(dirname "$0")" && pwd)
objdump=i686-w64-mingw32-objdump
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The W functions the program may import, each with why its failure on
# Windows 95, 98 and ME does no harm (read off the disassembly of the
# runtime's objects that import them).
harmless_w=(
    # libgcc's gthr-win32, unwind-dw2-fde and emutls make the semaphore of a
    # mutex with it and keep the handle unchecked; it is waited on and
    # released only when a second thread contends for the mutex, and the
    # program runs one thread.
    CreateSemaphoreW
    # mingw-w64's lc_locale_func looks up msvcrt.dll with it; when it fails,
    # the helper takes the code page from setlocale's answer instead.
    GetModuleHandleW
)
registry=(RegOpenKeyExA RegQueryValueExA RegCloseKey)

failed=0
fail() {
    echo "check-windows-package: $*"
    failed=1
}

program=$work/profsync.exe
if ! unzip -p "$package" profsync.exe >"$program" 2>/dev/null || [ ! -s "$program" ]; then
    echo "check-windows-package: $package holds no profsync.exe at its top"
    exit 1
fi
if ! "$objdump" -p "$program" >"$work/headers" 2>/dev/null || ! grep -q 'file format pei-i386' "$work/headers"; then
    echo "check-windows-package: profsync.exe in $package is not a 32-bit Windows program"
    exit 1
fi

# Imports, as "DLL function" lines: each DLL's functions follow its name, up to a blank line.
awk '/DLL Name:/ { dll = toupper($3); sub(/\.DLL$/, "", dll); next }
     /^$/ { dll = "" }
     dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ { print dll, $3 }' "$work/headers" >"$work/imports"
[ -s "$work/imports" ] || fail "no imports read from profsync.exe"
while read -r dll function; do
    if [ ! -f "$tools/windows-xp-exports/$dll.txt" ]; then
        fail "imports $function from $dll.dll, which is none of KERNEL32, ADVAPI32 and msvcrt"
    elif ! grep -qxF "$function" "$tools/windows-xp-exports/$dll.txt"; then
        fail "imports $function from $dll.dll, which Windows XP does not export"
    fi
    if [ "$dll" = KERNEL32 ]; then
        if ! grep -qxF "$function" "$tools/windows-95-exports/KERNEL32.txt"; then
            fail "imports $function from KERNEL32.dll, which Windows 95 does not export (the floor taken for 98 and ME)"
        elif [[ $function == *W ]] && [[ " ${harmless_w[*]} " != *" $function "* ]]; then
            fail "imports $function from KERNEL32.dll, which Windows 95, 98 and ME export as a stub that fails"
        fi
    elif [ "$dll" = ADVAPI32 ] && [[ " ${registry[*]} " != *" $function "* ]]; then
        fail "imports $function from ADVAPI32.dll, which is not one of the registry functions of Windows 95"
    fi
done <"$work/imports"

major=$(awk '$1 == "MajorSubsystemVersion" { print $2 }' "$work/headers")
minor=$(awk '$1 == "MinorSubsystemVersion" { print $2 }' "$work/headers")
if [ "${major:-9}" -gt 4 ] || { [ "${major:-9}" -eq 4 ] && [ "${minor:-9}" -gt 0 ]; }; then
    fail "subsystem version $major.$minor: Windows 98, ME and 2000 need 4.0"
fi

"$objdump" -d --no-show-raw-insn "$program" >"$work/code"
sse=$(grep -c '%xmm' "$work/code" || true)
if [ "$sse" -gt 0 ]; then
    fail "$sse instructions use SSE registers, for example:"
    grep -m 3 '%xmm' "$work/code"
fi

# Windows Vista and later demand elevation for a 32-bit program without a
# manifest whose version texts name one of these words.
if strings -el "$program" | grep -iE 'install|setup|update|patch'; then
    fail "the version resource holds a word that makes Windows take the program for an installer"
fi

# Notepad before Windows 10 shows a text with LF line ends as one long line.
for text in $(unzip -Z1 "$package" '*.txt'); do
    if unzip -p "$package" "$text" | grep -qv $'\r$'; then
        fail "$text has lines that do not end in CR LF"
    fi
done

if [ "$failed" -ne 0 ]; then
    echo "check-windows-package: profsync.exe would not load or run on Windows 98 to XP"
    exit 1
fi
echo "check-windows-package: profsync.exe: $(wc -l <"$work/imports") imports, all in Windows XP, KERNEL32's" \
    "in Windows 95 too; subsystem $major.$minor; no SSE; $(stat -c %s "$program") bytes"
