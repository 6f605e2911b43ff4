#!/usr/bin/env bash
# Checks each Windows package it is given without running anything, since no
# 32-bit code runs on these machines:
# - it holds exactly profsync.exe, README.txt, LICENSE.txt and example/kyro.txt,
#   and its profsync.exe is a 32-bit Windows program;
# - the program imports (at load time, or delay-loaded on its first call;
#   tools/delay-imports.py finds those) only from KERNEL32, ADVAPI32 and
#   msvcrt, only functions that 32-bit Windows XP exports
#   (windows-xp-exports/), from KERNEL32 only functions that Windows 95
#   exports by name as well, the floor for 98 and ME (windows-95-exports/),
#   and no function whose name ends in W but those listed below: 95, 98 and
#   ME export most of them as stubs that fail. From ADVAPI32 it takes only
#   the three registry functions, which Windows 95 has. For msvcrt.dll of
#   Windows 98 there is no list here;
# - its PE header asks for subsystem version 4.0 at most;
# - its code holds only instructions the Pentium II has, on no register it
#   lacks (pentium-ii-instructions.txt): no SSE or later in any form, no
#   fence, prefetch hint, MXCSR access, non-temporal store or 3DNow!;
# - no version text makes Windows take it for an installer;
# - every .txt in it has CR LF line ends, empty lines too.
# Names everything that breaks this and fails.
#
#     tools/check-windows-package.sh build-windows-x86/profsync-<version>-windows.zip...
set -euo pipefail
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
package_files="profsync.exe README.txt LICENSE.txt example/kyro.txt"

failed=0
fail() {
    echo "check-windows-package: $package: $*"
    failed=1
}

# Checks one package; says what is wrong with it, or what it holds.
check() {
    package=$1
    program=$work/profsync.exe
    local failed_before=$failed
    # Exactly what users get: the program, its two texts and the example list.
    local entry held wanted
    held=$(unzip -Z1 "$package" 2>/dev/null | sort)
    wanted=$(printf '%s\n' $package_files | sort)
    for entry in $(comm -23 <(echo "$held") <(echo "$wanted")); do fail "holds $entry, which is none of $package_files"; done
    for entry in $(comm -13 <(echo "$held") <(echo "$wanted")); do fail "lacks $entry"; done
    if ! unzip -p "$package" profsync.exe >"$program" 2>/dev/null || [ ! -s "$program" ]; then
        fail "holds no profsync.exe at its top"
        return
    fi
    if ! "$objdump" -p "$program" >"$work/headers" 2>/dev/null || ! grep -q 'file format pei-i386' "$work/headers"; then
        fail "its profsync.exe is not a 32-bit Windows program"
        return
    fi

    # Imports, as "DLL function" lines: each DLL's functions follow its name, up to a blank line.
    awk '/DLL Name:/ { dll = toupper($3); sub(/\.DLL$/, "", dll); next }
         /^$/ { dll = "" }
         dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ { print dll, $3 }' "$work/headers" >"$work/imports"
    python3 "$tools/delay-imports.py" "$program" >>"$work/imports"
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

    # Each instruction's name, less its prefixes, against what the Pentium II has.
    "$objdump" -d --no-show-raw-insn -M intel "$program" >"$work/code"
    awk -F '\t' 'NF >= 2 && $1 ~ /^ *[0-9a-f]+:$/ {
            n = split($2, word, " ")
            for (i = 1; i < n && word[i] ~ /^(lock|rep|repz|repnz|repe|repne|data16|addr16|cs|ds|es|fs|gs|ss)$/; i++) {}
            print word[i]
         }' "$work/code" | sort | uniq -c >"$work/instructions"
    sed 's/#.*//' "$tools/pentium-ii-instructions.txt" | tr -s ' \n' '\n\n' | grep . >"$work/allowed" || true
    while read -r count name; do
        grep -qxF -- "$name" "$work/allowed" ||
            fail "$count times $name, which the Pentium II lacks, for example: $(grep -m 1 -P "\t\Q$name\E( |$)" "$work/code")"
    done <"$work/instructions"
    registers=$(grep -cE '\b[xyz]mm[0-9]' "$work/code" || true)
    if [ "$registers" -gt 0 ]; then
        fail "$registers instructions use SSE or AVX registers, for example: $(grep -m 1 -E '\b[xyz]mm[0-9]' "$work/code")"
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

    if [ "$failed" -eq "$failed_before" ]; then
        echo "check-windows-package: $package: profsync.exe: $(wc -l <"$work/imports") imports, all in Windows XP," \
            "KERNEL32's in Windows 95 too; subsystem $major.$minor; $(awk '{ n += $1 } END { print n }' \
            "$work/instructions") instructions, all the Pentium II's; $(stat -c %s "$program") bytes"
    fi
}

[ $# -gt 0 ] || { echo "usage: check-windows-package.sh ZIP..."; exit 1; }
for zip in "$@"; do
    check "$zip"
done
if [ "$failed" -ne 0 ]; then
    echo "check-windows-package: not the package that loads and runs on Windows 98 to XP"
    exit 1
fi
