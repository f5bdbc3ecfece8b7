#!/usr/bin/python3
"""Prints the resources of a PE file as pefile, a PE reader of its own, finds them:
    res TYPE NAME LANGUAGE SHA1      one line a resource
    icon WIDTH BITS                  one line an image of the icon group
    fixed FILEVERSION PRODUCTVERSION the version resource's fixed part
    string KEY=VALUE                 its strings (UTF-8)
    checksum ok|wrong
"""
import hashlib
import struct
import sys

import pefile

pe = pefile.PE(sys.argv[1])
for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
    for n in t.directory.entries:
        for lang in n.directory.entries:
            data = pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
            print("res", t.id, n.name or n.id, lang.id, hashlib.sha1(data).hexdigest())
            if t.id == 14:
                for k in range(struct.unpack_from("<H", data, 4)[0]):
                    w, _, _, _, _, bits = struct.unpack_from("<BBBBHH", data, 6 + 14 * k)
                    print("icon", w, bits)
if hasattr(pe, "VS_FIXEDFILEINFO"):
    f = pe.VS_FIXEDFILEINFO[0]
    v = lambda ms, ls: "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    print("fixed", v(f.FileVersionMS, f.FileVersionLS), v(f.ProductVersionMS, f.ProductVersionLS))
    for info in pe.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            for key, value in table.entries.items():
                print("string %s=%s" % (key.decode(), value.decode()))
print("checksum", "ok" if pe.OPTIONAL_HEADER.CheckSum == pe.generate_checksum() else "wrong")
