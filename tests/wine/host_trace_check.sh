#!/bin/bash
# host_trace_check.sh <version> <kvsup-host.exe> <native kvsup-host> <register script> <remove script>
# An installation and its removal, traced under Wine and on the simulated
# machine at one Windows version: on one Wine machine, a snapshot, the
# registration script and the removal script (to its !restart) with the
# Windows host's --trace, then a second snapshot; on one simulated machine
# the same two scripts with the native host's --trace. For each script the
# calls the real DLL makes, by name and in order, are those the simulated
# machine records (apart from the known differences below), the export
# results are the simulated ones, and a failing call shows its error. The
# two Wine snapshots differ only by the leftover report's known items. The
# Wine machine is a prefix of its own, made fresh and removed afterwards, so
# that the scripts meet the same empty machine as the simulated ones.
# Exit 77 (skipped) when Wine or a build is missing. KVSUP_TRACE_KEEP=DIR
# keeps the logs and traces in DIR.
set -uo pipefail

[ $# -eq 5 ] || {
  echo "usage: $0 <version> <exe> <native-host> <register-script> <remove-script>" >&2
  exit 2
}
version=$1
win_host=$2
native_host=$3
register_script=$4
remove_script=$5
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
[ "$(dirname "$register_script")" = "$(dirname "$remove_script")" ] || {
  echo "the two scripts must be in one folder" >&2
  exit 2
}

# Where the two machines differ, one side's stretch of calls in one script
# is read as the other's: "script side: calls -> calls", then the reason
# ("both": read so on either side).
# A call is a name, or a name with its first string argument, ignoring case
# ('*' for any text): OpenServiceA("LPDSVC"). (A|B)+ is one or more calls
# of A or B. Everything else must match.
known_differences() {
  cat <<'EOF_KNOWN'
register both: SfcIsFileProtected (RegOpenKeyExA|RegQueryValueExA|RegCloseKey|RegEnumKeyA|RegCreateKeyExA|RegSetValueExA|GetWindowsDirectoryA|SfcIsFileProtected)+ -> 
remove both: SfcIsFileProtected (RegOpenKeyExA|RegQueryValueExA|RegCloseKey|RegEnumKeyA|RegDeleteValueA|RegQueryInfoKeyA|RegDeleteKeyA|GetWindowsDirectoryA|SfcIsFileProtected)+ -> 
remove both: RegOpenKeyExA("SOFTWARE\KORVA\INSTALLED\*") (RegOpenKeyExA|RegQueryValueExA|RegCloseKey|RegEnumKeyA|RegDeleteValueA|RegQueryInfoKeyA|RegDeleteKeyA|GetWindowsDirectoryA|SfcIsFileProtected)+ -> 
remove wine: RegOpenKeyExA RegEnumValueA (RegEnumValueA|RegOpenKeyExA|RegEnumKeyA|RegQueryValueExA|RegCloseKey|DeleteFileA|SfcIsFileProtected|GetFileAttributesA|CreateFileA|CloseHandle)+ RegDeleteKeyA -> RegOpenKeyExA RegEnumValueA RegCloseKey RegDeleteKeyA
register wine: GetVersionExA RegOpenKeyExA RegOpenKeyExA RegCloseKey GetSystemDirectoryA -> GetVersionExA RegOpenKeyExA RegCloseKey GetSystemDirectoryA
  The installation record asks, for each file, Windows' file protection
  and then its own and Windows' shared counts: how many calls depends on
  where the spooler filed the driver's files (Wine files NT 4.0 drivers as
  version 3 and 9x ones under win40\0, where the simulated machine follows
  Windows), so those stretches are read as nothing on both sides; at the
  end Wine's record still names the driver's files where Wine filed them,
  which the lists did not reach, and removal takes them. Wine keeps a 9x
  driver's record below Version-0, looked for second.
register wine: OpenServiceA("SPOOLER") ControlService QueryServiceStatus StartServiceA Sleep ControlService QueryServiceStatus -> OpenServiceA ControlService QueryServiceStatus
  Wine's spooler is not running in a fresh prefix: stopping it fails
  (ERROR_SERVICE_NOT_ACTIVE), so the restart starts it, waits and stops it
  again; the simulated spooler runs from the start.
remove sim: OpenServiceA("SPOOLER") ControlService QueryServiceStatus StartServiceA (Sleep ControlService QueryServiceStatus)+ -> OpenServiceA ControlService QueryServiceStatus StartServiceA Sleep ControlService QueryServiceStatus
  Wine's spooler is running as soon as it is started; the simulated one is
  start-pending for a few polls, as a Windows service is for a while.
register sim: DocumentPropertiesA DocumentPropertiesA -> DocumentPropertiesA
  The sample driver is no loadable printer driver: Wine's
  DocumentPropertiesA fails its size query (ERROR_BAD_EXE_FORMAT) and the
  library skips the second call; the simulated spooler answers both.
register sim: OpenServiceA("LPDSVC") (ControlService|QueryServiceStatus|StartServiceA|Sleep)+ CloseServiceHandle -> OpenServiceA
register sim: OpenServiceA("MACPRINT") (ControlService|QueryServiceStatus|StartServiceA|Sleep)+ CloseServiceHandle -> OpenServiceA
remove sim: OpenServiceA("LPDSVC") (ControlService|QueryServiceStatus|StartServiceA|Sleep)+ CloseServiceHandle -> OpenServiceA
remove sim: OpenServiceA("MACPRINT") (ControlService|QueryServiceStatus|StartServiceA|Sleep)+ CloseServiceHandle -> OpenServiceA
  The simulated Windows 2000 has the TCP/IP and Macintosh print services,
  which the library stops and starts with the spooler; Wine has neither
  (ERROR_SERVICE_DOES_NOT_EXIST).
register wine: RegCreateKeyExA("SYSTEM\CURRENTCONTROLSET\CONTROL\PRINT\PRINTERS\*") WriteProfileStringA -> RegCreateKeyExA RegCloseKey WriteProfileStringA
  Wine makes HKEY_CURRENT_CONFIG volatile: the 9x printer's hardware-profile
  key cannot be made there (ERROR_CHILD_MUST_BE_VOLATILE), so none is
  closed.
remove sim: RegDeleteKeyA("*\DRIVERS\*") GetVersionExA RegOpenKeyExA("SYSTEM\CURRENTCONTROLSET\CONTROL\PRINT\PRINTERS\*") RegEnumKeyExA RegCloseKey RegDeleteKeyA -> RegDeleteKeyA GetVersionExA RegOpenKeyExA
  The same key at removal, which goes after the driver's record: Wine has
  none to delete.
register sim: RegOpenKeyExA("ENUM\BIOS") (RegEnumKeyA|lstrcmpiA|RegOpenKeyExA|RegCreateKeyExA|RegSetValueExA|RegCloseKey)+ RegOpenKeyExA("ENUM\ROOT") (RegEnumKeyA|lstrcmpiA)+ RegCloseKey -> RegOpenKeyExA RegOpenKeyExA
remove sim: RegOpenKeyExA("ENUM\LPTENUM\*") (RegEnumKeyExA|RegOpenKeyExA|RegQueryValueExA|RegCloseKey|RegDeleteKeyA)+ GetPrivateProfileStringA -> RegOpenKeyExA GetPrivateProfileStringA
  A Wine prefix at 98 has no Windows 9x device tree (Enum\BIOS with the
  parallel port, Enum\ROOT): no device entry for the printer is written
  below the port, so removal finds none to delete.
remove sim: GetPrivateProfileStringA RegOpenKeyExA("SYSTEM\CURRENTCONTROLSET\CONTROL\CLASS\{4D36E979-*") RegEnumKeyExA RegCloseKey -> GetPrivateProfileStringA RegOpenKeyExA
  A fresh Wine prefix has no printer device class key: opening it fails
  (ERROR_FILE_NOT_FOUND) where Windows and the simulated machine have it,
  empty, to look through.
remove both: DeleteFileA("*\W32X86\2\*") GetFileAttributesA("*\W32X86\2\*") -> DeleteFileA
  Wine's spooler files NT 4.0 drivers as version 3, so the version-2
  folder is missing: every delete there fails (ERROR_PATH_NOT_FOUND) and
  the library looks whether the file is in use; on the simulated NT 4.0
  only the one file the spooler did not file there fails so.
EOF_KNOWN
}

root=${KVSUP_WINE_ROOT:-$src/build/wine}
mkdir -p "$root"
work=$(mktemp -d "$root/trace-$version.XXXXXX") || exit 1
prefix=$work/prefix
job=$prefix/drive_c/kvjob
finish() {
  if [ -n "${KVSUP_TRACE_KEEP:-}" ]; then
    mkdir -p "$KVSUP_TRACE_KEEP"
    cp "$work"/*.log "$work"/*.calls "$job"/*.snap "$KVSUP_TRACE_KEEP/" 2>/dev/null
  fi
  rm -rf "$work"
}
trap finish EXIT
started=$SECONDS
"$src/tools/wine-prefix.sh" "$version" "$prefix" >"$work/prefix.log" 2>&1 || {
  cat "$work/prefix.log"
  exit 1
}
prefix_time=$((SECONDS - started))
mkdir -p "$job"
cp "$win_host" "$mingw_dir/_KVSUP32.dll" "$monitor" "$job/"
cp -r "$(dirname "$register_script")" "$job/examples"

export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# wine_host <log> <args...>: one run of the Windows host on the machine.
wine_host() {
  local log=$1
  shift
  (cd "$job" && timeout 240 xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    wineserver -p0 </dev/null >/dev/null 2>&1
    wine "$@"
    rc=$?
    wineserver -w
    exit $rc
  ' trace kvsup-host.exe "$@") 2>&1 | tr -d '\r' >"$work/$log"
  return "${PIPESTATUS[0]}"
}
# The native host on its own simulated machine at the same version.
sim_host() {
  local log=$1
  shift
  "$native_host" --os "$version" --machine "$work/sim" --trace --print-boxes \
    "$@" >"$work/$log" 2>&1
}

fail=0
check() {  # check <what> <command...>
  local what=$1
  shift
  "$@" || { echo "FAIL: $what"; fail=1; }
}

# The Wine machine: a snapshot, the two scripts traced, the second snapshot
# after the removal's !restart.
wine_host snapshot.log --snapshot 'C:\kvjob\before.snap'
check "the snapshot before the installation (exit code $?)" [ -s "$job/before.snap" ]
wine_host wine.register.log --answer-boxes --trace \
  --copy-in "C:\\kvjob\\kvtstmon.dll=%SYSDIR%\\kvtstmon.dll" \
  "examples\\$(basename "$register_script")"
check "the Windows host ran every line of the registration (exit code $?)" [ $? -eq 0 ]
wine_host wine.remove.log --answer-boxes --trace \
  --snapshot 'C:\kvjob\after.snap' "examples\\$(basename "$remove_script")"
check "the Windows host ran every line of the removal (exit code $?)" [ $? -eq 0 ]
wine_time=$((SECONDS - started))

# The simulated machine: the same scripts, the reboot question answered No
# as the box watcher does.
sim_host sim.register.log --copy-in "$monitor=%SYSDIR%\\kvtstmon.dll" "$register_script"
check "the native host ran every line of the registration (exit code $?)" [ $? -eq 0 ]
sim_host sim.remove.log --answer no "$remove_script"
check "the native host ran every line of the removal (exit code $?)" [ $? -eq 0 ]

# Results: every export line of the traced Wine run says what the native
# run says (the trace lines themselves start with "  |").
results() { grep -E '^[A-Za-z_0-9]+\(.*\) = ' "$1"; }
# The calls of the exports only, a call a line with its first string
# argument (for the known differences): what the next start of Windows does
# (!restart) is the simulated machine's own work there, and Windows' own
# (cmd.exe running the RunOnce commands), untraced, under Wine; the
# snapshots check its effect.
calls() {
  perl -ne 'last if /^!restart$/;
    next unless /^  \| ([A-Za-z_]\w*)\(([^"]*"([^"]*)")?/;
    my ($name, $arg) = ($1, $3);
    print("$name\n"), next unless defined $arg;
    ($arg = uc $arg) =~ s/\\\\/\\/g;
    print "$name(\"$arg\")\n"' "$1"
}
# known <script> <side> <calls file>: reads the side's known stretches as
# the other side's, then leaves the names alone.
known() {
  known_differences | SCRIPT=$1 SIDE=$2 perl -e '
    my $calls = do { local $/; open my $f, "<", $ARGV[0] or die; <$f> };
    my $token = qr/[A-Za-z_0-9]+(?:\("[^"]*"\))?|\)\+?|\(|\|/;
    while (<STDIN>) {
      next unless /^\Q$ENV{SCRIPT}\E (?:\Q$ENV{SIDE}\E|both): (.*) -> (.*)$/;
      my ($from, $to) = ($1, $2);
      my $re = join "", map {
        /^(\w+)\("(.*)"\)$/
          ? "$1\\(\"" . join("[^\\n]*", map quotemeta, split /\*/, $2, -1) . "\"\\)\\n"
          : /^\w+$/ ? "$_(?:\\([^\\n]*\\))?\\n"
          : $_ eq "(" ? "(?:" : $_
      } $from =~ /$token/g;
      my $with = join "", map "$_\n", split / /, $to;
      $calls =~ s/^$re/$with/mg;
    }
    $calls =~ s/\(.*\)$//mg;
    open my $f, ">", $ARGV[0] or die;
    print $f $calls;' "$3"
}
# The call names in order, a script's known differences read as the other
# side's.
for s in register remove; do
  check "$s: the export results differ from the simulated machine's" \
    diff <(results "$work/sim.$s.log") <(results "$work/wine.$s.log")
  for side in sim wine; do
    calls "$work/$side.$s.log" >"$work/$side.$s.calls"
    known "$s" "$side" "$work/$side.$s.calls"
  done
  check "$s: the simulated machine recorded calls" [ -s "$work/sim.$s.calls" ]
  check "$s: the traced calls differ from the simulated machine's (< simulated, > Wine)" \
    diff "$work/sim.$s.calls" "$work/wine.$s.calls"
done
check "the trace names the export (ToRegPrinter)" \
  grep -qx '  | == ToRegPrinter' "$work/wine.register.log"
check "the trace names the export (UninstInitialize)" \
  grep -qx '  | == UninstInitialize' "$work/wine.remove.log"
# A failed call shows its error: the port driver's service, not yet made,
# on the NT family; the ACPI device tree, which 98 without ACPI lacks.
if [ "$version" = win98 ]; then
  check "a failed call shows its error (no such key)" \
    grep -qE '^  \| RegOpenKeyExA\(HKEY_LOCAL_MACHINE, "Enum\\\\ACPI", 0, 0xF003F, 0x[0-9A-F]+\) = 2  error 2$' \
    "$work/wine.register.log"
else
  check "a failed call shows its error (no such service)" \
    grep -qE '^  \| OpenServiceA\(0x[0-9A-F]+, "kvlpt", 0xF01FF\) = NULL  error 1060$' \
    "$work/wine.register.log"
fi

# What the removal left on the Wine machine: nothing but known items.
"$native_host" --leftovers "$job/before.snap" "$job/after.snap" >"$work/leftovers.log" 2>&1
check "the removal left something the installation added (exit code $?)" [ $? -eq 0 ]
check "the leftover report says nothing unknown is left" \
  grep -q "nothing unknown is left" "$work/leftovers.log"

if [ "$fail" -ne 0 ]; then
  for log in leftovers wine.register sim.register wine.remove sim.remove; do
    echo "--- $log"
    cat "$work/$log.log"
  done
  exit 1
fi
echo "$(cat "$work"/wine.*.calls | wc -l) calls match at $version;" \
  "Wine ${wine_time}s (prefix ${prefix_time}s), all $((SECONDS - started))s"
