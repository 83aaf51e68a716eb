#!/usr/bin/env bash
# The main job: sets up a fresh Debian machine, builds _KVSUP32.dll and the
# native build, then runs the example installation scripts with kvsup-host
# (monitor, staged driver files, complete printer, on one machine each)
#   - on the simulated machine at NT 4.0, 98, 2000, XP, Vista, 7, 8.1 and 10,
#   - under Wine with the real DLL at NT 4.0, 95, 98, Me, 2000, XP, Vista, 7,
#     8.1 and 10,
# printing what each run did. Exits non-zero when a build or a run fails or a
# run did not do its work (monitor registered, tree copied, printer created).
# Then one generated medium per family (kvsup-medium) with a second maker's
# product installed before ours, on the simulated machine and under Wine at
# all ten versions: installed, removed, restarted, judged by its leftover
# report and by the second maker's printer being the default again. Last,
# on the Wine machines of the first six versions and of 10, the example NSIS
# installer (kvsetup.exe, built by the mingw build with makensis) installs
# silently and its uninstaller removes, judged by the same leftover report;
# and at NT 4.0, 98, 2000 and
# XP the machine with a generated medium installed is captured, loaded into
# the simulated machine and removed on both, and the two are compared.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# Overridable for a run on other build folders (the defaults are the presets').
native_dir=${KVSUP_NATIVE_DIR:-build/native}
mingw_dir=${KVSUP_MINGW_DIR:-build/mingw}
out=${KVSUP_JOB_DIR:-$root/build/main-job}
script=examples/install-monitor.kvs
# Run after it on the same machine: stages the driver files with ExpCopy and
# Xcopy, then registers a complete sample printer.
stage_script=examples/stage-files.kvs
printer_script=examples/register-printer.kvs
# Then the removal on the same machine, the next start of Windows, and the
# leftover report against a snapshot taken before the installation.
remove_script=examples/remove-printer.kvs
jobs=$(nproc 2>/dev/null || echo 2)

step() { printf '\n==== %s\n' "$*"; }
die() { echo "main-job: $*" >&2; exit 1; }

step "Setting up the machine"
if [ -x tools/setup.sh ]; then
  tools/setup.sh || die "tools/setup.sh failed"
else
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq cmake g++ libgtest-dev wine \
    wine32 g++-mingw-w64-i686 xvfb xauth mscompress >/dev/null ||
    die "installing packages failed"
fi

if [ "${KVSUP_JOB_SKIP_BUILD:-0}" != 1 ]; then
  step "Building _KVSUP32.dll (preset mingw)"
  { cmake --preset mingw >/dev/null && cmake --build --preset mingw -j"$jobs"; } ||
    die "the mingw build failed"
  step "Building the native library, host and tests (preset native)"
  { cmake --preset native >/dev/null && cmake --build --preset native -j"$jobs"; } ||
    die "the native build failed"
fi

native_host=$native_dir/kvsup-host
win_host=$mingw_dir/kvsup-host.exe
medium_tool=$native_dir/kvsup-medium
[ -x "$native_host" ] || die "$native_host was not built"
[ -x "$medium_tool" ] || die "$medium_tool was not built"
[ -f "$win_host" ] || die "$win_host was not built"
[ -f "$mingw_dir/_KVSUP32.dll" ] || die "$mingw_dir/_KVSUP32.dll was not built"
# The example NSIS installer, built by the mingw build with makensis.
[ -f "$mingw_dir/kvsetup.exe" ] || die "$mingw_dir/kvsetup.exe was not built (is makensis installed?)"
# The sample port monitor (a test fixture of the Wine suites): the file the
# medium's setup information names for every Windows family.
monitor=$(find "$mingw_dir" -name kvtstmon.dll -print -quit)
[ -n "$monitor" ] || die "the sample monitor kvtstmon.dll was not built"

rm -rf "$out"
mkdir -p "$out"
results=()
failed=0

# A run counts when the host ran every line (exit code 0) and the log has a
# line matching `pattern` (the call that shows the script did its work).
judge() {
  local name=$1 rc=$2 log=$3 pattern=$4 what=$5
  local verdict=ok
  if [ "$rc" -ne 0 ]; then
    verdict="FAILED (exit code $rc)"
  elif ! tr -d '\r' <"$log" | grep -q "$pattern"; then
    verdict="FAILED ($what)"
  fi
  [ "$verdict" = ok ] || failed=1
  results+=("$(printf '%-28s %s' "$name" "$verdict")")
}

# The three scripts of an installation, in the order an installer runs them
# on one machine: the monitor, the staged driver files, the printer.
scripts=(
  "$script|^InstallPrinterMonitor(.*) = 1$|the monitor was not registered|monitor"
  "$stage_script|^Xcopy(.*) = 1$|no driver tree was copied|staging"
  "$printer_script|^ToRegPrinter(.*) = 1$|the printer was not registered|printer"
)

# The leftover report: exit 0 when nothing but known items differ.
judge_leftovers() {
  local name=$1 host=$2 before=$3 after=$4 log=$5
  shift 5
  "$@" "$host" --leftovers "$before" "$after" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  judge "$name leftovers" "$rc" "$log" "nothing unknown is left" \
    "the removal left something the installation added"
}

# The generated medium of each family, one seed per family, the same on the
# simulated machine and under Wine (none that needs a USB printer plugged
# in on 9x, which Wine cannot do). Each run is one round trip of
# tests/wine/roundtrip_check.sh; its scripts, logs and snapshots are kept in
# $out/media/<sim or wine>/<version>-<seed>.
declare -A medium_seed=([nt40]=1014 [win95]=5 [win98]=14 [winme]=17 [win2k]=1011 [winxp]=4
  [vista]=1011 [win7]=13 [win81]=5 [win10]=1014)
# Every Wine prefix is a copy of one booted prefix (tools/wine-prefix.sh).
export KVSUP_WINE_BASE=$out/wine/.kvsup-base
# judge_medium <name> <log> <sim|wine> <roundtrip_check.sh arguments...>
judge_medium() {
  local name=$1 log=$2 machine=$3
  shift 3
  KVSUP_WINE_ROOT=$out KVSUP_ROUNDTRIP_KEEP=$out/media/$machine \
    tests/wine/roundtrip_check.sh "$@" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]} verdict=ok
  if [ "$rc" -ne 0 ]; then
    # The first thing the check found wrong.
    verdict="FAILED ($(grep -m1 '^  [^ ]' "$log" | sed 's/^  //; s/:$//'))"
    [ "$verdict" != "FAILED ()" ] || verdict="FAILED (exit code $rc)"
    failed=1
  fi
  results+=("$(printf '%-28s %s' "$name" "$verdict")")
}

for v in nt40 win98 win2k winxp vista win7 win81 win10; do
  step "Simulated machine: $v (machine folder $out/sim-$v)"
  "$native_host" --os "$v" --machine "$out/sim-$v" \
    --snapshot "$out/sim-$v.before.snap" </dev/null >/dev/null 2>&1 ||
    judge "simulated $v snapshot" 1 /dev/null . "no snapshot"
  for entry in "${scripts[@]}"; do
    IFS='|' read -r file pattern what tag <<<"$entry"
    log=$out/sim-$v.$tag.log
    "$native_host" --os "$v" --machine "$out/sim-$v" --print-boxes \
      --copy-in "$monitor=%SYSDIR%\\kvtstmon.dll" "$file" 2>&1 | tee "$log"
    judge "simulated $v $tag" "${PIPESTATUS[0]}" "$log" "$pattern" "$what"
  done
  log=$out/sim-$v.remove.log
  "$native_host" --os "$v" --machine "$out/sim-$v" --print-boxes --answer no \
    --snapshot "$out/sim-$v.after.snap" "$remove_script" 2>&1 | tee "$log"
  judge "simulated $v removal" "${PIPESTATUS[0]}" "$log" "^!restart" \
    "the removal did not run to the restart"
  judge_leftovers "simulated $v" "$native_host" "$out/sim-$v.before.snap" \
    "$out/sim-$v.after.snap" "$out/sim-$v.leftovers.log" env
done

for v in nt40 win95 win98 winme win2k winxp vista win7 win81 win10; do
  seed=${medium_seed[$v]}
  step "Simulated machine: $v, generated medium $seed"
  judge_medium "simulated $v medium $seed" "$out/sim-$v.medium.log" sim --sim "$v" \
    "$win_host" "$native_host" "$medium_tool" "$seed"
done

export WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
declare -A nsis_pids=()
for v in nt40 win95 win98 winme win2k winxp vista win7 win81 win10; do
  step "Wine at $v (prefix $out/wine/$v)"
  prefix=$out/wine/$v
  if ! tools/wine-prefix.sh "$v" "$prefix" >"$out/wine-$v.prefix.log" 2>&1; then
    cat "$out/wine-$v.prefix.log"
    judge "wine $v" 1 /dev/null . "no prefix"
    continue
  fi
  # Copies of the fresh machine for the capture rehearsal and the NSIS
  # installer, which then meet nothing the scripts here leave. The NSIS
  # round trip runs on its own machine beside this version's steps (it
  # mostly waits for services) and is judged after the last version.
  rm -rf "$prefix-nsis" "$prefix-capture"
  case "$v" in
    nt40 | win98 | win2k | winxp) cp -a "$prefix" "$prefix-capture" ;;
  esac
  # The NSIS installer at the first six versions and at 10 (the newest its
  # manifest declares); Vista, 7 and 8.1 take the same steps as 10.
  case "$v" in
    vista | win7 | win81) ;;
    *)
      cp -a "$prefix" "$prefix-nsis"
      KVSUP_WINE_ROOT=$out tests/wine/nsis_check.sh --prefix "$prefix-nsis" "$v" \
        "$mingw_dir/kvsetup.exe" "$win_host" "$native_host" >"$out/wine-$v.nsis.log" 2>&1 &
      nsis_pids[$v]=$!
      ;;
  esac
  # The prefix maps no drive to this computer's root, so the host, the DLL,
  # the sample monitor and the examples run from a copy on its drive C:.
  job=$prefix/drive_c/kvjob
  rm -rf "$job"
  mkdir -p "$job"
  cp "$win_host" "$mingw_dir/_KVSUP32.dll" "$monitor" "$job/"
  cp -r examples "$job/examples"
  # The wine server is started with its output closed, so that it ends with
  # the run and holds no pipe of tee; message boxes need the X display.
  wine_host() {
    (cd "$job" && WINEPREFIX=$prefix timeout 600 xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
      wineserver -p0 </dev/null >/dev/null 2>&1
      wine "$@"
      rc=$?
      wineserver -w
      exit $rc
    ' main-job kvsup-host.exe "$@")
  }
  wine_host --snapshot 'C:\kvjob\before.snap' </dev/null >"$out/wine-$v.snapshot.log" 2>&1 ||
    judge "wine $v snapshot" 1 /dev/null . "no snapshot"
  for entry in "${scripts[@]}"; do
    IFS='|' read -r file pattern what tag <<<"$entry"
    log=$out/wine-$v.$tag.log
    wine_host --answer-boxes \
      --copy-in "C:\\kvjob\\kvtstmon.dll=%SYSDIR%\\kvtstmon.dll" "$file" 2>&1 | tee "$log"
    judge "wine $v $tag" "${PIPESTATUS[0]}" "$log" "$pattern" "$what"
  done
  log=$out/wine-$v.remove.log
  wine_host --answer-boxes --snapshot 'C:\kvjob\after.snap' "$remove_script" 2>&1 | tee "$log"
  judge "wine $v removal" "${PIPESTATUS[0]}" "$log" "^!restart" \
    "the removal did not run to the restart"
  judge_leftovers "wine $v" "$native_host" "$job/before.snap" "$job/after.snap" \
    "$out/wine-$v.leftovers.log" env
  # The generated medium on the same machine after the sample's removal,
  # judged by its own snapshots: after its second maker's product, and
  # after its removal.
  seed=${medium_seed[$v]}
  step "Wine at $v, generated medium $seed"
  judge_medium "wine $v medium $seed" "$out/wine-$v.medium.log" wine --prefix "$prefix" "$v" \
    "$win_host" "$native_host" "$medium_tool" "$seed"
  # A capture of a machine with our medium installed, loaded natively and
  # removed there and under Wine: the comparison of the two.
  case "$v" in
    nt40 | win98 | win2k | winxp)
      step "Wine at $v, a capture rehearsed on its copy (prefix $prefix-capture)"
      log=$out/wine-$v.capture.log
      KVSUP_WINE_ROOT=$out tests/wine/capture_check.sh --prefix "$prefix-capture" "$v" \
        "$win_host" "$native_host" "$medium_tool" "${medium_seed[$v]}" 2>&1 | tee "$log"
      judge "wine $v capture" "${PIPESTATUS[0]}" "$log" "^ok: " \
        "the copy did not behave like the machine"
      ;;
  esac
done

for v in nt40 win95 win98 winme win2k winxp win10; do
  [ -n "${nsis_pids[$v]:-}" ] || continue
  wait "${nsis_pids[$v]}"
  rc=$?
  step "Wine at $v, the example NSIS installer and uninstaller (prefix $out/wine/$v-nsis)"
  cat "$out/wine-$v.nsis.log"
  judge "wine $v NSIS installer" "$rc" "$out/wine-$v.nsis.log" "^ok: " \
    "the NSIS round trip failed"
done

step "Summary"
printf '%s\n' "${results[@]}"
exit $failed
