#!/usr/bin/env python3
"""Counts the file-list lookups of an extraction pass that wrap.

usage: list-wraps.py SFX TRANSCRIPT [BUILD]

SFX is a self-extractor; TRANSCRIPT holds the robot's "list 301 ..." line for
it (the items of the stub's sorted file list as Wine showed them). The entries
are read the way the stub walks them (local headers from the end of the
configuration header, 16-byte descriptors skipped). For each entry the stub
searches the list from the item after the previous entry's item, wrapping at
the end: a lookup wraps when the entry's item is not after the previous one.
Prints one line: entries, wraps, the items the searches compare (per entry;
1.00 when every item is the next one) and whether the two orders are the same.
Names are read as code page 1252, as the stub hands them to the list.
BUILD is the build tree whose sfxfacts.py gives the format's facts (default
build/win32 beside this folder).
"""
import os
import re
import struct
import sys

sys.path.insert(0, sys.argv[3] if len(sys.argv) > 3 else
                os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build", "win32"))
from sfxfacts import HEADER_OFFSET  # noqa: E402


def walk(path):
    data = open(path, "rb").read()
    pos = HEADER_OFFSET + struct.unpack_from("<H", data, HEADER_OFFSET + 6)[0]
    names = []
    while pos + 30 <= len(data):
        sig = struct.unpack_from("<I", data, pos)[0]
        if sig == 0x08074B50:
            pos += 16
            continue
        if sig != 0x04034B50:
            break
        size, = struct.unpack_from("<I", data, pos + 18)
        n, x = struct.unpack_from("<HH", data, pos + 26)
        names.append(data[pos + 30:pos + 30 + n].decode("cp1252", errors="replace"))
        pos += 30 + n + x + size
    return names


def list_items(path):
    for line in open(path, encoding="utf-8", errors="replace"):
        if line.startswith("list 301 "):
            return re.findall(r'\[[x ]\]"([^"]*)"', line)
    sys.exit("list-wraps: no list 301 line in " + path)


def main():
    entries, items = walk(sys.argv[1]), list_items(sys.argv[2])
    index = {}
    for i, item in enumerate(items):
        index.setdefault(item, i)
    missing = [e for e in entries if e not in index]
    if missing or len(items) != len(entries):
        sys.exit("list-wraps: %d entries, %d items; not in the list: %s"
                 % (len(entries), len(items), missing[:5]))
    previous, wraps, searched = -1, 0, 0
    for e in entries:
        i = index[e]
        searched += (i - previous - 1) % len(items) + 1
        if i <= previous:
            wraps += 1
        previous = i
    print("%d entries, %d wraps, %.2f items searched per entry, same order: %s"
          % (len(entries), wraps, searched / len(entries), "yes" if entries == items else "no"))


if __name__ == "__main__":
    main()
