#!/usr/bin/env python3
"""Deterministic corpora of many small files for bench/wine-extract.

usage: corpus-small.py small DIR PER_FOLDER   40 folders of PER_FOLDER files each
       corpus-small.py names DIR              names that the file list's sort and a
                                              bytewise sort put in different orders

small: files of 10-300 bytes of text. Folder and file names mix case, hyphens,
underscores, dots and digits, as real projects do, so that the file list's order
(case ignored, hyphens skipped on the first level) differs from a bytewise one.
Every name and every content comes from a generator seeded by the file's folder
and index alone: the first N files of each folder are the same for any
PER_FOLDER >= N, so that "small2k" is a part of "small8k".

names: about 600 files whose names are made of letters of both cases, hyphens,
apostrophes, underscores, spaces, digits and code page 1252 letters with accents,
ligatures and sharp s (raw bytes in the Linux names, as the stub reads them), in
five folders. No two names are equal but for case or ligature spelling (the file
list would hold them equal).
"""
import os
import random
import sys

WORDS = ["alpha", "Beta", "core", "Data", "edit", "file", "Graph", "host", "index", "join",
         "Key", "list", "main", "node", "Open", "parse", "query", "read", "Sort", "table",
         "util", "view", "write", "xml", "Yield", "zone"]
EXTS = ["txt", "h", "c", "cfg", "ini", "json", "md", "xml", "dat", "log"]
FOLDERS = 40


def folder_names():
    rng = random.Random("folders")
    names, seen = [], set()
    while len(names) < FOLDERS:
        name = rng.choice(WORDS) + rng.choice(["", "-", "_"]) + rng.choice(WORDS).lower()
        if rng.random() < 0.5:
            name += str(rng.randint(1, 20))
        if name.lower() not in seen:
            seen.add(name.lower())
            names.append(name)
    return names


def file_name(rng):
    stem = rng.choice(WORDS)
    if rng.random() < 0.3:
        stem = stem.upper()
    return "%s%s%s%d.%s" % (stem, rng.choice(["", "-", "_", "."]), rng.choice(WORDS).lower(),
                            rng.randint(1, 999), rng.choice(EXTS))


def content(rng):
    size = rng.randint(10, 300)
    text = []
    while sum(len(w) + 1 for w in text) < size:
        text.append(rng.choice(WORDS) if rng.random() < 0.8 else str(rng.randint(0, 99999)))
    return (" ".join(text) + "\n").encode()[:size]


def small(out, per_folder):
    for f, folder in enumerate(folder_names()):
        os.makedirs(os.path.join(out, folder))
        rng = random.Random("names %d" % f)
        seen = set()
        for i in range(per_folder):
            while True:
                name = file_name(rng)
                if name.lower() not in seen:
                    break
            seen.add(name.lower())
            with open(os.path.join(out, folder, name), "wb") as fh:
                fh.write(content(random.Random("content %d %d" % (f, i))))


PIECES = ["a", "A", "b", "B", "co", "Co", "op", "OP", "x", "Z", "-", "_", "'", " ", "~", "+",
          "0", "1", "2", "10", "9", "\xe9", "\xc9", "\xe8", "\xdf", "\xe6", "\xc6", "\xfc",
          "\xdc", "\xf1", "\xe5", "\xd8"]
NAME_FOLDERS = ["Dir-A", "dir_b", "dir b", "\xc9t\xe9", "co-op"]


def spelling(name):
    # What the list holds equal: case, and the ligatures against their letters.
    s = name.casefold()
    for a, b in (("\xe6", "ae"), ("\u0153", "oe"), ("\xfe", "th")):
        s = s.replace(a, b)
    return s


def names(out):
    rng = random.Random("names")
    seen = set()
    for folder in NAME_FOLDERS:
        os.makedirs(os.path.join(out.encode(), folder.encode("cp1252")))
        for _ in range(120):
            while True:
                name = "".join(rng.choice(PIECES) for _ in range(rng.randint(1, 5)))
                name = name.strip(" ") + rng.choice([".txt", ".TXT", "-1.c", "_2.h", ""])
                path = folder + "/" + name
                if name and not name.endswith(".") and spelling(path) not in seen:
                    break
            seen.add(spelling(path))
            with open(os.path.join(out.encode(), path.encode("cp1252")), "wb") as fh:
                fh.write(path.encode("cp1252") + b"\n")


if __name__ == "__main__":
    if sys.argv[1] == "small":
        small(sys.argv[2], int(sys.argv[3]))
    elif sys.argv[1] == "names":
        names(sys.argv[2])
    else:
        sys.exit(__doc__)
