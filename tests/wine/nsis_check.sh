#!/bin/bash
# nsis_check.sh [--prefix DIR] [--compare] <version> <kvsetup.exe> <kvsup-host.exe> <native kvsup-host>
# The example NSIS installer (examples/nsis) under Wine at one Windows
# version, run by the Windows host's !run so that the box watcher answers
# its boxes: a snapshot, the silent installation, the silent uninstallation
# (the uninstaller copied out and run with _?=, as NSIS documents, the
# reboot question answered No), the next start and a last snapshot. It
# passes when both ran to the end with exit code 0, the printer was made,
# the question was asked, and the leftover report finds nothing unknown.
#
# --compare also makes the same calls with kvsup-host on a second fresh
# machine and holds the two callers to the same results and the same
# machine after the installation and after the removal (snapshots without
# file times). Then, on the NSIS machine, the bad input: a medium without
# the monitor library and a printer name the library refuses each stop the
# installer with exit code 2 and the error's box; the uninstaller takes the
# failed installation away; run again, it changes nothing.
#
# Without --prefix the machines are copies of a prefix made for the run;
# --prefix DIR runs the round trip in DIR itself (made when missing, kept).
# Exit 77 (skipped) when Wine or a build is missing.
set -uo pipefail

given_prefix=
compare=0
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) given_prefix=${2:-}; shift 2 ;;
    --compare) compare=1; shift ;;
    *) break ;;
  esac
done
[ $# -eq 4 ] || {
  echo "usage: $0 [--prefix DIR] [--compare] <version> <kvsetup.exe> <kvsup-host.exe> <native-host>" >&2
  exit 2
}
version=$1
setup=$2
win_host=$3
native_host=$4
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)

for tool in wine wineserver xvfb-run; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
for f in "$setup" "$win_host" "$(dirname "$win_host")/_KVSUP32.dll" "$native_host"; do
  [ -f "$f" ] || { echo "SKIP: $f has not been built"; exit 77; }
done
monitor=$(find "$(dirname "$win_host")" -name kvtstmon.dll -print -quit)
[ -n "$monitor" ] || { echo "SKIP: kvtstmon.dll has not been built"; exit 77; }

root=${KVSUP_WINE_ROOT:-$src/build/wine}
mkdir -p "$root"
work=$(mktemp -d "$root/nsis-$version.XXXXXX") || exit 1
[ -n "${KVSUP_NSIS_KEEP:-}" ] || trap 'rm -rf "$work"' EXIT
started=$SECONDS
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

template=${given_prefix:-$work/template}
"$src/tools/wine-prefix.sh" "$version" "$template" >"$work/prefix.log" 2>&1 || {
  cat "$work/prefix.log"
  exit 1
}

problems=()
problem() { problems+=("$*"); }

# A machine's job folder C:\kvnsis: the host, the library, the installer, a
# medium for the host's calls and one without the monitor library, the scripts.
# The uninstaller is copied out of the installation folder and run with
# _?=, so that it can delete that folder and its exit code can be waited
# for.
instdir='C:\Program Files\KORVA\KV-100'
# Script lines naming Windows paths, each backslash escaped as scripts want.
esc() { printf '%s' "$1" | sed 's/\\/\\\\/g'; }
run_line() { printf '!run "%s"\n' "$(esc "$1")"; }
prepare_job() {
  local job=$1/drive_c/kvnsis
  rm -rf "$job"
  mkdir -p "$job/medium" "$job/nomonitor"
  cp "$win_host" "$(dirname "$win_host")/_KVSUP32.dll" "$setup" "$job/"
  cp -r "$src/examples/medium/kv.sii" "$src/examples/medium/drivers" \
    "$src/examples/medium/kvdrv" "$job/medium/"
  cp "$monitor" "$job/medium/kvtstmon.dll"
  cp -r "$job/medium/." "$job/nomonitor/"
  rm -f "$job/nomonitor/kvtstmon.dll"
  local exe="C:\kvnsis\\$(basename "$setup")" log
  run_line "$exe /LOG=C:\kvnsis\install.log /S" >"$job/nsis-install.kvs"
  run_line "$exe /LOG=C:\kvnsis\nomonitor.log /MEDIUM=C:\kvnsis\nomonitor /S" \
    >"$job/nsis-nomonitor.kvs"
  run_line "$exe /LOG=C:\kvnsis\badname.log /PRINTER=bad\name /S" >"$job/nsis-badname.kvs"
  for log in uninstall badremove; do
    {
      printf '!copy "%s" "%s"\n' "$(esc "$instdir\uninst.exe")" "$(esc 'C:\kvnsis\uninst.exe')"
      run_line "C:\kvnsis\uninst.exe /LOG=C:\kvnsis\\$log.log /S _?=$instdir"
      echo '!restart'
    } >"$job/nsis-$log.kvs"
  done
  run_line "C:\kvnsis\uninst.exe /LOG=C:\kvnsis\again.log /S _?=$instdir" >"$job/nsis-again.kvs"
  cp "$src/examples/remove-printer.kvs" "$job/"
}

# Runs host invocations on a machine in one session of its server: each
# argument is "name|host arguments"; the output (carriage returns dropped)
# goes to <name>.out, the exit code to <name>.rc.
session() {
  local machine=$1
  shift
  (cd "$machine/drive_c/kvnsis" && WINEPREFIX=$machine timeout 280 \
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    wineserver -p0 </dev/null >/dev/null 2>&1
    for step in "$@"; do
      name=${step%%|*}
      read -r -a args <<<"${step#*|}"
      wine kvsup-host.exe "${args[@]}" 2>&1 | tr -d "\r" >"$name.out"
      echo "${PIPESTATUS[0]}" >"$name.rc"
    done
    wineserver -w
  ' nsis "$@") >"$work/session.log" 2>&1
}

# What a caller saw: "Export = result" and "  buf = ..." lines, from the
# installer's log or the host's output.
results() {
  tr -d '\r' <"$1" | sed -E -e 's/^([A-Za-z_0-9]+)\(.*\) = (-?[0-9]+)$/\1 = \2/' \
    -e 's/^  buf#[0-9]+ = /  buf = /' | grep -E '^([A-Za-z_0-9]+ = -?[0-9]+|  buf = .*)$'
}
# A snapshot without file times (two machines made at other moments) and
# without the driver date Wine writes anew into its own printer class
# device at each start of its server.
timeless() {
  sed -E 's/ time [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:.]+$//' "$1" | grep -v '" "DriverDateData" = '
}
rc_of() { cat "$1.rc" 2>/dev/null || echo "none (it did not finish)"; }
expect_rc() {  # expect_rc <dir/name> <code> <what>
  local rc
  rc=$(rc_of "$1")
  [ "$rc" = "$2" ] || problem "$3: exit code $rc, not $2"
  [ -z "$4" ] || grep -q "^  exit code $4\$" "$1.out" 2>/dev/null ||
    problem "$3: the program's exit code is not $4 ($(grep -m1 '^  exit code' "$1.out" 2>/dev/null))"
}
# The leftover report's differences that are no known item.
unknown_differences() {
  awk '/^      known: /{skip=1} {if (NR > 1 && !skip && prev ~ /^  [^ ]/) print "    " prev;
    if (!/^      known: /) skip=0; prev=$0}
    END {if (prev ~ /^  [^ ]/) print "    " prev}' "$1"
}
leftovers_clean() {  # leftovers_clean <before> <after> <what>
  "$native_host" --leftovers "$1" "$2" >"$work/leftovers.log" 2>&1 ||
    problem "$3: the leftover report finds:"$'\n'"$(unknown_differences "$work/leftovers.log" | head -20)"
}

# The NSIS machine.
nsis_machine=${given_prefix:-$work/nsis}
[ -n "$given_prefix" ] || cp -a "$template" "$nsis_machine"
prepare_job "$nsis_machine"
job=$nsis_machine/drive_c/kvnsis
steps=(
  "before|--snapshot C:\\kvnsis\\before.snap"
  "install|--answer-boxes --snapshot C:\\kvnsis\\installed.snap nsis-install.kvs"
  "remove|--answer-boxes --snapshot C:\\kvnsis\\after.snap nsis-uninstall.kvs"
)
[ $compare = 1 ] && steps+=(
  "nomonitor|--answer-boxes nsis-nomonitor.kvs"
  "badname|--answer-boxes nsis-badname.kvs"
  "badremove|--answer-boxes --snapshot C:\\kvnsis\\badremoved.snap nsis-badremove.kvs"
  "twice|--answer-boxes --snapshot C:\\kvnsis\\twice.snap nsis-again.kvs"
)
session "$nsis_machine" "${steps[@]}"
expect_rc "$job/install" 0 "the silent installation" 0
results "$job/install.log" 2>/dev/null | grep -qx 'ToRegPrinter = 1' ||
  problem "the installer did not make the printer: $(tr -d '\r' <"$job/install.log" 2>/dev/null | tail -2 | tr '\n' ' ')"
expect_rc "$job/remove" 0 "the silent uninstallation" 0
grep -q '^  box "Confirm": .* -> pressed 7$' "$job/remove.out" ||
  problem "the uninstaller asked no reboot question"
grep -qx '!restart' "$job/remove.out" || problem "the removal did not run to the restart"
leftovers_clean "$job/before.snap" "$job/after.snap" "after the NSIS round trip"

if [ $compare = 1 ]; then
  # The same calls by kvsup-host on a fresh machine, the files where the
  # installer puts them.
  host_machine=$work/host
  cp -a "$template" "$host_machine"
  prepare_job "$host_machine"
  hjob=$host_machine/drive_c/kvnsis
  case "$version" in
    win95 | win98 | winme) drivers='%SYSDIR%' ;;
    *) drivers='%SYSDIR%\spool\drivers\w32x86' ;;
  esac
  m='C:\kvnsis\medium'
  {
    printf '!copy "%s" "%s"\n' 'medium/kvtstmon.dll' "$(esc '%SYSDIR%\kvtstmon.dll')" \
      'medium/drivers' "$(esc "$drivers")" 'medium/kvdrv' "$(esc '%SYSDIR%\KVDRV')" \
      'medium/kv.sii' "$(esc '%WINDIR%\vt3eins.sii')"
    printf '%s\n' 'IsWinMe()' 'CheckPC98()' 'GetCode98orAT()' \
      "InstallPrinterMonitor(\"$(esc "$m\kv.sii")\")" 'DepInit()' 'MakeDep("kvres.dll=1")' \
      'GetPrinterDriverName("KORVA KV-100", "LPT1:", buf(128))' \
      "ToRegPrinter(\"LPT1:\", \"KV-100\", 1, \"$(esc "$m")\", \"KORVA KV-100\", 0, \"$(esc "$m\kv.sii")\")"
  } >"$hjob/host-install.kvs"
  session "$host_machine" \
    "install|--answer-boxes --snapshot C:\\kvnsis\\installed.snap host-install.kvs" \
    "remove|--answer-boxes --snapshot C:\\kvnsis\\after.snap remove-printer.kvs"
  expect_rc "$hjob/install" 0 "kvsup-host's installation" ""
  diff <(results "$job/install.log") <(results "$hjob/install.out") >"$work/diff" ||
    problem "the installer and kvsup-host saw other results (< installer, > host):"$'\n'"$(cat "$work/diff")"
  diff <(results "$job/uninstall.log") <(results "$hjob/remove.out") >"$work/diff" ||
    problem "the uninstaller and kvsup-host saw other results (< uninstaller, > host):"$'\n'"$(cat "$work/diff")"
  diff <(grep '^  box ' "$job/remove.out") <(grep '^  box ' "$hjob/remove.out") >"$work/diff" ||
    problem "the removal's boxes differ (< uninstaller, > host):"$'\n'"$(cat "$work/diff")"
  for snap in installed after; do
    diff <(timeless "$job/$snap.snap") <(timeless "$hjob/$snap.snap") >"$work/diff" ||
      problem "the machines differ $snap (< NSIS, > host):"$'\n'"$(head -20 "$work/diff")"
  done

  # Bad input on the NSIS machine.
  expect_rc "$job/nomonitor" 0 "the installation from a medium without the monitor library" 2
  grep -q '^  box "KORVA Setup": "Err:[1-9][0-9]* \[' "$job/nomonitor.out" ||
    problem "no error box for the medium without the monitor library"
  expect_rc "$job/badname" 0 "the installation with a refused printer name" 2
  grep -q '^  box "KORVA Setup": "Err:1801 \[' "$job/badname.out" ||
    problem "no box with ERROR_INVALID_PRINTER_NAME for the refused printer name: $(grep -m1 '^  box' "$job/badname.out")"
  expect_rc "$job/badremove" 0 "the uninstallation after the failed installations" 0
  leftovers_clean "$job/before.snap" "$job/badremoved.snap" "after the failed installations' removal"
  expect_rc "$job/twice" 0 "the uninstaller run again" 2
  diff <(timeless "$job/badremoved.snap") <(timeless "$job/twice.snap") >"$work/diff" ||
    problem "the uninstaller run again changed the machine:"$'\n'"$(head -20 "$work/diff")"
fi

took=$((SECONDS - started))
if [ ${#problems[@]} -eq 0 ]; then
  echo "ok: the NSIS installer at $version ($([ $compare = 1 ] && echo 'compared with kvsup-host, bad input, ')${took}s)"
  exit 0
fi
echo "FAIL: the NSIS installer at $version (${took}s)"
printf '  %s\n' "${problems[@]}"
tail -5 "$work/session.log" | sed 's/^/  session: /'
exit 1
