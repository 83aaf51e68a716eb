#!/usr/bin/env python3
"""Where the removal's time goes under Wine, from a relay trace.

    removal_trace.py TRACE

TRACE is the output of kvsup-host.exe run with WINEDEBUG=+timestamp,+relay
and a RelayInclude list naming at least KERNEL32.Sleep, KERNEL32.LoadLibraryA,
KERNEL32.CreateProcessA and the service functions of advapi32. Only the
thread that loads _KVSUP32.dll is followed. Prints the spans of the run and
the time spent in each kind of wait, then one machine-readable line:

    steps start_s=.. removal_s=.. restart_s=.. stop_sleeps=<name>x<n>,..
          poll_sleeps=<n> start_calls=<n> start_calls_s=..
"""
import re
import sys
from collections import Counter, defaultdict

LINE = re.compile(r"^(\d+\.\d+):([0-9a-f]+):(Call|Ret) +([\w.]+)\((.*)")


def main(path):
    with open(path, errors="replace") as f:
        lines = f.read().splitlines()
    events = []
    first = None
    last = None
    for text in lines:
        stamp = re.match(r"^(\d+\.\d+):", text)
        if stamp:
            last = float(stamp.group(1))
            if first is None:
                first = last
        m = LINE.match(text)
        if not m:
            continue
        t = float(m.group(1))
        events.append((t, m.group(2), m.group(3), m.group(4), m.group(5)))
    main_thread = next((e[1] for e in events
                        if e[2] == "Call" and e[3].lower() == "kernel32.loadlibrarya"
                        and "_KVSUP32.dll" in e[4]), None)
    if main_thread is None:
        sys.exit("removal_trace: no thread loads _KVSUP32.dll in " + path)
    mine = [e for e in events if e[1] == main_thread]
    loaded = next(e[0] for e in mine if "_KVSUP32.dll" in e[4])
    restart = next((e[0] for e in mine if e[2] == "Call"
                    and e[3].lower() == "kernel32.createprocessa"), None)
    # The host waits for the restart's cmd.exe, whose lines come last.
    end = last

    # Each call's duration, by function; Sleep(1000) is credited to the
    # service opened last (the stop wait), Sleep(300) to the start poll.
    open_calls = {}
    service = "?"
    durations = defaultdict(float)
    counts = Counter()
    stop_sleeps = Counter()
    for t, _, kind, name, args in mine:
        short = name.split(".")[-1]
        if kind == "Call":
            if restart is not None and t >= restart:
                break
            open_calls[short] = (t, args)
            if short == "OpenServiceA":
                m = re.search(r'"([^"]*)"', args)
                service = m.group(1) if m else "?"
            continue
        if short not in open_calls:
            continue
        start, call_args = open_calls.pop(short)
        key = short
        if short == "Sleep":
            ms = int(call_args.split(")")[0], 16)
            key = "Sleep(%d)" % ms
            if ms == 1000:
                stop_sleeps[service] += 1
        durations[key] += t - start
        counts[key] += 1

    removal_end = restart if restart is not None else end
    print("  host start to library loaded   %6.2f s" % (loaded - first))
    print("  library loaded to restart      %6.2f s" % (removal_end - loaded))
    waits = 0.0
    for key in sorted(durations, key=lambda k: -durations[k]):
        if durations[key] < 0.005:
            continue
        waits += durations[key]
        extra = ""
        if key == "Sleep(1000)":
            extra = " (" + ", ".join("%s %d" % kv for kv in stop_sleeps.items()) + ")"
        print("    %-26s %6.2f s in %d calls%s" % (key, durations[key], counts[key], extra))
    print("    %-26s %6.2f s" % ("everything else", removal_end - loaded - waits))
    if restart is not None:
        print("  restart (cmd.exe) to the end   %6.2f s" % (end - restart))
    print("steps start_s=%.3f removal_s=%.3f restart_s=%.3f stop_sleeps=%s "
          "poll_sleeps=%d start_calls=%d start_calls_s=%.3f" % (
              loaded - first, removal_end - loaded,
              end - restart if restart is not None else 0.0,
              ",".join("%sx%d" % kv for kv in stop_sleeps.items()) or "none",
              counts["Sleep(300)"], counts["StartServiceA"],
              durations["StartServiceA"]))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: removal_trace.py TRACE")
    main(sys.argv[1])
