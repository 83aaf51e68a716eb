#!/bin/bash
# capture_check.sh [--prefix DIR] <version> <kvsup-host.exe> <native kvsup-host> <kvsup-medium> <seed>
# Proof that a capture's copy behaves like the machine it was taken from:
# on a Wine machine at <version>, a second maker's product and a generated
# medium of ours (kvsup-medium <seed>) are installed, the machine is
# captured (kvsup-host.exe --capture) and snapshotted, and the removal runs
# there with the call trace. The native host loads the capture
# (--from-capture) and runs the same removal on the copy, traced. Both must
# make the same platform calls (name and first string argument, apart from
# the differences listed below, each with its reason), the export calls
# must give the same results, and the two leftover reports (each machine's
# own snapshots before and after) must be the same. Prints the comparison.
# --prefix DIR runs on DIR itself (made when missing, kept); otherwise on
# a fresh prefix made for the run. Exit 77 (skipped) when Wine or a build
# is missing.
set -uo pipefail

given_prefix=
if [ "${1:-}" = --prefix ]; then
  given_prefix=${2:-}
  shift 2
fi
[ $# -eq 5 ] || {
  echo "usage: $0 [--prefix DIR] <version> <kvsup-host.exe> <native-host> <kvsup-medium> <seed>" >&2
  exit 2
}
version=$1
win_host=$2
native_host=$3
medium_tool=$4
seed=$5
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)

for tool in wine wineserver xvfb-run; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
for f in "$win_host" "$(dirname "$win_host")/_KVSUP32.dll" "$native_host" "$medium_tool"; do
  [ -f "$f" ] || { echo "SKIP: $f has not been built"; exit 77; }
done

root=${KVSUP_WINE_ROOT:-$src/build/wine}
mkdir -p "$root"
work=$(mktemp -d "$root/capture-$version.XXXXXX") || exit 1
[ -n "${KVSUP_CAPTURE_KEEP:-}" ] || trap 'rm -rf "$work"' EXIT
started=$SECONDS
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

machine=${given_prefix:-$work/prefix}
"$src/tools/wine-prefix.sh" "$version" "$machine" >"$work/prefix.log" 2>&1 || {
  cat "$work/prefix.log"
  exit 1
}
. "$here/prepare_prefix.sh"
prepare_prefix "$machine" >>"$work/prefix.log" 2>&1 || {
  cat "$work/prefix.log"
  exit 1
}
"$medium_tool" --seed "$seed" --os "$version" --out "$work/medium" >"$work/medium.log" 2>&1 || {
  echo "FAIL: kvsup-medium --seed $seed --os $version"
  cat "$work/medium.log"
  exit 1
}
job=$machine/drive_c/kvcap
rm -rf "$job"
mkdir -p "$job"
cp "$win_host" "$(dirname "$win_host")/_KVSUP32.dll" "$job/"
cp -r "$work/medium"/{medium,second,second.kvs,install.kvs,remove.kvs} "$job/"

# The Wine machine, in one session of its server.
(cd "$job" && WINEPREFIX=$machine timeout 280 xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  wineserver -p0 </dev/null >/dev/null 2>&1
  run() {
    local name=$1
    shift
    wine kvsup-host.exe "$@" 2>&1 | tr -d "\r" >"$name.log"
    echo "${PIPESTATUS[0]}" >"$name.rc"
  }
  run second --answer-boxes second.kvs
  run install --answer-boxes install.kvs
  started=$SECONDS
  run capture --capture "C:\\kvcap\\machine.cap"
  echo "$((SECONDS - started))" >capture.seconds
  run before --snapshot "C:\\kvcap\\before.snap"
  run remove --answer-boxes --trace --snapshot "C:\\kvcap\\after.snap" remove.kvs
  wineserver -w
') >"$work/session.log" 2>&1

problems=()
problem() { problems+=("$*"); }
for step in second install capture before remove; do
  rc=$(cat "$job/$step.rc" 2>/dev/null || echo "none: it did not finish")
  [ "$rc" = 0 ] || problem "the Wine machine's $step: exit code $rc"
done

# The copy: loaded, snapshotted, the same removal traced.
copy=$work/copy
load_started=$(date +%s%N)
"$native_host" --from-capture "$job/machine.cap" --machine "$copy" \
  --snapshot "$work/copy-before.snap" >"$work/load.log" 2>&1 ||
  problem "loading the capture failed: $(tail -3 "$work/load.log")"
load_ms=$((($(date +%s%N) - load_started) / 1000000))
"$native_host" --machine "$copy" --answer no --trace --print-boxes \
  --snapshot "$work/copy-after.snap" "$job/remove.kvs" >"$work/copy-remove.log" 2>&1 ||
  problem "the removal on the copy failed: $(tail -3 "$work/copy-remove.log")"

# The export results, and the platform calls by name until the next start
# of Windows (the two traces write arguments differently: handles by value
# on Windows, by what they name on the simulated machine).
results() { grep -E '^[A-Za-z_0-9]+\(.*\) = ' "$1"; }
calls() {
  perl -ne 'last if /^!restart$/; print "$1\n" if /^  \| ([A-Za-z_]\w*)\(/' "$1"
}
# Where the copy cannot be the machine, each read as the other side's:
# - A service started on the copy is start-pending for a few polls, as a
#   Windows service is; Wine's runs at once. The copy's extra polls after a
#   start are read as the one Wine makes.
# - Wine writes its display driver's date anew at every start of its
#   server; the copy keeps the captured one.
# - On the NT family win.ini's [Devices] and [PrinterPorts] are the user's
#   registry keys: Wine's snapshot sees them twice (registry and win.ini),
#   the simulated machine's in the registry only.
# - Wine files printer drivers under Drivers\Version-3 at NT 4.0 (Windows
#   uses Version-2) and under Drivers\Version-0 at 98 (Windows 9x keeps
#   them directly under Drivers): the copy's spooler, which is Windows',
#   lists none of them, so removal looks for them only on Wine, which
#   makes the calls below (extra on Wine's side only) and removes their
#   keys. At 98 Wine also keeps win.ini's printer sections in the NT
#   family's registry keys, so its spooler removes the printers there and
#   the removal rewrites win.ini only on the copy.
known_calls() {
  perl -0pe 's/^StartServiceA\nSleep\nControlService\nQueryServiceStatus\n(?:Sleep\nControlService\nQueryServiceStatus\n)+/StartServiceA\nSleep\nControlService\nQueryServiceStatus\n/mg'
}
case "$version" in
  nt40) wine_layout='Drivers\\Version-3\\'
    wine_only_calls='EnumPrinterDriversA GetVersionExA RegOpenKeyExA RegCloseKey' ;;
  win95 | win98 | winme) wine_layout='Drivers\\Version-0\\'
    wine_only_calls='RegOpenKeyExA' ;;
  *) wine_layout='^$' wine_only_calls= ;;
esac
case "$version" in win95 | win98 | winme) nt=0 ;; *) nt=1 ;; esac
known_report() {
  perl -ne 'BEGIN { $layout = qr/$ENV{LAYOUT}/ }
    if (/^      known: /) { print unless $skipped; next }
    $skipped = /DriverDateData/ || / differences, / || /$layout/ ||
      ($ENV{LAYOUT} ne "^\$" && /^  removed: driver "/) ||
      ($ENV{NT} && (/^win\.ini:$/ || /^  [a-z ]*: entry "(Devices|PrinterPorts)" /)) ||
      (!$ENV{NT} && (/^  changed: file "win\.ini"/ ||
        /"HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\(Devices|PrinterPorts)"/));
    print unless $skipped;'
}
# A calls diff that holds only the Wine-only calls of the version.
known_calls_diff() {
  perl -ne 'BEGIN { %ok = map { $_ => 1 } split " ", $ENV{WINE_ONLY} }
    next unless /^([<>]) (\S+)$/;
    $bad = 1 if $1 eq ">" || !$ok{$2};
    END { exit($bad ? 1 : 0) }' "$1"
}
export LAYOUT=$wine_layout NT=$nt WINE_ONLY=$wine_only_calls
diff <(results "$job/remove.log") <(results "$work/copy-remove.log") >"$work/results.diff" ||
  problem "the export results differ (< Wine, > copy):"$'\n'"$(cat "$work/results.diff")"
calls "$job/remove.log" | known_calls >"$work/wine.calls"
calls "$work/copy-remove.log" | known_calls >"$work/copy.calls"
[ -s "$work/wine.calls" ] || problem "the Wine removal traced no calls"
diff "$work/wine.calls" "$work/copy.calls" >"$work/calls.diff" ||
  known_calls_diff "$work/calls.diff" ||
  problem "the calls differ (< Wine, > copy):"$'\n'"$(head -40 "$work/calls.diff")"

# The leftover reports, each of its own machine.
"$native_host" --leftovers "$job/before.snap" "$job/after.snap" >"$work/wine.leftovers" 2>&1
"$native_host" --leftovers "$work/copy-before.snap" "$work/copy-after.snap" >"$work/copy.leftovers" 2>&1
diff <(known_report <"$work/wine.leftovers") <(known_report <"$work/copy.leftovers") >"$work/leftovers.diff" ||
  problem "the leftover reports differ (< Wine, > copy):"$'\n'"$(head -40 "$work/leftovers.diff")"

size=$(stat -c %s "$job/machine.cap" 2>/dev/null || echo 0)
echo "capture at $version (seed $seed): $(head -1 "$job/capture.log" 2>/dev/null)"
echo "  loaded in ${load_ms} ms: $(grep -m1 '^  files:' "$work/load.log" | sed 's/^  //')"
grep '^  spooler: \|^  the ' "$work/load.log" | sed 's/^  /  copy: /'
echo "  $(wc -l <"$work/wine.calls") calls on Wine, $(wc -l <"$work/copy.calls") on the copy;" \
  "leftover reports: Wine $(tail -1 "$work/wine.leftovers"), copy $(tail -1 "$work/copy.leftovers")"
if [ ${#problems[@]} -eq 0 ]; then
  echo "ok: the copy of the $version machine behaves like it (${size} bytes, $((SECONDS - started))s)"
  exit 0
fi
echo "FAIL: the copy of the $version machine ($((SECONDS - started))s)"
printf '  %s\n' "${problems[@]}"
exit 1
