#!/usr/bin/env python3
"""Prints a program's manifest as Windows finds it: resource type 24 (RT_MANIFEST), name 1, through
the PE resource directory; exits 1 without one (under another type or name Windows ignores it).
Usage: pe_manifest.py PROGRAM"""
import struct
import sys


def manifest(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    directories = optional + (112 if struct.unpack_from("<H", data, optional)[0] == 0x20B else 96)
    # Each section: (virtual address, raw size, raw offset).
    table = [struct.unpack_from("<12xIII", data, optional + optional_size + 40 * i) for i in range(sections)]
    offset = lambda rva: next(raw + rva - va for va, size, raw in table if va <= rva < va + size)
    root = offset(struct.unpack_from("<I", data, directories + 2 * 8)[0])  # data directory 2: resources
    at = 0
    for wanted in (24, 1, None):  # type, name, then whichever language
        named, ids = struct.unpack_from("<12xHH", data, root + at)
        entries = [struct.unpack_from("<II", data, root + at + 16 + 8 * i) for i in range(named + ids)]
        found = [target for name, target in entries if wanted in (None, name)]
        if not found:
            return None
        at = found[0] & 0x7FFFFFFF
    rva, size = struct.unpack_from("<II", data, root + at)
    return data[offset(rva):offset(rva) + size]


if __name__ == "__main__":
    with open(sys.argv[1], "rb") as f:
        text = manifest(f.read())
    if text is None:
        sys.exit(f"{sys.argv[1]}: no manifest resource (type 24, name 1)")
    sys.stdout.write(text.decode("utf-8", "replace"))
