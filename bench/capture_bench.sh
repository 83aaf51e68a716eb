#!/bin/bash
# capture_bench.sh [files] [version]: the time of a capture under Wine of a
# machine with `files` (default 3000) more files in its system directory,
# and of loading it natively. Uses build/mingw and build/native.
set -euo pipefail
cd "$(dirname "$0")/.."
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
