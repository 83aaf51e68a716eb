#!/usr/bin/env bash
# Sets up a fresh Debian machine and runs every test: the native suites on the
# simulated machine under AddressSanitizer and UndefinedBehaviorSanitizer, the
# DLL table check, the Wine suites against the cross-built _KVSUP32.dll, and
# the timer thread's create/arm/destroy cycles under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

started=$SECONDS
stages=()
# stage NAME: notes how long the stage that just ended took.
stage() {
  stages+=("$(printf '%-28s %4d s' "$1" $((SECONDS - started)))")
  started=$SECONDS
}
trap 'printf "%s\n" "test.sh: elapsed per stage" "${stages[@]}"' EXIT

tools/setup.sh
stage "set-up"

jobs=$(nproc 2>/dev/null || echo 2)
# Warnings are errors here, so none can land.
cmake --preset mingw -DKVSUP_WERROR=ON >/dev/null
cmake --build --preset mingw -j"$jobs"
stage "mingw build"
cmake --preset asan -DKVSUP_WERROR=ON -DKVSUP_MINGW_DIR="$PWD/build/mingw" >/dev/null
cmake --build --preset asan -j"$jobs"
stage "asan build"
ctest --preset asan -j"$jobs" "$@"
stage "native and Wine tests"

# Only the timer's program is built under ThreadSanitizer: the timer thread is
# the one place where two threads share state.
cmake --preset tsan -DKVSUP_WERROR=ON >/dev/null
cmake --build --preset tsan -j"$jobs" --target test_dialog
ctest --preset tsan -L tsan "$@"
stage "tsan build and test"
