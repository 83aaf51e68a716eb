#!/bin/bash
# wine-prefix.sh <version> <dir>
# Makes <dir> a Wine prefix that reports Windows <version> (nt40, win95,
# win98, winme, win2k, winxp), with no drive mapped to the host's root. A
# prefix made before is reused as it is; two callers asking for the same
# prefix at once are serialised on <dir>.lock, so the second one waits and
# then finds it ready.
set -euo pipefail

usage() { echo "usage: $0 nt40|win95|win98|winme|win2k|winxp <dir>" >&2; exit 2; }
[ $# -eq 2 ] || usage
version=$1
dir=$2
case "$version" in
  nt40 | win95 | win98 | winme | win2k | winxp) ;;
  *) usage ;;
esac
command -v wine >/dev/null && command -v wineserver >/dev/null || {
  echo "wine-prefix.sh: wine is not installed (tools/setup.sh installs it)" >&2
  exit 77
}

mkdir -p "$(dirname "$dir")"
dir=$(cd "$(dirname "$dir")" && pwd)/$(basename "$dir")
marker="$dir/.kvsup-prefix"

exec 9>"$dir.lock"
flock 9

# The marker names the version and the revision of this set-up: a prefix
# made by an older revision is made again.
stamp="$version rev4"
if [ -f "$marker" ] && [ "$(cat "$marker")" = "$stamp" ]; then
  exit 0
fi

# A prefix without the marker is a half-made one (an interrupted wineboot):
# start it again from nothing.
rm -rf "$dir"
mkdir -p "$dir"

export WINEPREFIX="$dir"
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs: the tests need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

log="$dir.boot.log"
if ! wineboot -i >"$log" 2>&1; then
  echo "wine-prefix.sh: wineboot failed for $dir (see $log)" >&2
  exit 1
fi
wine reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d "$version" /f >>"$log" 2>&1
# Xvfb runs no window manager: Wine would wait 2 s for one to withdraw each
# closed top-level window (every message box). Unmanaged windows need none.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >>"$log" 2>&1
# A crashing test program must fail at once, not sit in winedbg until the
# test's time-out: no debugger is started for unhandled exceptions.
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ /d "" /f >>"$log" 2>&1
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /t REG_SZ /d 1 /f >>"$log" 2>&1
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >>"$log" 2>&1
# The registry reaches the .reg files only when the server is gone.
wineserver -w
# Wine maps Z: to the root of this computer. Removal deletes files, and a
# batch or a path gone wrong must not reach the host through a drive letter:
# only C: (the prefix's drive_c) is left. Programs outside the prefix are
# still started by their Unix path, and reach host files only through Wine's
# \\?\unix\ names.
rm -f "$dir/dosdevices/z:"
for drive in "$dir"/dosdevices/?:; do
  [ -e "$drive" ] || continue
  if [ "$(readlink -f "$drive")" = / ]; then
    echo "wine-prefix.sh: $drive still maps the root" >&2
    exit 1
  fi
done
echo "$stamp" >"$marker"
