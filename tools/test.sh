#!/usr/bin/env bash
# Builds profsync and runs every test: the bundled example, the sources'
# layout, native, Windows under wine64, under the sanitizers, the fuzz
# target, and the packaged 32-bit program under 32-bit Wine on an emulated
# Pentium II. Installs what is
# missing on a Debian machine. Steps can be named to run only those:
#     tools/test.sh native fuzz
#     tools/test.sh example      builds only the program and runs it on example/kyro.txt
set -euo pipefail
cd "$(dirname "$0")/.."

need() {
    local missing=()
    for package in "$@"; do
        dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "== installing ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo=sudo
        $sudo apt-get update -q
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
    fi
}

jobs=$(nproc 2>/dev/null || echo 2)
werror=-DCMAKE_COMPILE_WARNING_AS_ERROR=ON  # CI's builds

example() {
    need cmake g++ make
    echo "== the program on the bundled example (there is no regedit.exe here: /e keeps the file)"
    cmake --preset native $werror
    cmake --build --preset native --target profsync -j "$jobs"
    (cd example && WINEPREFIX="$PWD/wine" ../build/profsync /e </dev/null && cat profsync.reg)
}

# The sources follow .clang-format (Debian 12's clang-format 14): a step of
# its own, so that a change that only breaks the layout fails here and
# nowhere else.
format() {
    need clang-format
    echo "== every C++ source as .clang-format lays it out"
    git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
    echo "-- $(git ls-files -- '*.cpp' '*.h' | wc -l) files"
}

native() {
    need cmake g++ make python3
    echo "== native build and tests"
    cmake --preset native $werror
    cmake --build --preset native -j "$jobs"
    ctest --preset native -j "$jobs"
}

# The users' package, made and checked once for the steps that need it: built
# twice from scratch (no flags cached from an earlier run), in two folders a
# while apart, and the two must be the same bytes.
package_zip=
package() {
    [ -z "$package_zip" ] || return 0
    need cmake g++-mingw-w64-i686-win32 unzip python3
    echo "== Windows x86 build and package, twice from scratch, compared and checked"
    local folder zips=()
    for folder in build-windows-x86 build-windows-x86-again; do
        rm -rf "$folder"
        cmake --preset windows-x86 -B "$folder" $werror >/dev/null
        cmake --build "$folder" --target windows-package -j "$jobs"
        zips+=("$(ls "$folder"/profsync-*-windows.zip)")
        sleep 1
    done
    python3 tools/compare-packages.py "${zips[@]}"
    package_zip=${zips[0]}
    unzip -l "$package_zip"
    bash tools/check-windows-package.sh "$package_zip"
    echo "-- $(sha256sum "$package_zip"); profsync.exe: $(unzip -p "$package_zip" profsync.exe | wc -c) bytes"
}

windows() {
    need g++-mingw-w64-x86-64-win32 wine64 python3 locales
    package
    echo "== Windows x64 build of the same sources, tests under wine64"
    cmake --preset windows-x64 $werror
    cmake --build --preset windows-x64 -j "$jobs"
    ctest --preset windows-x64
}

sanitized() {
    need cmake g++ make python3
    echo "== native tests under AddressSanitizer and UndefinedBehaviorSanitizer"
    cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DPROFSYNC_SANITIZE=ON $werror
    cmake --build build-sanitize -j "$jobs"
    ctest --test-dir build-sanitize --output-on-failure --no-tests=error -j "$jobs"
}

fuzz() {
    need clang libclang-rt-14-dev
    echo "== fuzz target: past findings and seeds, then ${FUZZ_SECONDS:-60} s of fuzzing"
    CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPROFSYNC_FUZZ=ON $werror
    cmake --build build-fuzz -j "$jobs"
    ctest --test-dir build-fuzz --output-on-failure --no-tests=error
    mkdir -p build-fuzz/corpus-translate
    # Inputs up to 4 KB: a seed over it (a name longer than the registry holds)
    # is replayed whole above, and would make every run three times slower.
    if build-fuzz/fuzz/translate_fuzz -max_total_time="${FUZZ_SECONDS:-60}" -max_len=4096 -print_final_stats=1 \
        -artifact_prefix=build-fuzz/translate- build-fuzz/corpus-translate fuzz/corpus/translate \
        fuzz/regressions/translate >build-fuzz/translate.log 2>&1; then
        echo "-- translate: $(grep -E '^stat::(number_of_executed_units|new_units_added)' build-fuzz/translate.log | tr '\n' ' ')"
    else
        echo "-- translate: FINDING (input saved as build-fuzz/translate-*)"
        tail -n 60 build-fuzz/translate.log
        return 1
    fi
}

# The 32-bit program as users get it; the emulated PC's disk is kept between
# runs (tools/x86-pc.sh says where).
pc() {
    need qemu-system-x86 mmdebstrap e2fsprogs cpio
    package
    echo "== the packaged 32-bit program through every case, under 32-bit Wine on an emulated Pentium II"
    bash tools/x86-pc.sh "$package_zip" tests/cases/*
}

# Every step by default; name steps to run only those.
for step in "${@:-example format native windows sanitized fuzz pc}"; do
    for name in $step; do
        "$name"
    done
done
