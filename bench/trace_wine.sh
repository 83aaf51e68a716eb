#!/bin/bash
# trace_wine.sh [mingw-dir] [runs]
# What the call trace (KVSUP_TRACE_CALLS) costs the real DLL under Wine at
# Windows XP: Xcopy of a large tree and the sample registration, each run
# with the variable unset, naming a file that cannot be opened, and naming
# a file; wall time per run of kvsup-host.exe, less that of a script with
# one trivial call (Wine's start-up). Prints the median of `runs` rounds
# (default 3), the three modes taking turns in each, and the trace's size.
# A benchmark, not a test: nothing fails.
set -uo pipefail
if [ -z "${KVSUP_TRACE_BENCH_X:-}" ]; then  # one X display for every run
  KVSUP_TRACE_BENCH_X=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/.." && pwd)
mingw=${1:-$src/build/mingw}
runs=${2:-3}
for f in "$mingw/kvsup-host.exe" "$mingw/_KVSUP32.dll"; do
  [ -f "$f" ] || { echo "no $f: build the mingw preset first" >&2; exit 2; }
done
monitor=$(find "$mingw" -name kvtstmon.dll -print -quit)

work=$(mktemp -d /tmp/kvsup-trace-bench.XXXXXX)
trap 'rm -rf "$work" "$work.lock" "$work.boot.log"' EXIT
prefix=$work/prefix
"$src/tools/wine-prefix.sh" winxp "$prefix" >/dev/null || exit 1
job=$prefix/drive_c/kvjob
mkdir -p "$job"
cp "$mingw/kvsup-host.exe" "$mingw/_KVSUP32.dll" "$monitor" "$job/"
cp -r "$src/examples" "$job/examples"

# The tree: C:\kvjob\MEDIUM\E with 8 x 8 x 8 folders of 6 files (3072
# files, 0.5 to 8 KiB), copied whole by the LNKSCAN installer type.
python3 - "$job/MEDIUM/E" <<'EOF'
import os, sys
root = sys.argv[1]
n = 0
for a in range(8):
    for b in range(8):
        for c in range(8):
            d = os.path.join(root, f"a{a}", f"b{b}", f"c{c}")
            os.makedirs(d)
            for f in range(6):
                with open(os.path.join(d, f"file{f}.dat"), "wb") as out:
                    out.write(bytes((97 + (n * 31 + i * 7) % 26) for i in range(512 + (n * 977) % 7680)))
                n += 1
EOF
printf 'IsWinMe()\n' >"$job/idle.kvs"
# Xcopy copies below a destination of three backslashes (level 0).
printf '%s\n' 'WinSub_CreateDirectory("C:\\kvjob\\DEST")' \
  'WinSub_CreateDirectory("C:\\kvjob\\DEST\\A")' \
  'Xcopy("C:\\kvjob\\MEDIUM", "C:\\kvjob\\DEST\\A", "E", "LNKSCAN")' \
  >"$job/xcopy.kvs"

export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# One wine server for every run, ended with the benchmark.
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null; [ -n "${KVSUP_TRACE_BENCH_KEEP:-}" ] || rm -rf "$work" "$work.lock" "$work.boot.log"' EXIT

# run <mode> <script>: seconds of one run; `mode` is unset, bad or file.
run() {
  local mode=$1 script=$2 start end
  rm -f "$job/trace.txt"
  case $mode in
    unset) unset KVSUP_TRACE_CALLS ;;
    bad) export KVSUP_TRACE_CALLS='C:\no\such\folder\trace.txt' ;;
    file) export KVSUP_TRACE_CALLS='C:\kvjob\trace.txt' ;;
  esac
  start=$(date +%s.%N)
  (cd "$job" && wine kvsup-host.exe --answer-boxes \
    --copy-in 'C:\kvjob\kvtstmon.dll=%SYSDIR%\kvtstmon.dll' "$script") \
    >"$work/out.txt" 2>&1
  end=$(date +%s.%N)
  unset KVSUP_TRACE_CALLS
  awk -v a="$start" -v b="$end" 'BEGIN {printf "%.3f\n", b - a}'
}
less_idle() { awk -v a="$1" -v b="$idle" 'BEGIN {printf "%.3f\n", a - b}'; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# Preparation per kind of run: the copy's destination emptied; the printer
# removed again after each registration (removal untraced).
prepare() {
  case $1 in
    xcopy) rm -rf "$job/DEST" ;;
    register) (cd "$job" && wine kvsup-host.exe --answer-boxes \
      'examples\remove-printer.kvs') >/dev/null 2>&1 ;;
  esac
}

run unset idle.kvs >/dev/null  # warms Wine up
idle=$(for i in $(seq "$runs"); do run unset idle.kvs; done | median)
printf 'Wine start-up (one trivial call): %.3f s, subtracted below\n' "$idle"
printf '%-14s %10s %10s %10s %12s\n' "" "unset" "bad file" "traced" "trace size"
for kind in xcopy register; do
  script=$kind.kvs
  [ "$kind" = register ] && script='examples\register-printer.kvs'
  # The modes take turns within each round, so that a change in the
  # machine's load falls on all three alike.
  declare -A t=([unset]="" [bad]="" [file]="")
  for i in $(seq "$runs"); do
    for mode in unset bad file; do
      prepare "$kind"
      t[$mode]+="$(run "$mode" "$script") "
      if ! tr -d '\r' <"$work/out.txt" | grep -qE '^(Xcopy|ToRegPrinter)\(.*\) = 1$'; then
        echo "warning: $kind ($mode) did not succeed" >&2
      fi
    done
  done
  for mode in unset bad file; do
    t[$mode]=$(tr ' ' '\n' <<<"${t[$mode]}" | grep . | median)
  done
  size=$(stat -c %s "$job/trace.txt" 2>/dev/null || echo 0)
  lines=$(wc -l <"$job/trace.txt" 2>/dev/null || echo 0)
  printf '%-14s %9.3fs %9.3fs %9.3fs %7d lines, %d bytes\n' "$kind" \
    "$(less_idle "${t[unset]}")" "$(less_idle "${t[bad]}")" \
    "$(less_idle "${t[file]}")" "$lines" "$size"
done
