#!/usr/bin/env bash
# Benchmark of the sample installation plus removal against the waits the
# removal's service cycles must take, per family (NT 4.0, 98, 2000, XP):
#   1. on the simulated machine (bench_removal, native release build): wall
#      time, and the virtual time the machine's clock advanced (the sleeps);
#   2. under Wine with the real DLL (kvsup-host.exe in a prefix made by
#      tools/wine-prefix.sh, as the main job runs it): wall time of the
#      installation's three scripts and of the removal script, and of a
#      script that only starts the host (the start-up every run pays);
#   3. the floor: every stop of an installed print service sleeps 1 s and
#      every start of a stopped one polls at least once, 300 ms; the removal
#      cycles the spooler (2000: MacPrint, LPDSVC and the spooler) four
#      times, 9x none. The Wine floor counts only the services the prefix
#      has; Windows' and the simulated machine's count all of them;
#   4. unless KVSUP_BENCH_TRACE=0, a relay trace of one more removal per NT
#      family, telling where the time goes (bench/removal_trace.py).
# Not a test: nothing fails on a figure; a run that did not do its work
# fails. Needs the mingw build (built with the preset when missing).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${KVSUP_BENCH_BUILD:-$root/build/bench}
mingw_dir=${KVSUP_MINGW_DIR:-build/mingw}
out=${KVSUP_BENCH_DIR:-$build/bench-removal}
runs=${KVSUP_BENCH_RUNS:-1}
trace=${KVSUP_BENCH_TRACE:-1}
families=${KVSUP_BENCH_FAMILIES:-nt40 win98 win2k winxp}

die() { echo "bench-removal: $*" >&2; exit 1; }

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null ||
  die "configuring $build failed"
cmake --build "$build" -j2 --target bench_removal >"$build/bench-removal-build.log" 2>&1 ||
  { cat "$build/bench-removal-build.log"; exit 1; }
if [ ! -f "$mingw_dir/_KVSUP32.dll" ] && [ "$mingw_dir" = build/mingw ]; then
  { cmake --preset mingw >/dev/null && cmake --build --preset mingw -j2 >/dev/null; } ||
    die "the mingw build failed"
fi
for f in _KVSUP32.dll kvsup-host.exe; do
  [ -f "$mingw_dir/$f" ] || die "$mingw_dir/$f is missing"
done
monitor=$(find "$mingw_dir" -name kvtstmon.dll -print -quit)
[ -n "$monitor" ] || die "the sample monitor kvtstmon.dll was not built in $mingw_dir"
mkdir -p "$out"
out=$(cd "$out" && pwd)

now() { date +%s.%N; }
calc() { echo "$*" | bc -l; }
fmt() { printf '%.2f' "$1"; }
field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p" | head -n1; }

# The print services each family's removal cycles, four times.
cycled() {
  case $1 in
    nt40 | winxp) echo Spooler ;;
    win2k) echo MacPrint LPDSVC Spooler ;;
    *) echo ;;
  esac
}
# Seconds the cycles must sleep when the named services exist: 1 s per stop,
# 300 ms per start.
floor_of() {
  local n=0
  for _ in "$@"; do n=$((n + 1)); done
  calc "4 * $n * 1.3"
}

export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# One run of the Windows host in the prefix; its wall time (the wine
# process, after the server is up) goes to $job/wall.
wine_host() {
  (cd "$job" && WINEPREFIX=$prefix timeout 600 xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    wineserver -p0 </dev/null >/dev/null 2>&1
    s=$(date +%s.%N)
    wine "$@"
    rc=$?
    e=$(date +%s.%N)
    wineserver -w
    echo "$e - $s" | bc -l >wall
    exit $rc
  ' bench kvsup-host.exe "$@")
}
# The installation's three scripts; the sum of their wall times.
wine_install() {
  local total=0 s
  for s in install-monitor stage-files register-printer; do
    wine_host --answer-boxes --copy-in 'C:\kvjob\kvtstmon.dll=%SYSDIR%\kvtstmon.dll' \
      "examples/$s.kvs" >"$log_base.$s.log" 2>&1 || die "wine $v: $s.kvs failed (see $log_base.$s.log)"
    total=$(calc "$total + $(cat "$job/wall")")
  done
  tr -d '\r' <"$log_base.register-printer.log" | grep -q '^ToRegPrinter(.*) = 1$' ||
    die "wine $v: the printer was not registered (see $log_base.register-printer.log)"
  echo "$total"
}
# The removal script; its wall time. Wine's own messages go to the second
# file when one is named (a trace would break up the host's lines).
wine_remove() {
  local log=$1 rc
  if [ $# -gt 1 ]; then
    wine_host --answer-boxes examples/remove-printer.kvs >"$log" 2>"$2"
  else
    wine_host --answer-boxes examples/remove-printer.kvs >"$log" 2>&1
  fi
  rc=$?
  [ "$rc" = 0 ] || die "wine $v: the removal failed (see $log)"
  tr -d '\r' <"$log" | grep -q '^!restart' || die "wine $v: the removal did not run to the restart (see $log)"
  cat "$job/wall"
}

rows=()
for v in $families; do
  echo "==== $v"
  # Simulated machine.
  slog=$out/sim-$v.log
  "$build/bench/bench_removal" "$v" examples "$monitor" "$out/sim-$v" 5 >"$slog" ||
    die "simulated $v: a script failed (see $slog)"
  grep '^result' "$slog"
  sim_install_wall=$(grep 'phase=install' "$slog" | field wall_s)
  sim_removal_wall=$(grep 'phase=removal' "$slog" | field wall_s)
  sim_virtual=$(grep 'phase=removal' "$slog" | field virtual_s)
  sim_install_virtual=$(grep 'phase=install' "$slog" | field virtual_s)
  read -r -a services <<<"$(cycled "$v")"
  floor_windows=$(floor_of "${services[@]}")

  # Wine.
  prefix=$out/wine/$v
  tools/wine-prefix.sh "$v" "$prefix" >"$out/wine-$v.prefix.log" 2>&1 ||
    die "no Wine prefix for $v (see $out/wine-$v.prefix.log)"
  job=$prefix/drive_c/kvjob
  rm -rf "$job"
  mkdir -p "$job"
  cp "$mingw_dir/kvsup-host.exe" "$mingw_dir/_KVSUP32.dll" "$monitor" "$job/"
  cp -r examples "$job/examples"
  log_base=$out/wine-$v
  # The services the prefix has (its registry, written when the server went).
  present=()
  for s in "${services[@]}"; do
    grep -qi "^\[System\\\\\\\\CurrentControlSet\\\\\\\\Services\\\\\\\\$s\]" "$prefix/system.reg" &&
      present+=("$s")
  done
  floor_wine=$(floor_of "${present[@]}")
  echo "print services cycled: ${services[*]:-none}; in the Wine prefix: ${present[*]:-none}"

  echo '!echo "host started"' >"$job/start.kvs"
  wine_host start.kvs >"$log_base.start.log" 2>&1 || die "wine $v: the host does not start"
  start_wall=$(cat "$job/wall")
  best_install='' best_removal=''
  for _ in $(seq "$runs"); do
    i=$(wine_install) || exit 1
    r=$(wine_remove "$log_base.removal.log") || exit 1
    echo "install $(fmt "$i") s, removal $(fmt "$r") s"
    if [ -z "$best_removal" ] || [ "$(calc "$r < $best_removal")" = 1 ]; then
      best_removal=$r
    fi
    if [ -z "$best_install" ] || [ "$(calc "$i < $best_install")" = 1 ]; then
      best_install=$i
    fi
  done
  net=$(calc "$best_removal - $start_wall")
  if [ "$(calc "$floor_wine > 0")" = 1 ]; then
    ratio=$(printf '%.2f' "$(calc "$best_removal / $floor_wine")")
    ratio_net=$(printf '%.2f' "$(calc "$net / $floor_wine")")
  else
    ratio=n/a ratio_net=n/a
  fi

  if [ "$trace" = 1 ] && [ ${#services[@]} -gt 0 ]; then
    # One more round, the removal under a relay trace of the waits only.
    WINEPREFIX=$prefix wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /f /d \
      'KERNEL32.Sleep;KERNEL32.LoadLibraryA;KERNEL32.CreateProcessA;advapi32.OpenSCManagerA;advapi32.OpenServiceA;advapi32.ControlService;advapi32.QueryServiceStatus;advapi32.StartServiceA;advapi32.CloseServiceHandle' \
      >/dev/null 2>&1
    WINEPREFIX=$prefix wineserver -w
    wine_install >/dev/null || exit 1
    WINEDEBUG=+timestamp,+relay wine_remove "$log_base.removal-traced.log" \
      "$log_base.removal-trace.log" >/dev/null || exit 1
    WINEPREFIX=$prefix wine reg delete 'HKCU\Software\Wine\Debug' /v RelayInclude /f >/dev/null 2>&1
    WINEPREFIX=$prefix wineserver -w
    echo "where the removal's time goes (relay trace; the trace itself slows the run):"
    python3 bench/removal_trace.py "$log_base.removal-trace.log" | tee "$log_base.steps.txt" |
      grep -v '^steps'
    calls=$(grep '^steps' "$log_base.steps.txt" | field removal_s)
    [ -z "$calls" ] || [ "$(calc "$floor_wine > 0")" != 1 ] ||
      echo "  the removal's calls alone: $(fmt "$calls") s = $(printf '%.2f' "$(calc "$calls / $floor_wine")") x the floor"
  fi
  rows+=("$(printf '%-6s %8s %8s %9s %9s %9s %10s %9s %8s %7s %7s' "$v" \
    "$(fmt "$floor_windows")" "$(fmt "$floor_wine")" \
    "$(fmt "$(calc "$sim_install_virtual + $sim_virtual")")" "$(fmt "$sim_virtual")" \
    "$(printf '%.3f' "$(calc "$sim_install_wall + $sim_removal_wall")")" \
    "$(fmt "$best_install")" "$(fmt "$best_removal")" "$(fmt "$net")" "$ratio" "$ratio_net")")
done

echo
echo "==== Installation plus removal, per family (seconds; target: Wine removal <= 1.25 x floor)"
printf '%-6s %8s %8s %9s %9s %9s %10s %9s %8s %7s %7s\n' family floor floor sim-virt sim-virt \
  sim-wall wine-inst wine-rem rem-net ratio ratio
printf '%-6s %8s %8s %9s %9s %9s %10s %9s %8s %7s %7s\n' "" Windows Wine "inst+rem" removal \
  "inst+rem" "3 runs" wall "-start" wall net
printf '%s\n' "${rows[@]}"
echo "host start alone under Wine: $(fmt "$start_wall") s (last family); ratio net = (removal - host start) / floor"
