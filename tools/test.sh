#!/usr/bin/env bash
# Builds profsync and runs every test. Installs what is missing on a Debian machine.
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

native() {
    need cmake g++ make libgtest-dev googletest python3 valgrind
    echo "== native build and tests"
    cmake --preset native
    cmake --build --preset native -j "$jobs"
    ctest --preset native -j "$jobs"
}

windows() {
    need g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest wine64 python3 unzip
    echo "== Windows x86 build (compiled only: this machine cannot run 32-bit code)"
    cmake --preset windows-x86
    cmake --build --preset windows-x86 -j "$jobs"
    echo "== Windows x64 build, tests under wine64"
    cmake --preset windows-x64 -DPROFSYNC_PACKAGE_ALSO="$PWD/build-windows-x86"
    cmake --build --preset windows-x64 -j "$jobs"
    ctest --preset windows-x64
    echo "== Windows package"
    (cd build-windows-x64 && cpack)
    unzip -l build-windows-x64/profsync-*-windows.zip
}

native
windows
