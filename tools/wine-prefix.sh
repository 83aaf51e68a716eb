#!/bin/bash
# wine-prefix.sh <version> <dir>
# Makes <dir> a Wine prefix that reports Windows <version> (nt40, win95,
# win98, winme, win2k, winxp, vista, win7, win81, win10: Wine's own names),
# with no drive mapped to the host's root. A
# prefix made before is reused as it is; two callers asking for the same
# prefix at once are serialised on <dir>.lock, so the second one waits and
# then finds it ready.
#
# Booting a prefix takes 15 to 20 s of both cores; the version is only a
# registry value read when a program starts. So one booted prefix, the
# base ($KVSUP_WINE_BASE, default .kvsup-base in $KVSUP_WINE_ROOT or beside
# <dir>), is made once and every version's prefix is a copy of it with its
# Version value set (about 2 s).
set -euo pipefail

usage() { echo "usage: $0 nt40|win95|win98|winme|win2k|winxp|vista|win7|win81|win10 <dir>" >&2; exit 2; }
[ $# -eq 2 ] || usage
version=$1
dir=$2
case "$version" in
  nt40 | win95 | win98 | winme | win2k | winxp | vista | win7 | win81 | win10) ;;
  *) usage ;;
esac
command -v wine >/dev/null && command -v wineserver >/dev/null || {
  echo "wine-prefix.sh: wine is not installed (tools/setup.sh installs it)" >&2
  exit 77
}

mkdir -p "$(dirname "$dir")"
dir=$(cd "$(dirname "$dir")" && pwd)/$(basename "$dir")
base=${KVSUP_WINE_BASE:-${KVSUP_WINE_ROOT:-$(dirname "$dir")}/.kvsup-base}
mkdir -p "$(dirname "$base")"
base=$(cd "$(dirname "$base")" && pwd)/$(basename "$base")
revision=rev5

export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs: the tests need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

# make_base: the booted prefix every version is copied from, made once.
make_base() {
  (
    exec 9>"$base.lock"
    flock 9
    [ -f "$base/.kvsup-prefix" ] && [ "$(cat "$base/.kvsup-prefix")" = "base $revision" ] && exit 0
    # A base without the marker is a half-made one: start it again.
    rm -rf "$base"
    mkdir -p "$base"
    export WINEPREFIX="$base"
    log="$base.boot.log"
    if ! wineboot -i >"$log" 2>&1; then
      echo "wine-prefix.sh: wineboot failed for $base (see $log)" >&2
      exit 1
    fi
    # The value every copy rewrites to its own version.
    wine reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d winxp /f >>"$log" 2>&1
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
    rm -f "$base/dosdevices/z:"
    echo "base $revision" >"$base/.kvsup-prefix"
  )
}

exec 9>"$dir.lock"
flock 9

# The marker names the version and the revision of this set-up: a prefix
# made by an older revision is made again.
stamp="$version $revision"
if [ -f "$dir/.kvsup-prefix" ] && [ "$(cat "$dir/.kvsup-prefix")" = "$stamp" ]; then
  exit 0
fi

make_base || exit 1
# A prefix without the marker is a half-made one: start it again from the base.
rm -rf "$dir"
cp -a "$base" "$dir"
rm -f "$dir/.kvsup-prefix"
# The Version value of [Software\\Wine] in the user's hive, set while no
# server runs (the server reads the hive when it starts).
perl -i -pe '
  $in = /^\[Software\\\\Wine\] / if /^\[/;
  s/^"Version"="[^"]*"$/"Version"="'"$version"'"/ if $in;' "$dir/user.reg"
grep -qx "\"Version\"=\"$version\"" "$dir/user.reg" || {
  echo "wine-prefix.sh: could not set the version in $dir/user.reg" >&2
  exit 1
}
for drive in "$dir"/dosdevices/?:; do
  [ -e "$drive" ] || continue
  if [ "$(readlink -f "$drive")" = / ]; then
    echo "wine-prefix.sh: $drive still maps the root" >&2
    exit 1
  fi
done
echo "$stamp" >"$dir/.kvsup-prefix"
