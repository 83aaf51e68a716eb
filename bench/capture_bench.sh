#!/bin/bash
# capture_bench.sh [files] [version]: the time of a capture under Wine of a
# machine with `files` (default 3000) more files in its system directory,
# and of loading it natively. Uses build/mingw and build/native.
# capture_bench.sh --load [host]: no Wine; the time of loading generated
# captures of 100,000 records (99,800 files) and of 16,000 profile entries, each
# beside the capture's size, with build/native/kvsup-host (or `host`, for
# example build/asan/kvsup-host).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --load ]; then
  host=${2:-build/native/kvsup-host}
  work=$(mktemp -d "${TMPDIR:-/tmp}/capture-load.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  for shape in "99800 300" "0 16000" "99800 16000"; do
    set -- $shape
    bench/capture_bench_synthetic.py "$work/m.cap" "$1" "$2"
    records=$(tail -1 "$work/m.cap" | cut -d' ' -f2)
    bytes=$(stat -c %s "$work/m.cap")
    started=$(date +%s%N)
    "$host" --from-capture "$work/m.cap" --machine "$work/copy" >/dev/null
    ms=$((($(date +%s%N) - started) / 1000000))
    echo "load: $records records ($1 files, $2 profile entries), $bytes bytes: $ms ms"
    rm -rf "$work/copy"
  done
  exit 0
fi
files=${1:-3000}
version=${2:-winxp}
work=$(mktemp -d "${TMPDIR:-/tmp}/capture-bench.XXXXXX")
trap 'WINEPREFIX=$work/prefix wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
tools/wine-prefix.sh "$version" "$work/prefix" >/dev/null
system=$work/prefix/drive_c/windows/system32
for ((i = 0; i < files; ++i)); do
  dir=$system/bench$((i / 100))
  [ -d "$dir" ] || mkdir -p "$dir"
  echo "file $i" >"$dir/f$i.dll"
done
mkdir -p "$work/prefix/drive_c/kvbench"
cp build/mingw/kvsup-host.exe build/mingw/_KVSUP32.dll "$work/prefix/drive_c/kvbench/"
cd "$work/prefix/drive_c/kvbench"
started=$(date +%s%N)
WINEPREFIX=$work/prefix wine kvsup-host.exe --capture 'C:\kvbench\m.cap'
echo "capture under Wine, host start included: $((($(date +%s%N) - started) / 1000000)) ms"
cd - >/dev/null
started=$(date +%s%N)
build/native/kvsup-host --from-capture "$work/prefix/drive_c/kvbench/m.cap" \
  --machine "$work/copy" | head -3
echo "load: $((($(date +%s%N) - started) / 1000000)) ms"
