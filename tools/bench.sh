#!/usr/bin/env bash
# Benchmarks of file staging, each figure measured side by side with its
# reference in the same run (best of $KVSUP_BENCH_RUNS, default 3):
#   1. Xcopy (native release build, real files through the simulated
#      machine's file layer) against `cp -r` of the same selected subtree
#      on a generated medium of 5,000 files in over 500 folders;
#   2. SZDD expansion of a 20 MB compressed file (the machine's expander)
#      against `msexpand`, and against a plain `cp` of the expanded file;
#   3. peak memory of Xcopy on trees 12 levels deep of 1,200 and of 12,000
#      files.
# Not a test: nothing fails on a figure. Needs mscompress for figure 2.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${KVSUP_BENCH_BUILD:-$root/build/bench}
runs=${KVSUP_BENCH_RUNS:-3}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target bench_xcopy bench_szdd >"$build/bench-build.log" 2>&1 ||
  { cat "$build/bench-build.log"; exit 1; }
xc=$build/bench/bench_xcopy
sz=$build/bench/bench_szdd

work=$(mktemp -d "$build/bench-work.XXXXXX")
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
# Wall time of a command, in seconds.
timed() {
  local s e
  s=$(now)
  "$@" >/dev/null
  e=$(now)
  echo "$e - $s" | bc -l
}
min() { printf '%s\n' "$@" | sort -g | head -n1; }
ratio() { printf '%.3g' "$(echo "$1 / $2" | bc -l)"; }

echo "== Xcopy against cp -r =="
machine=$work/xcopy
"$xc" medium "$machine" 10 10 5 10
drive=$machine/drive_c
xs=() cs=()
for _ in $(seq "$runs"); do
  rm -rf "$drive/DEST"
  xs+=("$(timed "$xc" run "$machine")")
  rm -rf "$work/cp" && mkdir -p "$work/cp/E"
  cs+=("$(timed cp -r "$drive/MEDIUM/E/"a* "$work/cp/E/")")
done
# Both copies must hold the same files.
diff -r "$drive/DEST/A/B/E" "$work/cp/E" >/dev/null && same=yes || same=NO
x=$(min "${xs[@]}"); c=$(min "${cs[@]}")
echo "xcopy ${x}s  cp -r ${c}s  ratio $(ratio "$x" "$c")x (target <= 1.25)  same tree: $same"

echo "== SZDD expansion against msexpand and cp =="
if command -v mscompress >/dev/null && command -v msexpand >/dev/null; then
  data=$work/data.bin
  "$sz" data "$data" 52000000
  mscompress "$data"
  packed=$data"_"
  echo "compressed $(stat -c %s "$packed") bytes, expanded $(stat -c %s "$data") bytes"
  es=() ms=() ps=()
  for _ in $(seq "$runs"); do
    es+=("$(timed "$sz" expand "$packed" "$work/ours.out")")
    ms+=("$(timed sh -c 'msexpand < "$1" > "$2"' sh "$packed" "$work/msexpand.out")")
    ps+=("$(timed cp "$data" "$work/cp.out")")
    rm -f "$work/cp.out"
  done
  cmp -s "$work/ours.out" "$data" && same=yes || same=NO
  e=$(min "${es[@]}"); m=$(min "${ms[@]}"); p=$(min "${ps[@]}")
  echo "expander ${e}s  msexpand ${m}s  ratio $(ratio "$e" "$m")x (target <= 1.0)  byte-exact: $same"
  echo "expander ${e}s  cp ${p}s  ratio $(ratio "$e" "$p")x (target within 3)"
else
  echo "skipped: mscompress/msexpand not installed"
fi

echo "== Xcopy peak memory, 12 levels deep =="
# "walk-only": the machine drops the in-memory attribute record it keeps for
# each file written (simulated disk metadata); without it that record is
# counted too.
peak() { "$xc" run "$1" ${2:-} | sed 's/.*maxrss_kb=//'; }
for n in 20 200; do
  "$xc" chains "$work/chains$n" "$n" | tr '\n' ' '
  rm -rf "$work/chains$n/drive_c/DEST"
  w=$(peak "$work/chains$n" walk-only)
  rm -rf "$work/chains$n/drive_c/DEST"
  a=$(peak "$work/chains$n")
  echo "peak walk-only ${w} KB, with the disk records ${a} KB"
  eval "walk$n=$w all$n=$a"
done
echo "peak memory 10x the files / 1x: walk-only $(ratio "$walk200" "$walk20")x, with disk records $(ratio "$all200" "$all20")x (flat is 1.00)"
