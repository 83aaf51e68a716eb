#!/usr/bin/env bash
# Sets up a fresh Debian machine and runs every test: the native suites on the
# simulated machine under AddressSanitizer and UndefinedBehaviorSanitizer, the
# DLL table check, and the Wine suites against the cross-built _KVSUP32.dll.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j"$jobs"
cmake --preset asan -DKVSUP_MINGW_DIR="$PWD/build/mingw" >/dev/null
cmake --build --preset asan -j"$jobs"
ctest --preset asan -j"$jobs" "$@"
