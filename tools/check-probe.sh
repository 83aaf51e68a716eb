#!/bin/bash
# check-probe.sh <version> <probe.exe> <expected-file>
# Runs a differential probe (a fixed table of Win32 calls, one result line
# each) under Wine at <version> and compares its output with the committed
# file the native tests hold the simulated machine to. A difference means
# Wine (the reference) answers otherwise than when the file was made: look at
# both, then regenerate the file as the probe's header says. 77 when Wine or
# the probe is missing.
set -uo pipefail
[ $# -eq 3 ] || { echo "usage: $0 <version> <probe.exe> <expected-file>" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$here/run-wine-test.sh" "$1" "$2" >"$out"
rc=$?
[ $rc -eq 0 ] || { cat "$out"; exit $rc; }
if diff -u "$3" <(tr -d '\r' <"$out"); then
  echo "probe output matches $3"
else
  echo "the probe's output under Wine differs from $3" >&2
  exit 1
fi
