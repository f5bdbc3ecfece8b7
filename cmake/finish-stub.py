#!/usr/bin/env python3
"""Post-link step of the stub: turns the linked image into the shipped file.

    finish-stub.py STUB MAP HEADER_OFFSET TIME_STAMP

Six jobs, in this order:
  1. size        the image must fit below HEADER_OFFSET, where the builder puts the
                 configuration header;
  2. directory   the data-directory entries the linker leaves empty because their
                 tables do not live in sections of the usual names (cmake/stub.ld), written
                 from the symbols that bound the tables in the map file;
  3. signatures  no ZIP record signature anywhere in the image, so that no ZIP reader
                 takes stub bytes for an archive record;
  4. padding     zero bytes up to HEADER_OFFSET, inside the last section's file block;
  5. time stamp   the PE header's TimeDateStamp (the linker writes none, so that the same
                 sources give the same bytes): TIME_STAMP, seconds since 1970;
  6. checksum     the PE checksum of the padded file, last, as it covers every byte (the
                 linker's is stale once the steps above changed the header).
A failed job removes the stub, so that the next build links it again; an image that is
too large is kept aside as STUB.oversize for a look at what grew (objdump -h).

This is a program and not a CMake script because CMake strings cannot hold a zero byte,
and both the entries and the padding are mostly zero bytes.
"""
import os
import re
import struct
import sys

# Data-directory entries filled here: index, what, the map symbols at its start and end.
DIRECTORY_ENTRIES = [
    (1, "import directory", "__import_directory_start__", "__import_directory_end__"),
    (2, "resource directory", "__resource_directory_start__", "__resource_directory_end__"),
]
SIGNATURES = [b"PK\x03\x04", b"PK\x01\x02", b"PK\x05\x06", b"PK\x07\x08"]


class Failed(Exception):
    pass


def check_size(image, header_offset):
    if len(image) > header_offset:
        raise Failed("stub image is %d bytes, more than HEADER_OFFSET %d"
                     % (len(image), header_offset))


def pe_headers(image):
    """Offsets of the PE32 optional header and of the section table, and the section count."""
    pe = sfxfacts.pe_header(image)
    if image[pe:pe + 4] != b"PE\0\0":
        raise Failed("no PE signature")
    sections, _, _, _, optional_size = struct.unpack_from("<HIIIH", image, pe + 6)
    return pe + 24, pe + 24 + optional_size, sections


def map_symbols(map_path):
    symbols = {}
    with open(map_path) as f:
        for line in f:
            m = re.match(r"\s+0x([0-9a-fA-F]+)\s+(__\w+__) = ", line)
            if m:
                symbols[m.group(2)] = int(m.group(1), 16)
    return symbols


def write_directory_entries(image, map_path):
    opt, _, _ = pe_headers(image)
    image_base = struct.unpack_from("<I", image, opt + 28)[0]
    symbols = map_symbols(map_path)
    for index, what, start, end in DIRECTORY_ENTRIES:
        if start not in symbols or end not in symbols:
            raise Failed("no %s symbols (%s, %s) in %s" % (what, start, end, map_path))
        # The data directory begins 96 bytes into the PE32 optional header; 8 bytes an entry.
        struct.pack_into("<II", image, opt + 96 + 8 * index,
                         symbols[start] - image_base, symbols[end] - symbols[start])


def check_signatures(image):
    for sig in SIGNATURES:
        at = image.find(sig)
        if at >= 0:
            raise Failed("stub image holds the ZIP signature %s at byte %d" % (sig.hex(), at))


def pad(image, header_offset):
    """Zero bytes up to HEADER_OFFSET, and the last section's file block grown over them
    (as far as its addresses allow): the room below the header then belongs to the
    section that ends with the resource tree, where the builder may lay out a larger one."""
    image.extend(bytes(header_offset - len(image)))
    opt, table, count = pe_headers(image)
    headers = [table + 40 * i for i in range(count)]
    last = max(headers, key=lambda h: struct.unpack_from("<I", image, h + 20)[0])
    virtual_size, rva, raw_size, raw_offset = struct.unpack_from("<IIII", image, last + 8)
    later = [struct.unpack_from("<I", image, h + 12)[0] for h in headers
             if struct.unpack_from("<I", image, h + 12)[0] > rva]
    grown = header_offset - raw_offset
    if later:
        grown = min(grown, min(later) - rva)
    if grown > raw_size:
        struct.pack_into("<I", image, last + 16, grown)


def set_time_stamp(image, seconds):
    opt, _, _ = pe_headers(image)
    # TimeDateStamp is the second field of the COFF header, which ends at the optional header.
    struct.pack_into("<I", image, opt - 20 + 4, seconds & 0xFFFFFFFF)


def pe_checksum(image):
    """The PE checksum: 16-bit one's-complement-style sum of the file's words with the
    CheckSum field taken as zero, folded, plus the file's length."""
    opt, _, _ = pe_headers(image)
    at = opt + 64  # CheckSum in the optional header
    data = bytes(image[:at]) + b"\0\0\0\0" + bytes(image[at + 4:])
    if len(data) % 2:
        data += b"\0"
    total = 0
    for (word,) in struct.iter_unpack("<H", data):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return ((total & 0xFFFF) + len(image)) & 0xFFFFFFFF, at


def section_fill(image):
    """'.text 17728/17920, ...': each section's used bytes against its room in the file."""
    _, table, count = pe_headers(image)
    parts = []
    for i in range(count):
        header = table + 40 * i
        name = image[header:header + 8].rstrip(b"\0").decode()
        virtual_size, _, raw_size = struct.unpack_from("<III", image, header + 8)
        if raw_size:
            parts.append("%s %d/%d" % (name, min(virtual_size, raw_size), raw_size))
    return ", ".join(parts)


sfxfacts = None


def main():
    global sfxfacts
    stub, map_path, header_offset = sys.argv[1], sys.argv[2], int(sys.argv[3])
    time_stamp = int(sys.argv[4])
    # The build tree's format facts (sfxfacts.py) lie beside the stub.
    sys.path.insert(0, os.path.dirname(os.path.abspath(stub)))
    import sfxfacts
    with open(stub, "rb") as f:
        image = bytearray(f.read())
    linked = len(image)
    try:
        check_size(image, header_offset)
        write_directory_entries(image, map_path)
        check_signatures(image)
        fill = section_fill(image)
        pad(image, header_offset)
        set_time_stamp(image, time_stamp)
        checksum, at = pe_checksum(image)
        struct.pack_into("<I", image, at, checksum)
    except Failed as e:
        if linked > header_offset:
            os.replace(stub, stub + ".oversize")
        else:
            os.remove(stub)
        print("finish-stub: %s" % e, file=sys.stderr)
        return 1
    with open(stub, "wb") as f:
        f.write(image)
    if os.path.exists(stub + ".oversize"):
        os.remove(stub + ".oversize")
    print("stub image: %d bytes of code and data (%s), padded to %d"
          % (linked, fill, header_offset))
    return 0


if __name__ == "__main__":
    sys.exit(main())
