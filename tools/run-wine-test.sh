#!/bin/bash
# run-wine-test.sh <version> <exe> [args...]
# Runs a cross-built test program under Wine at Windows <version>, in the
# prefix $KVSUP_WINE_ROOT/<version> (default build/wine/<version> of the
# source tree), on a private X display. Returns the program's exit code;
# 77 (skipped) when Wine, Xvfb or the program is missing.
set -uo pipefail

[ $# -ge 2 ] || { echo "usage: $0 <version> <exe> [args...]" >&2; exit 2; }
version=$1
exe=$2
shift 2

here=$(cd "$(dirname "$0")" && pwd)
root=${KVSUP_WINE_ROOT:-$here/../build/wine}

for tool in wine wineserver xvfb-run; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (tools/setup.sh installs it)"
    exit 77
  fi
done
if [ ! -f "$exe" ]; then
  echo "SKIP: $exe has not been built (cmake --preset mingw && cmake --build --preset mingw)"
  exit 77
fi

prefix="$root/$version"
"$here/wine-prefix.sh" "$version" "$prefix" || exit $?

export WINEPREFIX="$prefix"
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="

# One test program at a time per prefix: the suites change the system
# directory, the spooler and system.ini, and restore them afterwards.
exec 8>"$prefix.run.lock"
flock 8

# The program runs from where it was built (drive Z: maps the whole file
# system), so the DLL and the fixtures POST_BUILD put beside it are found
# just as an installer finds its DLL beside itself.
#
# The wine server is started first with its output closed and no
# persistence, so that it ends with the test program and holds no pipe of
# the caller (CTest waits for those); the next run starts it afresh on its
# own display.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  wineserver -p0 </dev/null >/dev/null 2>&1
  wine "$@"
  rc=$?
  wineserver -w
  exit $rc
' run-wine-test "$exe" "$@"
