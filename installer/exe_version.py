#!/usr/bin/env python3
"""Prints the version (major.minor.build.0) of Windows programs, read from their version resource.

Usage: exe_version.py PROGRAM...  All programs must carry the same version: a package has one.
Windows Installer compares only the first three fields of a package's and a file's version, so the
fourth must be 0 (a difference there would decide nothing), and the fields must fit its limits.
"""
import struct
import sys

# VS_FIXEDFILEINFO starts with this signature; the file version and then the product version follow.
SIGNATURE = struct.pack("<I", 0xFEEF04BD)
# ProductVersion's limits: major and minor at most 255, build at most 65535.
LIMITS = (255, 255, 65535)


def versions(path):
    with open(path, "rb") as f:
        data = f.read()
    at = data.find(SIGNATURE)
    if at < 0:
        raise SystemExit(f"{path}: no version resource")
    _sig, _struc, fms, fls, pms, pls = struct.unpack_from("<6I", data, at)
    return tuple((ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF) for ms, ls in ((fms, fls), (pms, pls)))


def checked_version(path):
    file_version, product_version = versions(path)
    text = ".".join(map(str, product_version))
    if file_version != product_version:
        raise SystemExit(f"{path}: file version {'.'.join(map(str, file_version))} is not the product version {text}")
    if product_version[3] != 0:
        raise SystemExit(f"{path}: version {text}: the fourth field must be 0 (Windows Installer ignores it)")
    if any(field > limit for field, limit in zip(product_version, LIMITS)):
        raise SystemExit(f"{path}: version {text} exceeds Windows Installer's 255.255.65535")
    return text


def main(paths):
    if not paths:
        raise SystemExit(__doc__)
    found = {path: checked_version(path) for path in paths}
    if len(set(found.values())) != 1:
        raise SystemExit("programs disagree on their version: " + ", ".join(f"{p} {v}" for p, v in found.items()))
    print(next(iter(found.values())))


if __name__ == "__main__":
    main(sys.argv[1:])
