#!/bin/bash
# traced_suite.sh <version> <suite exe> <export> <call>
# Runs a Wine suite with the DLL tracing its calls (KVSUP_TRACE_CALLS): the
# suite's own checks of results and last errors must hold as untraced, and
# the trace must hold only whole lines, with a heading for <export> and a
# line of <call> among them. Exit 77 (skipped) as run-wine-test.sh does.
set -uo pipefail
[ $# -eq 4 ] || { echo "usage: $0 <version> <exe> <export> <call>" >&2; exit 2; }
version=$1
exe=$2
here=$(cd "$(dirname "$0")" && pwd)
root=${KVSUP_WINE_ROOT:-$here/../../build/wine}
name=kvsup-trace-$(basename "$exe" .exe).txt
file=$root/$version/drive_c/$name
rm -f "$file"
trap 'rm -f "$file"' EXIT

KVSUP_TRACE_CALLS="C:\\$name" "$here/../../tools/run-wine-test.sh" "$version" \
  "$exe" "--kv-version=$version" || exit $?
[ -s "$file" ] || { echo "FAIL: no trace written to $file"; exit 1; }
torn=$(grep -cvE '^(== [A-Za-z_0-9]+|[A-Za-z_0-9]+\(.*\)( = .*)?)$' "$file")
if [ "$torn" != 0 ]; then
  echo "FAIL: $torn lines of the trace are not whole calls or headings:"
  grep -vE '^(== [A-Za-z_0-9]+|[A-Za-z_0-9]+\(.*\)( = .*)?)$' "$file" | head
  exit 1
fi
grep -qx "== $3" "$file" || { echo "FAIL: no heading == $3"; exit 1; }
grep -q "^$4(" "$file" || { echo "FAIL: no $4 call traced"; exit 1; }
echo "$(wc -l <"$file") whole trace lines"
