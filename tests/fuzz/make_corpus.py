#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (each file well under 4 KB).

corpus/inflate/: a scene byte (see fuzz_inflate.cpp: bit 0 encrypted) followed
by a raw DEFLATE stream made by zlib at levels 0, 1, 6, 9 and with the fixed,
Huffman-only and RLE strategies.
corpus/extract/: an overwrite-mode byte followed by a small ZIP archive made by
Python's zipfile, Info-ZIP zip (-P pw) and 7z (ZipCrypto, -ppw); "pw" is the
password the fuzz target's scripted user types.

Run from anywhere: python3 tests/fuzz/make_corpus.py
"""
import io
import os
import shutil
import subprocess
import tempfile
import warnings
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
PASSWORD = "pw"

TEXT = (b"The quick brown fox jumps over the lazy dog. " * 6 +
        b"Pack my box with five dozen liquor jugs.\n" * 3)
RUNS = b"a" * 300 + b"ab" * 100 + bytes(range(256)) + b"\0" * 200


STAMP = (2020, 1, 2, 3, 4, 6)


def put(z, name, data, method=zipfile.ZIP_DEFLATED):
    info = zipfile.ZipInfo(name, STAMP)
    info.compress_type = method
    z.writestr(info, data)


def raw_deflate(data, level=6, strategy=zlib.Z_DEFAULT_STRATEGY):
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 8, strategy)
    return c.compress(data) + c.flush()


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    assert len(data) < 4096, (name, len(data))
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def inflate_corpus(folder):
    streams = {
        "level0": raw_deflate(TEXT[:200], 0),
        "level1": raw_deflate(TEXT, 1),
        "level6": raw_deflate(TEXT + RUNS, 6),
        "level9": raw_deflate(RUNS, 9),
        "fixed": raw_deflate(TEXT, 9, zlib.Z_FIXED),
        "huffman": raw_deflate(TEXT, 6, zlib.Z_HUFFMAN_ONLY),
        "rle": raw_deflate(RUNS, 6, zlib.Z_RLE),
        "empty": raw_deflate(b"", 6),
    }
    # Nearly a window of runs, then a final stored block that crosses the
    # window's end.
    c = zlib.compressobj(9, zlib.DEFLATED, -15, 8, zlib.Z_FIXED)
    head = c.compress(b"a" * 32500) + c.flush(zlib.Z_SYNC_FLUSH)
    tail = bytes((i * 7) & 0xFF for i in range(1000))
    streams["stored-across-window"] = (head + b"\x01" + len(tail).to_bytes(2, "little") +
                                       (len(tail) ^ 0xFFFF).to_bytes(2, "little") + tail)
    for name, stream in streams.items():
        write(folder, name, b"\x00" + stream)
    # Other scenes (see fuzz_inflate.cpp): encrypted, the entry claiming more
    # than the file holds, a failing allocation of the fixed tables.
    for name in ("level0", "level6", "fixed"):
        write(folder, name + "-encrypted", b"\x01" + streams[name])
    write(folder, "level6-file-ends", b"\x08" + streams["level6"])
    write(folder, "fixed-no-memory", b"\x1c" + streams["fixed"])


def extract_corpus(folder):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        put(z, "docs/", b"", zipfile.ZIP_STORED)
        put(z, "docs/readme.txt", TEXT, zipfile.ZIP_DEFLATED)
        put(z, "stored.bin", RUNS[:150], zipfile.ZIP_STORED)
        put(z, "empty.txt", b"", zipfile.ZIP_DEFLATED)
    write(folder, "zipfile", b"\x00" + buf.getvalue())

    # Paths that exist by the time their entry comes (a name twice, a file entry
    # naming a directory made before), in overwrite modes 1 and 2.
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        put(z, "x.txt", b"first", zipfile.ZIP_STORED)
        put(z, "d/f.txt", TEXT[:100], zipfile.ZIP_DEFLATED)
        put(z, "d/", b"", zipfile.ZIP_STORED)
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            put(z, "x.txt", b"second", zipfile.ZIP_DEFLATED)
            put(z, "d", b"a file where a directory is", zipfile.ZIP_STORED)
    for mode in (1, 2):
        write(folder, "exists-mode%d" % mode, bytes([mode]) + buf.getvalue())

    # A name climbing out of the destination, then an unknown method (6).
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        put(z, "../out.txt", b"outside", zipfile.ZIP_STORED)
        put(z, "m6.bin", b"imploded?", zipfile.ZIP_STORED)
        offset = z.getinfo("m6.bin").header_offset
    data = bytearray(buf.getvalue())
    data[offset + 8] = 6
    write(folder, "traversal-method6", b"\x00" + bytes(data))

    work = tempfile.mkdtemp()
    try:
        src = os.path.join(work, "src")
        os.makedirs(os.path.join(src, "sub"))
        with open(os.path.join(src, "a.txt"), "wb") as f:
            f.write(TEXT)
        with open(os.path.join(src, "sub", "b.bin"), "wb") as f:
            f.write(RUNS[:400])
        for path in ("a.txt", "sub/b.bin", "sub", "."):
            os.utime(os.path.join(src, path), (1577934246, 1577934246))
        made = {
            "zip": ["zip", "-q", "-r", "-X"],
            "zip-encrypted": ["zip", "-q", "-r", "-X", "-P", PASSWORD],
            "zip-encrypted-stored": ["zip", "-q", "-r", "-X", "-0", "-P", PASSWORD],
            "7z-encrypted": ["7z", "a", "-bd", "-tzip", "-mem=ZipCrypto", "-p" + PASSWORD],
        }
        for name, command in made.items():
            archive = os.path.join(work, name + ".zip")
            subprocess.run(command + [archive, "a.txt", "sub"], cwd=src, check=True,
                           stdout=subprocess.DEVNULL)
            with open(archive, "rb") as f:
                data = f.read()
            # Overwrite modes 0 and 2 (2 asks; the target's user answers Yes).
            write(folder, name, bytes([2 if "7z" in name else 0]) + data)
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    for sub in ("inflate", "extract"):
        shutil.rmtree(os.path.join(HERE, "corpus", sub), ignore_errors=True)
    inflate_corpus(os.path.join(HERE, "corpus", "inflate"))
    extract_corpus(os.path.join(HERE, "corpus", "extract"))
