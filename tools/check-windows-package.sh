#!/usr/bin/env bash
# Checks that the 32-bit program in the Windows package can load on the
# systems its users have (Windows 98 SE, ME, 2000, XP): it imports only from
# KERNEL32, ADVAPI32 and msvcrt, only functions that 32-bit Windows XP exports
# (windows-xp-exports/), its PE header asks for subsystem version 4.0 at
# most, its code touches no SSE register (Pentium III and the first Athlons
# run it), and Windows does not take it for an installer. Names everything
# that breaks this and fails.
#
#     tools/check-windows-xp.sh build-windows-x64/profsync-<version>-windows.zip
set -euo pipefail
package=$1
lists=$(cd "$(dirname "$0")" && pwd)/windows-xp-exports
objdump=i686-w64-mingw32-objdump
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

program=$work/profsync.exe
unzip -p "$package" "*/x86/profsync.exe" >"$program"
failed=0
fail() {
    echo "check-windows-xp: $*"
    failed=1
}

"$objdump" -p "$program" >"$work/headers"
# Imports, as "DLL function" lines: each DLL's functions follow its name, up to a blank line.
awk '/DLL Name:/ { dll = toupper($3); sub(/\.DLL$/, "", dll); next }
     /^$/ { dll = "" }
     dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ { print dll, $3 }' "$work/headers" >"$work/imports"
[ -s "$work/imports" ] || fail "no imports read from $program"
while read -r dll function; do
    list=$lists/$dll.txt
    if [ ! -f "$list" ]; then
        fail "imports from $dll.dll, which is none of KERNEL32, ADVAPI32 and msvcrt ($function)"
    elif ! grep -qxF "$function" "$list"; then
        fail "imports $function from $dll.dll, which Windows XP does not export"
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
    if unzip -p "$package" "$text" | grep -q $'[^\r]$'; then
        fail "$text has lines that do not end in CR LF"
    fi
done

if [ "$failed" -ne 0 ]; then
    echo "check-windows-xp: x86/profsync.exe would not load or run on Windows XP and older"
    exit 1
fi
echo "check-windows-xp: x86/profsync.exe: $(wc -l <"$work/imports") imports, all in Windows XP;" \
    "subsystem $major.$minor; no SSE; $(stat -c %s "$program") bytes"
