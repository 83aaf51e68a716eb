#!/usr/bin/env python3
"""capture_bench_synthetic.py OUT FILES ENTRIES [BASE]: a capture of the
machine BASE (default the fuzz seed of an installed XP machine) with FILES
more file records (in folders of 1,000) and ENTRIES more win.ini [Ports]
entries, sealed with its record count and checksum as the writer seals it."""
import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
out, files, entries = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
base = sys.argv[4] if len(sys.argv) > 4 else os.path.join(
    here, "..", "fuzz", "seeds", "capture", "installed-xp.cap")
lines = open(base, "rb").read().split(b"\n")
body = [l for l in lines[1:] if l and not l.startswith(b"end ")]
windows = b'"C:\\\\WINDOWS'
for i in range(entries):
    body.append(b'ini "win.ini" "Ports" "P%d" "v%d"' % (i, i))
for i in range(files):
    folder = windows + b'\\\\bench%d' % (i // 1000)
    if i % 1000 == 0:
        body.append(b"dir " + folder + b'" 0x10 133786392000000000')
    body.append(b"file " + folder + b'\\\\f%d.dll" 4096 0x20 133786392000000000' % i)
text = lines[0] + b"\n" + b"\n".join(body) + b"\n"
h = 2166136261
for byte in text:
    h = ((h ^ byte) * 16777619) & 0xFFFFFFFF
text += b"end %d fnv1a 0x%08x\n" % (len(body), h)
open(out, "wb").write(text)
