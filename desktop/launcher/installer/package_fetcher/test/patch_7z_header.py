#!/usr/bin/env python3
"""Makes hostile and unusual 7z archives out of ones whose header is stored
plain (7zz -mhc=off):

  patch_7z_header.py damaged SOURCE FLIPPED NAMELESS DOTDOT ABSOLUTE DRIVE DEVICE
    FLIPPED has one byte of packed data changed; NAMELESS has its name table
    turned into padding; the others have the entry "readme.txt" renamed to a
    name that points out of the target folder or names a device.
  patch_7z_header.py current_folder SOURCE OUT FOLDER
    Every name starts with "./" and the folder entry FOLDER becomes ".", as
    archivers write an archive of the current folder.
  patch_7z_header.py rename SOURCE OUT OLD NEW [OLD NEW]...
    The entry named OLD is named NEW, for each pair.
  patch_7z_header.py deep SOURCE OUT DEPTH
    The first entry is named by DEPTH folders "a" and then "f".
  patch_7z_header.py huge_block SOURCE OUT SIZE
    The first block claims SIZE unpacked bytes; SOURCE has one coder in it.
  patch_7z_header.py long_block SOURCE OUT EXTRA
    The same block claims EXTRA unpacked bytes more than its data holds.
  patch_7z_header.py block_crc SOURCE OUT
    The same block is given a checksum of its own, which is wrong.
  patch_7z_header.py flip_packed SOURCE OUT
    Sixteen bytes in the middle of the last packed stream are changed.
  patch_7z_header.py short_packed SOURCE OUT
    The last packed stream is said to be half as long as it is.
  patch_7z_header.py long_packed SOURCE OUT
    Sixteen bytes follow the last packed stream, which is said to hold them.
  patch_7z_header.py bad_crc SOURCE OUT FILE
    The checksum recorded for the item whose bytes FILE holds is wrong.
  patch_7z_header.py bad_time SOURCE OUT FILE
    The item whose modification time FILE has gets one that Windows refuses
    to give a file.

The header checksums are made right again, so that only the change itself
is wrong.
"""
import os
import struct
import sys
import zlib

START_HEADER = 32
NAME_PROPERTY, DUMMY_PROPERTY = 0x11, 0x19
PACK_INFO, UNPACK_INFO, FOLDER, SIZE, UNPACK_SIZE, CRC, END = (
    0x06, 0x07, 0x0B, 0x09, 0x0C, 0x0A, 0x00)


def read_number(data, at):
    first = data[at]
    for extra in range(8):
        if not first & (0x80 >> extra):
            high = first & ((0x80 >> extra) - 1)
            low = int.from_bytes(data[at + 1:at + 1 + extra], "little")
            return low + (high << (8 * extra)), at + 1 + extra
    return int.from_bytes(data[at + 1:at + 9], "little"), at + 9


def number(value):
    """The shortest encoding of |value|, as read_number reads it."""
    for extra in range(8):
        high = value >> (8 * extra)
        if high < (0x80 >> extra):
            mark = (0xFF00 >> extra) & 0xFF
            return bytes([mark | high]) + value.to_bytes(8, "little")[:extra]
    return b"\xFF" + value.to_bytes(8, "little")


def header_span(data):
    offset, size = struct.unpack_from("<QQ", data, 12)
    return START_HEADER + offset, START_HEADER + offset + size


def with_header(data, header):
    """|data| with its header replaced, sizes and checksums made right."""
    start, _ = header_span(data)
    data = bytearray(data[:start] + header)
    struct.pack_into("<QI", data, 20, len(header), zlib.crc32(header))
    struct.pack_into("<I", data, 8, zlib.crc32(bytes(data[12:32])))
    return data


def name_table(data):
    """The header, and where its name property starts and ends."""
    start, end = header_span(data)
    header = bytes(data[start:end])
    for at in range(len(header)):
        if header[at] != NAME_PROPERTY:
            continue
        size, after = read_number(header, at + 1)
        names = header[after + 1:after + size]
        if header[after:after + 1] == b"\0" and after + size <= len(header) \
                and len(names) % 2 == 0 and names.endswith(b"\0\0"):
            return header, at, after + size
    sys.exit("patch_7z_header: no name table")


def names_of(data):
    header, at, end = name_table(data)
    _, after = read_number(header, at + 1)
    return header[after + 1:end].decode("utf-16-le").split("\0")[:-1]


def with_names(data, names):
    header, at, end = name_table(data)
    table = b"\0" + "".join(name + "\0" for name in names).encode("utf-16-le")
    return with_header(data, header[:at] + bytes([NAME_PROPERTY]) +
                       number(len(table)) + table + header[end:])


def renamed(data, pairs):
    names = dict(pairs)
    return with_names(data, [names.get(n, n) for n in names_of(data)])


def damaged(source):
    flipped = bytearray(source)
    flipped[START_HEADER + 100] ^= 0x55
    header, at, _ = name_table(source)
    nameless = bytearray(header)
    nameless[at] = DUMMY_PROPERTY
    return [flipped, with_header(source, bytes(nameless))] + [
        renamed(source, [("readme.txt", name)])
        for name in ("..\\dmx.txt", "\\eadme.txt", "C:readme.t", "sub/nul.txt")
    ]


def current_folder(source, folder):
    return with_names(source, ["." if n == folder else "./" + n
                               for n in names_of(source)])


def deep(source, depth):
    names = names_of(source)
    return with_names(source, ["a\\" * depth + "f"] + names[1:])


def block_size(source):
    """The header, where the unpacked size of its one block starts and ends,
    and that size: the header starts with the pack and unpack information
    and holds one folder of one simple coder."""
    header = bytes(source[slice(*header_span(source))])
    assert header[:3] == b"\x01\x04" + bytes([PACK_INFO])
    _, at = read_number(header, 3)  # pack position
    streams, at = read_number(header, at)
    assert header[at] == SIZE
    at += 1
    for _ in range(streams):
        _, at = read_number(header, at)
    assert header[at:at + 3] == bytes([END, UNPACK_INFO, FOLDER])
    folders, at = read_number(header, at + 3)
    coders, at = read_number(header, at + 1)  # after the external flag
    assert folders == 1 and coders == 1
    flags = header[at]
    assert not flags & 0x10
    at += 1 + (flags & 0x0F)
    if flags & 0x20:
        properties, at = read_number(header, at)
        at += properties
    assert header[at] == UNPACK_SIZE
    size, end = read_number(header, at + 1)
    return header, at + 1, end, size


def huge_block(source, size):
    header, at, end, _ = block_size(source)
    return with_header(source, header[:at] + number(size) + header[end:])


def long_block(source, extra):
    header, at, end, size = block_size(source)
    return with_header(source,
                       header[:at] + number(size + extra) + header[end:])


def block_crc(source):
    header, _, end, _ = block_size(source)
    assert header[end] == END
    return with_header(source, header[:end] + bytes([CRC, 1]) +
                       b"\xDE\xC0\xAD\x0B" + header[end:])


def pack_sizes(header):
    """The packed streams' sizes in a header that starts with them, and
    where the last one's number starts and ends."""
    assert header[:3] == b"\x01\x04" + bytes([PACK_INFO])
    _, at = read_number(header, 3)  # pack position
    streams, at = read_number(header, at)
    assert header[at] == SIZE
    at += 1
    sizes = []
    for _ in range(streams):
        start = at
        size, at = read_number(header, at)
        sizes.append(size)
    return sizes, start, at


def flip_packed(source):
    header = bytes(source[slice(*header_span(source))])
    sizes, _, _ = pack_sizes(header)
    position, _ = read_number(header, 3)
    middle = START_HEADER + position + sum(sizes[:-1]) + sizes[-1] // 2
    flipped = bytearray(source)
    for at in range(middle, middle + 16):
        flipped[at] ^= 0x55
    return flipped


def short_packed(source):
    header = bytes(source[slice(*header_span(source))])
    sizes, start, end = pack_sizes(header)
    return with_header(source, header[:start] + number(sizes[-1] // 2) +
                       header[end:])


def long_packed(source):
    header = bytes(source[slice(*header_span(source))])
    sizes, start, end = pack_sizes(header)
    position, _ = read_number(header, 3)
    after = START_HEADER + position + sum(sizes)
    header = header[:start] + number(sizes[-1] + 16) + header[end:]
    data = bytearray(source[:after] + b"\x5A" * 16 + source[after:])
    offset, _ = struct.unpack_from("<QQ", data, 12)
    struct.pack_into("<Q", data, 12, offset + 16)
    return with_header(data, header)


def bad_time(source, item):
    header = bytes(source[slice(*header_span(source))])
    # Windows counts 100 ns from 1601; times with the top bit set are refused.
    time = struct.pack("<Q", os.stat(item).st_mtime_ns // 100 +
                       116444736000000000)
    assert header.count(time) == 1
    at = header.index(time)
    return with_header(source, header[:at] + struct.pack("<Q", 1 << 63) +
                       header[at + 8:])


def bad_crc(source, item):
    header = bytes(source[slice(*header_span(source))])
    crc = struct.pack("<I", zlib.crc32(open(item, "rb").read()))
    assert header.count(crc) == 1
    at = header.index(crc)
    return with_header(source, header[:at] + bytes([crc[0] ^ 0x55]) +
                       header[at + 1:])


def main():
    command, source = sys.argv[1], open(sys.argv[2], "rb").read()
    if command == "damaged":
        outputs = zip(sys.argv[3:], damaged(source))
    elif command == "current_folder":
        outputs = [(sys.argv[3], current_folder(source, sys.argv[4]))]
    elif command == "rename":
        pairs = sys.argv[4:]
        outputs = [(sys.argv[3], renamed(source, zip(pairs[::2], pairs[1::2])))]
    elif command == "deep":
        outputs = [(sys.argv[3], deep(source, int(sys.argv[4])))]
    elif command == "huge_block":
        outputs = [(sys.argv[3], huge_block(source, int(sys.argv[4])))]
    elif command == "flip_packed":
        outputs = [(sys.argv[3], flip_packed(source))]
    elif command == "long_block":
        outputs = [(sys.argv[3], long_block(source, int(sys.argv[4])))]
    elif command == "block_crc":
        outputs = [(sys.argv[3], block_crc(source))]
    elif command == "long_packed":
        outputs = [(sys.argv[3], long_packed(source))]
    elif command == "short_packed":
        outputs = [(sys.argv[3], short_packed(source))]
    elif command == "bad_crc":
        outputs = [(sys.argv[3], bad_crc(source, sys.argv[4]))]
    elif command == "bad_time":
        outputs = [(sys.argv[3], bad_time(source, sys.argv[4]))]
    else:
        sys.exit("patch_7z_header: unknown command " + command)
    for path, data in outputs:
        open(path, "wb").write(data)


main()
