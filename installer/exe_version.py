#!/usr/bin/env python3
"""Prints the product version (a.b.c.d) of Windows programs, read from their version resource.

Usage: exe_version.py PROGRAM...  All programs must carry the same version: a package has one.
"""
import struct
import sys

# VS_FIXEDFILEINFO starts with this signature; the product version follows the file version.
SIGNATURE = struct.pack("<I", 0xFEEF04BD)


def product_version(path):
    with open(path, "rb") as f:
        data = f.read()
    at = data.find(SIGNATURE)
    if at < 0:
        raise SystemExit(f"{path}: no version resource")
    _sig, _struc, _fms, _fls, pms, pls = struct.unpack_from("<6I", data, at)
    return f"{pms >> 16}.{pms & 0xFFFF}.{pls >> 16}.{pls & 0xFFFF}"


def main(paths):
    if not paths:
        raise SystemExit(__doc__)
    versions = {path: product_version(path) for path in paths}
    if len(set(versions.values())) != 1:
        raise SystemExit("programs disagree on their version: " + ", ".join(f"{p} {v}" for p, v in versions.items()))
    print(next(iter(versions.values())))


if __name__ == "__main__":
    main(sys.argv[1:])
