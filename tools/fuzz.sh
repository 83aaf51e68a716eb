#!/bin/bash
# fuzz.sh [seconds]: builds the libFuzzer targets of fuzz/ with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer and runs each for
# `seconds` (default 60). A crash input is left in fuzz/crashes/<target>/;
# commit it under fuzz/regressions/<target>/ (with the fix) so CTest
# replays it. The targets of the host's file formats (capture, snapshot,
# machine folder state files, script) start from the real files of
# fuzz/seeds/<target>/. Not part of CI. Build folder: $KVSUP_FUZZ_BUILD
# (default build/fuzz of the source tree).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${KVSUP_FUZZ_BUILD:-$here/build/fuzz}

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DKVSUP_SANITIZE="address;undefined" -DKVSUP_FUZZ=ON >/dev/null
targets=$(sed -n 's/^set(KVSUP_FUZZ_\(FORMAT_\)\{0,1\}TARGETS \(.*\))$/\2/p' "$here/fuzz/CMakeLists.txt")
for t in $targets; do
  cmake --build "$build" -j2 --target "fuzz_$t" >/dev/null
done

status=0
for t in $targets; do
  corpus="$build/fuzz/corpus/$t"
  crashes="$here/fuzz/crashes/$t"
  mkdir -p "$corpus" "$crashes"
  max_len=4096
  if [ -d "$here/fuzz/seeds/$t" ]; then
    cp -n "$here/fuzz/seeds/$t"/* "$corpus"/
    max_len=65536
  fi
  echo "== fuzz_$t: ${seconds}s"
  if ! "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len=$max_len \
       -artifact_prefix="$crashes/" -print_final_stats=1 "$corpus" \
       2>"$build/fuzz/$t.log"; then
    echo "   CRASH: see $build/fuzz/$t.log and $crashes/"
    status=1
  fi
  grep -E "stat::number_of_executed_units|Done" "$build/fuzz/$t.log" | sed 's/^/   /' || true
done
exit $status
