#!/usr/bin/env python3
"""Damages a 7z archive whose header is stored plain (7zz -mhc=off):

  patch_7z_header.py SOURCE FLIPPED NAMELESS DOTDOT ABSOLUTE DRIVE

FLIPPED has one byte of packed data changed; NAMELESS has its name table
turned into padding; the last three have the entry "readme.txt" renamed to
a name that points out of the target folder. The header checksums are made
right again, so that only the change itself is wrong.
"""
import struct
import sys
import zlib

START_HEADER = 32
NAME_PROPERTY, DUMMY_PROPERTY = 0x11, 0x19


def read_number(data, at):
    first = data[at]
    for extra in range(8):
        if not first & (0x80 >> extra):
            high = first & ((0x80 >> extra) - 1)
            low = int.from_bytes(data[at + 1:at + 1 + extra], "little")
            return low + (high << (8 * extra)), at + 1 + extra
    return int.from_bytes(data[at + 1:at + 9], "little"), at + 9


def fix_checksums(data):
    offset, size = struct.unpack_from("<QQ", data, 12)
    header = data[START_HEADER + offset:START_HEADER + offset + size]
    struct.pack_into("<I", data, 28, zlib.crc32(header))
    struct.pack_into("<I", data, 8, zlib.crc32(bytes(data[12:32])))
    return data


def name_property_at(data):
    target = "readme.txt".encode("utf-16-le")
    header = START_HEADER + struct.unpack_from("<Q", data, 12)[0]
    for at in range(header, len(data)):
        if data[at] != NAME_PROPERTY:
            continue
        size, after = read_number(data, at + 1)
        names = data[after + 1:after + size]
        if data[after:after + 1] == b"\0" and target in names and \
                names.endswith(b"\0\0"):
            return at
    sys.exit("patch_7z_header: no name table")


def renamed(data, name):
    old = "readme.txt".encode("utf-16-le")
    new = name.encode("utf-16-le")
    assert len(old) == len(new) and data.count(old) == 1
    return fix_checksums(bytearray(data.replace(old, new)))


def main():
    source = bytearray(open(sys.argv[1], "rb").read())
    flipped = bytearray(source)
    flipped[START_HEADER + 100] ^= 0x55
    nameless = bytearray(source)
    nameless[name_property_at(source)] = DUMMY_PROPERTY
    outputs = [flipped, fix_checksums(nameless), renamed(source, "..\\dmx.txt"),
               renamed(source, "\\eadme.txt"), renamed(source, "C:readme.t")]
    for path, data in zip(sys.argv[2:], outputs):
        open(path, "wb").write(data)


main()
