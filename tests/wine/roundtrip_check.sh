#!/bin/bash
# roundtrip_check.sh [--sim | --prefix DIR] <version> <kvsup-host.exe> <native kvsup-host> <kvsup-medium> <seed>...
# The round trip of generated installation media (kvsup-medium) at one
# Windows version, under Wine with the real library and Wine's spooler: per
# medium, on a fresh Wine machine, the second maker's product (second.kvs)
# and a snapshot, our installation (install.kvs) and a snapshot, then the
# removal with the reboot question answered No and the next start
# (remove.kvs) and a last snapshot. A medium passes when the host ran every
# line of its scripts, every printer of ours was made, the leftover report
# of its own first and last snapshots finds nothing unknown, and the second
# maker's printer is the default printer before and after.
#
# Each medium gets a copy of one prefix made for the version, so that none
# meets what an earlier one left (another maker's printer would take the
# default). --prefix DIR runs the media in DIR itself (a prefix of
# tools/wine-prefix.sh, made when missing, kept); --sim runs them on the
# simulated machine with the native host instead, USB printers plugged in
# on Windows 9x. Each medium's line gives its time and each Wine step's.
# Exit 77 (skipped) when Wine or a build is missing.
# KVSUP_ROUNDTRIP_KEEP=DIR keeps each medium's scripts, logs, snapshots and
# whole leftover report in DIR/<version>-<seed>.
set -uo pipefail

mode=wine
given_prefix=
case "${1:-}" in
  --sim) mode=sim; shift ;;
  --prefix) given_prefix=${2:-}; shift 2 ;;
esac
[ $# -ge 5 ] || {
  echo "usage: $0 [--sim | --prefix DIR] <version> <kvsup-host.exe> <native-host> <kvsup-medium> <seed>..." >&2
  exit 2
}
version=$1
win_host=$2
native_host=$3
medium_tool=$4
shift 4
seeds=("$@")
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)

for f in "$native_host" "$medium_tool"; do
  [ -f "$f" ] || { echo "SKIP: $f has not been built"; exit 77; }
done
if [ $mode = wine ]; then
  for tool in wine wineserver xvfb-run; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
  for f in "$win_host" "$(dirname "$win_host")/_KVSUP32.dll"; do
    [ -f "$f" ] || { echo "SKIP: $f has not been built"; exit 77; }
  done
fi

root=${KVSUP_WINE_ROOT:-$src/build/wine}
mkdir -p "$root"
work=$(mktemp -d "$root/roundtrip-$version.XXXXXX") || exit 1
finish() {
  if [ -n "${KVSUP_ROUNDTRIP_KEEP:-}" ]; then
    for seed in "${seeds[@]}"; do
      [ -d "$work/$seed" ] || continue
      mkdir -p "$KVSUP_ROUNDTRIP_KEEP/$version-$seed"
      cp "$work/$seed"/*.kvs "$work/$seed"/*.log "$work/$seed"/*.snap \
        "$KVSUP_ROUNDTRIP_KEEP/$version-$seed/" 2>/dev/null
    done
  fi
  rm -rf "$work"
}
trap finish EXIT
started=$SECONDS

export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# prepare_prefix <prefix>: what the generated media need of Windows.
. "$here/prepare_prefix.sh"
if [ $mode = wine ]; then
  template=${given_prefix:-$work/template}
  "$src/tools/wine-prefix.sh" "$version" "$template" >"$work/prefix.log" 2>&1 || {
    cat "$work/prefix.log"
    exit 1
  }
  prepare_prefix "$template" >>"$work/prefix.log" 2>&1 || {
    cat "$work/prefix.log"
    exit 1
  }
fi
prefix_time=$((SECONDS - started))

# The three scripts on one Wine machine, in one session of its server: the
# host's output (carriage returns dropped) in <step>.log, its exit code in
# <step>.rc, in the medium's folder on drive C:.
wine_medium() {
  local machine=$1 job=$2 at=$3
  (cd "$job" && WINEPREFIX=$machine timeout 240 xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    at=$1
    run() {
      local name=$1 started=$SECONDS
      shift
      wine kvsup-host.exe --answer-boxes "$@" 2>&1 | tr -d "\r" >"$name.log"
      echo "${PIPESTATUS[0]}" >"$name.rc"
      echo "$name $((SECONDS - started))s"
    }
    wineserver -p0 </dev/null >/dev/null 2>&1
    run second --snapshot "${at}before.snap" "${at}second.kvs"
    run install --snapshot "${at}installed.snap" "${at}install.kvs"
    run remove --snapshot "${at}after.snap" "${at}remove.kvs"
    started=$SECONDS
    wineserver -w
    echo "server $((SECONDS - started))s"
  ' roundtrip "$at") >"$job/session.log" 2>&1
}

# The same on the medium's simulated machine, USB printers plugged in after
# the first snapshot.
sim_medium() {
  local dir=$1 seed=$2
  run() {
    local name=$1
    shift
    "$native_host" --machine "$dir/machine" --os "$version" --print-boxes "$@" \
      >"$dir/$name.log" 2>&1
    echo $? >"$dir/$name.rc"
  }
  run second --snapshot "$dir/before.snap" "$dir/second.kvs"
  if grep -q -- '--plug-in' "$dir/medium.log"; then
    "$medium_tool" --seed "$seed" --os "$version" --plug-in "$dir/machine" \
      >>"$dir/second.log" 2>&1 || echo "plug-in failed" >"$dir/second.rc"
  fi
  run install --snapshot "$dir/installed.snap" "$dir/install.kvs"
  run remove --answer no --snapshot "$dir/after.snap" "$dir/remove.kvs"
}

# The printer names ToRegPrinter is given in a script (its fifth argument);
# with DEFAULT_ONLY=1 only the one it makes the default printer.
printers() {
  perl -ne '
    next unless /^ToRegPrinter\((.*)\)$/;
    my @a = map { s/^"(.*)"$/$1/sr =~ s/\\(.)/$1/gr } $1 =~ /("(?:[^"\\]|\\.)*"|[^,\s]+)/g;
    print "$a[4]\n" if !$ENV{DEFAULT_ONLY} || $a[2] eq "1";' "$1"
}
# A name quoted as snapshots write it.
quoted() { perl -pe 's/([\\"])/\\$1/g; s/^/"/; s/$/"/'; }
# The default printer's name, from [windows] device in a snapshot.
default_printer() {
  perl -ne 'next unless /^win\.ini entry "windows" "device" = "((?:[^"\\]|\\.)*)"$/;
    (my $v = $1) =~ s/\\(.)/$1/g;
    print $v =~ s/,.*//r, "\n"' "$1" 2>/dev/null
}
# The leftover report's differences that are no known item, its warnings
# and its total.
unknown_differences() {
  perl -ne 'push @l, $_; END {
    for my $i (0 .. $#l) {
      next if $l[$i] =~ /^ {6}known: / || $l[$i] =~ /^\S.*:$/;
      next if $i < $#l && $l[$i + 1] =~ /^ {6}known: /;
      print "    $l[$i]";
    } }' "$1"
}

fail=0
problem() { problems+=("$*"); }
for seed in "${seeds[@]}"; do
  medium_started=$SECONDS
  dir=$work/$seed
  problems=()
  rm -rf "$dir"
  mkdir -p "$dir"
  if ! "$medium_tool" --seed "$seed" --os "$version" --out "$dir" >"$dir/medium.log" 2>&1; then
    echo "FAIL: seed $seed at $version: kvsup-medium failed"
    cat "$dir/medium.log"
    fail=1
    continue
  fi
  summary=$(head -1 "$dir/medium.log")
  if [ $mode = sim ]; then
    sim_medium "$dir" "$seed"
  elif grep -q -- '--plug-in' "$dir/medium.log"; then
    # Windows 9x makes the USB device entry when the printer is plugged in,
    # which Wine cannot do.
    problem "the medium needs a USB printer plugged in at $version; Wine has none"
  else
    machine=${given_prefix:-$work/machine}
    [ -n "$given_prefix" ] || cp -a "$template" "$machine"
    job=$machine/drive_c/kvrt/$seed
    rm -rf "$job"
    mkdir -p "$job"
    cp "$win_host" "$(dirname "$win_host")/_KVSUP32.dll" "$job/"
    cp -r "$dir"/{medium,second,second.kvs,install.kvs,remove.kvs} "$job/"
    wine_medium "$machine" "$job" "C:\\kvrt\\$seed\\" ||
      problem "the Wine session failed (exit code $?): $(tail -3 "$job/session.log")"
    cp "$job"/*.log "$job"/*.rc "$job"/*.snap "$dir/" 2>/dev/null
    [ -n "$given_prefix" ] || rm -rf "$machine"
  fi

  if [ ${#problems[@]} -eq 0 ]; then
    for step in second install remove; do
      rc=$(cat "$dir/$step.rc" 2>/dev/null || echo "none: it did not finish")
      [ "$rc" = 0 ] || problem "$step.kvs: exit code $rc"
    done
    second=$(DEFAULT_ONLY=1 printers "$dir/second.kvs")
    before=$(default_printer "$dir/before.snap")
    [ "$before" = "$second" ] ||
      problem "before our installation the default printer is \"$before\", not the second maker's \"$second\""
    while IFS= read -r printer; do
      grep -qF "spooler printer $(quoted <<<"$printer") = " "$dir/installed.snap" 2>/dev/null ||
        problem "not installed: $printer"
    done < <(printers "$dir/install.kvs")
    grep -qx '!restart' "$dir/remove.log" 2>/dev/null ||
      problem "the removal did not run to the restart"
    "$native_host" --leftovers "$dir/before.snap" "$dir/after.snap" >"$dir/leftovers.log" 2>&1
    rc=$?
    [ $rc -eq 0 ] ||
      problem "the leftover report (exit code $rc) finds:"$'\n'"$(unknown_differences "$dir/leftovers.log")"
    # The host's manifest declares Windows 10, as installers' do: it sees 10.0.
    [ "$version" != win10 ] || grep -q '^system "10\.0\.' "$dir/before.snap" ||
      problem "the host did not see Windows 10.0: $(grep -m1 '^system ' "$dir/before.snap")"
    after=$(default_printer "$dir/after.snap")
    [ "$after" = "$second" ] ||
      problem "after the removal the default printer is \"$after\", not the second maker's \"$second\""
  fi

  # The time of each Wine step, "second 3s install 4s remove 8s server 0s".
  took="$((SECONDS - medium_started))s"
  [ -f "$dir/session.log" ] && took="$took: $(grep -E '^[a-z]+ [0-9]+s$' "$dir/session.log" | tr '\n' ' ' | sed 's/ $//')"
  if [ ${#problems[@]} -eq 0 ]; then
    echo "ok: seed $seed at $version ($took): $summary"
  else
    fail=1
    echo "FAIL: seed $seed at $version ($mode, $took): $summary"
    printf '  %s\n' "${problems[@]}"
  fi
done
echo "$version: ${#seeds[@]} media in $((SECONDS - started))s (prefix ${prefix_time}s)"
exit $fail
