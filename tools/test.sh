#!/usr/bin/env bash
# Sets up a fresh Debian machine and runs every test: the native suites on the
# simulated machine under AddressSanitizer and UndefinedBehaviorSanitizer, the
# DLL table check, the Wine suites against the cross-built _KVSUP32.dll, and
# the timer thread's create/arm/destroy cycles under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
# Warnings are errors here, so none can land.
cmake --preset mingw -DKVSUP_WERROR=ON >/dev/null
cmake --build --preset mingw -j"$jobs"
cmake --preset asan -DKVSUP_WERROR=ON -DKVSUP_MINGW_DIR="$PWD/build/mingw" >/dev/null
cmake --build --preset asan -j"$jobs"
ctest --preset asan -j"$jobs" "$@"

# Only the timer's program is built under ThreadSanitizer: the timer thread is
# the one place where two threads share state.
cmake --preset tsan -DKVSUP_WERROR=ON >/dev/null
cmake --build --preset tsan -j"$jobs" --target test_dialog
ctest --preset tsan -L tsan "$@"
