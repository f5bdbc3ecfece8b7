#!/usr/bin/env python3
"""zipentry: facts about one entry of a self-extractor (or any file holding ZIP local
headers), read the way the stub reads them: by walking the local headers from the first
one, never through the central directory.

  zipentry.py where FILE NAME
      prints "HEADER DATA METHOD FLAGS COMPRESSED": the entry's local header offset, the
      offset of its data (after name and extra field), and three header fields
  zipentry.py wrong-passwords FILE NAME COUNT
      prints COUNT passwords, one a line, that the entry's one-byte password check
      refuses (a wrong password passes that check once in 256 tries, and a scenario that
      expects three refusals must not depend on luck)
"""
import struct
import sys

LOCAL = b"PK\x03\x04"
DESCRIPTOR = b"PK\x07\x08"


def walk(data):
    pos = data.find(LOCAL)  # the stub image holds no ZIP signature by design
    while pos >= 0 and data[pos:pos + 4] in (LOCAL, DESCRIPTOR):
        if data[pos:pos + 4] == DESCRIPTOR:
            pos += 16
            continue
        (flags, method, mtime, mdate, crc, csize, _usize, nlen,
         xlen) = struct.unpack_from("<HHHHIIIHH", data, pos + 6)
        name = data[pos + 30:pos + 30 + nlen].decode("latin-1")
        start = pos + 30 + nlen + xlen
        yield dict(name=name, header=pos, data=start, method=method, flags=flags,
                   time=mtime, crc=crc, size=csize)
        pos = start + csize


def entry(path, name):
    with open(path, "rb") as f:
        data = f.read()
    for e in walk(data):
        if e["name"] == name:
            return e, data
    sys.exit(f"zipentry: no entry {name!r} in {path}")


def crc32_table():
    table = []
    for n in range(256):
        c = n
        for _ in range(8):
            c = (c >> 1) ^ 0xEDB88320 if c & 1 else c >> 1
        table.append(c)
    return table


TABLE = crc32_table()


def crc_byte(crc, b):
    return TABLE[(crc ^ b) & 0xFF] ^ (crc >> 8)


def check_byte_passes(password, header12, expected):
    """Traditional ZIP decryption of the 12-byte encryption header; true when its last
    byte equals the expected check byte."""
    k0, k1, k2 = 0x12345678, 0x23456789, 0x34567890

    def update(b):
        nonlocal k0, k1, k2
        k0 = crc_byte(k0, b)
        k1 = ((k1 + (k0 & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        k2 = crc_byte(k2, k1 >> 24)

    for b in password.encode("latin-1"):
        update(b)
    plain = 0
    for c in header12:
        t = (k2 | 2) & 0xFFFF
        plain = c ^ (((t * (t ^ 1)) >> 8) & 0xFF)
        update(plain)
    return plain == expected


def main(argv):
    if len(argv) >= 3 and argv[0] == "where":
        e, _ = entry(argv[1], argv[2])
        print(e["header"], e["data"], e["method"], e["flags"], e["size"])
    elif len(argv) >= 4 and argv[0] == "wrong-passwords":
        e, data = entry(argv[1], argv[2])
        if not e["flags"] & 1:
            sys.exit(f"zipentry: {argv[2]!r} is not encrypted")
        expected = (e["time"] >> 8) if e["flags"] & 8 else (e["crc"] >> 24)
        header12 = data[e["data"]:e["data"] + 12]
        found = 0
        n = 0
        while found < int(argv[3]):
            candidate = f"wrong{n}"
            n += 1
            if not check_byte_passes(candidate, header12, expected):
                print(candidate)
                found += 1
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
