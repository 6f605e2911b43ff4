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
    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
    cmake --build build -j "$jobs"
    ctest --test-dir build --output-on-failure -j "$jobs"
}

native
