#!/bin/bash
# host_trace_check.sh <version> <kvsup-host.exe> <native kvsup-host> <script>
# The Windows host's --trace under Wine against the native host's --trace on
# the simulated machine, for one installation script at one Windows version:
# the calls the real DLL makes, by name and in order, are those the
# simulated machine records (apart from the known differences below), the
# script's results are the untraced ones, and a failing call shows its
# error. The Wine run gets a prefix of its own, made fresh and removed
# afterwards, so that the script meets the same empty machine as the
# simulated one. Exit 77 (skipped) when Wine or a build is missing.
set -uo pipefail

[ $# -eq 4 ] || { echo "usage: $0 <version> <exe> <native-host> <script>" >&2; exit 2; }
version=$1
win_host=$2
native_host=$3
script=$4
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)

for tool in wine wineserver xvfb-run; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
for f in "$win_host" "$native_host"; do
  [ -f "$f" ] || { echo "SKIP: $f has not been built"; exit 77; }
done
mingw_dir=$(dirname "$win_host")
monitor=$(find "$mingw_dir" -name kvtstmon.dll -print -quit)
[ -n "$monitor" ] || { echo "SKIP: kvtstmon.dll has not been built"; exit 77; }

# Where the two machines differ, one side's stretch of calls is read as the
# other's: "side: calls -> calls", then the reason. Everything else must match.
known_differences() {
  cat <<'EOF_KNOWN'
wine: ControlService QueryServiceStatus StartServiceA Sleep ControlService QueryServiceStatus -> ControlService QueryServiceStatus
  Wine's spooler is not running in a fresh prefix: stopping it fails
  (ERROR_SERVICE_NOT_ACTIVE), so the restart starts it, waits and stops it
  again; the simulated spooler runs from the start.
sim: DocumentPropertiesA DocumentPropertiesA -> DocumentPropertiesA
  The sample driver is no loadable printer driver: Wine's
  DocumentPropertiesA fails its size query (ERROR_BAD_EXE_FORMAT) and the
  library skips the second call; the simulated spooler answers both.
EOF_KNOWN
}

root=${KVSUP_WINE_ROOT:-$src/build/wine}
mkdir -p "$root"
work=$(mktemp -d "$root/trace-$version.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
"$src/tools/wine-prefix.sh" "$version" "$prefix" >"$work/prefix.log" 2>&1 || {
  cat "$work/prefix.log"
  exit 1
}
job=$prefix/drive_c/kvjob
mkdir -p "$job"
cp "$win_host" "$mingw_dir/_KVSUP32.dll" "$monitor" "$job/"
cp -r "$(dirname "$script")" "$job/examples"
name=$(basename "$script")

export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
(cd "$job" && timeout 240 xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  wineserver -p0 </dev/null >/dev/null 2>&1
  wine "$@"
  rc=$?
  wineserver -w
  exit $rc
' trace kvsup-host.exe --answer-boxes --trace \
  --copy-in "C:\\kvjob\\kvtstmon.dll=%SYSDIR%\\kvtstmon.dll" \
  "examples\\$name") 2>&1 | tr -d '\r' >"$work/wine.log"
wine_rc=${PIPESTATUS[0]}
"$native_host" --os "$version" --trace --print-boxes \
  --copy-in "$monitor=%SYSDIR%\\kvtstmon.dll" "$script" >"$work/sim.log" 2>&1
sim_rc=$?

fail=0
check() {  # check <what> <command...>
  local what=$1
  shift
  "$@" || { echo "FAIL: $what"; fail=1; }
}
check "the Windows host ran every line (exit code $wine_rc)" [ "$wine_rc" -eq 0 ]
check "the native host ran every line (exit code $sim_rc)" [ "$sim_rc" -eq 0 ]

# Results: every export line of the traced Wine run says what the native
# run says (the trace lines themselves start with "  |").
results() { grep -E '^[A-Za-z_0-9]+\(.*\) = ' "$1"; }
check "the export results differ from the simulated machine's" \
  diff <(results "$work/sim.log") <(results "$work/wine.log")
check "the trace names the export" grep -q '^  | == ToRegPrinter$' "$work/wine.log"
check "a failed call shows its error (no such service)" \
  grep -qE '^  \| OpenServiceA\(0x[0-9A-F]+, "kvlpt", 0xF01FF\) = NULL  error 1060$' \
  "$work/wine.log"

# The call names in order, the known differences read as the other side's.
calls() { sed -nE 's/^  \| ([A-Za-z_][A-Za-z_0-9]*)\(.*/\1/p' "$1"; }
calls "$work/sim.log" >"$work/sim.calls"
calls "$work/wine.log" >"$work/wine.calls"
while read -r side from; do
  case "$side" in sim: | wine:) ;; *) continue ;; esac
  to=${from#*-> }
  from=${from%% ->*}
  FROM=$(tr ' ' '\n' <<<"$from") TO=$(tr ' ' '\n' <<<"$to") \
    perl -0pi -e 's/(^|\n)\Q$ENV{FROM}\E(?=\n)/$1$ENV{TO}/g' \
    "$work/${side%:}.calls"
done < <(known_differences)
check "the simulated machine recorded calls" [ -s "$work/sim.calls" ]
check "the traced calls differ from the simulated machine's (< simulated, > Wine)" \
  diff "$work/sim.calls" "$work/wine.calls"

if [ "$fail" -ne 0 ]; then
  echo "--- Wine run"
  cat "$work/wine.log"
  echo "--- simulated run"
  cat "$work/sim.log"
  exit 1
fi
echo "$(wc -l <"$work/wine.calls") calls match at $version"
