#!/usr/bin/env python3
"""Writes the kept inputs of fuzz/regressions/ that were made by hand rather
than found by a fuzzer, each from its format's layout.

usage: fuzz/regressions/make_inputs.py [FOLDER]   (default: the folder of
this script; the inputs go into FOLDER/<target>/)
"""

import os
import struct
import sys
import zlib


def tiff(entries, data, big=False):
    """A TIFF of one directory right after the header and data after it.
    entries: (tag, type, value) with value a number that fits the entry;
    the tag 273 (strip offset) is filled in."""
    order = ">" if big else "<"
    count = len(entries) + 1
    data_at = 8 + 2 + 12 * count + 4
    rows = sorted(entries + [(273, 4, data_at)])
    out = (b"MM" if big else b"II") + struct.pack(order + "HI", 42, 8)
    out += struct.pack(order + "H", count)
    for tag, kind, value in rows:
        if kind == 3:
            field = struct.pack(order + "HH", value, 0)
        else:
            field = struct.pack(order + "I", value)
        out += struct.pack(order + "HHI", tag, kind, 1) + field
    out += struct.pack(order + "I", 0)
    return out + data


def tiff_claim(compression, bits, strip, big=False):
    # One strip of a few coded bytes claiming 16384 x 16384 grey pixels.
    return tiff([(256, 3, 16384), (257, 3, 16384), (258, 3, bits), (259, 3, compression), (262, 3, 1),
                 (277, 3, 1), (278, 3, 16384), (279, 4, len(strip))], strip, big)


def png(width, height, depth, colour_type, data, interlace=0):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    header = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, interlace)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", data) + chunk(b"IEND", b"")


def png_claim(interlace=0):
    # The first rows of a 16384 x 16384 RGB picture, their stream cut off.
    stream = zlib.compress(bytes(16384 * 3 * 4 + 4), 9)[:-6]
    return png(16384, 16384, 8, 2, stream, interlace)


def bmp_rle_claim():
    # 16384 x 16384 RLE8: runs that never end a row, no end of bitmap
    # (118 bytes).
    codes = bytes([0xFF, 1]) * 28
    palette = bytes([0, 0, 0, 0, 0, 0, 255, 0])
    info = struct.pack("<IiiHHIIiiII", 40, 16384, 16384, 1, 8, 1, len(codes), 2835, 2835, 2, 0)
    offset = 14 + len(info) + len(palette)
    return b"BM" + struct.pack("<IHHI", offset + len(codes), 0, 0, offset) + info + palette + codes


def jpeg_grey(width, height, data):
    # Baseline grey, every code one bit: a DC difference of 0 and an end
    # of block, the least a block can take (two bits).
    def segment(marker, body):
        return bytes([0xFF, marker]) + struct.pack(">H", len(body) + 2) + body
    one_symbol = bytes([1] + [0] * 15 + [0])
    return (b"\xff\xd8" + segment(0xDB, bytes(1) + bytes([1]) * 64) +
            segment(0xC0, struct.pack(">BHHB", 8, height, width, 1) + bytes([1, 0x11, 0])) +
            segment(0xC4, bytes([0x00]) + one_symbol) + segment(0xC4, bytes([0x10]) + one_symbol) +
            segment(0xDA, bytes([1, 1, 0, 0, 63, 0])) + data + b"\xff\xd9")


def fax_zero_bits():
    # A Group 3 strip of nothing but zero bits: the end-of-line search
    # runs through 64 zeros at once (184 bytes).
    strip = bytes(62)
    return tiff([(256, 3, 1728), (257, 3, 8), (258, 3, 1), (259, 3, 3), (262, 3, 0), (277, 3, 1),
                 (278, 3, 8), (279, 4, len(strip))], strip)


def ccitt_zero_bits():
    # The fax target's form: Group 3 (4), width 1 + 1727, 1 + 7 rows.
    return bytes([4, 0xBF, 0x06, 7]) + bytes(62)


INPUTS = {
    # Few bytes claiming a picture of the pixel cap: the readers refuse them
    # before the picture is allocated. run_fuzzer.sh replays this folder
    # with the targets' skip of large pictures off.
    "fuzz_formats_tiff/large-claims/packbits-16384x16384.tif":
        lambda: tiff_claim(32773, 8, bytes([0x81, 0x07]) * 8),
    "fuzz_formats_tiff/large-claims/deflate-16384x16384.tif":
        lambda: tiff_claim(8, 8, zlib.compress(bytes(16384 * 8), 9), big=True),
    "fuzz_formats_tiff/large-claims/group3-16384x16384.tif":
        lambda: tiff_claim(3, 1, bytes([0x00, 0x13, 0x4D, 0x30, 0xD4]) * 4),
    "fuzz_formats_png_reader/large-claims/rgb-16384x16384.png": png_claim,
    "fuzz_formats_png_reader/large-claims/interlaced-rgb-16384x16384.png": lambda: png_claim(1),
    "fuzz_formats_png/large-claims/rgb-16384x16384.png": png_claim,
    "fuzz_formats_png/large-claims/interlaced-rgb-16384x16384.png": lambda: png_claim(1),
    "fuzz_core_bmp/large-claims/rle8-16384x16384.bmp": bmp_rle_claim,
    "fuzz_core_jpeg/large-claims/grey-16384x16384.jpg": lambda: jpeg_grey(16384, 16384, bytes(128)),
    "fuzz_formats_tiff/group3-zero-bits.tif": fax_zero_bits,
    "fuzz_formats_ccitt/group3-zero-bits.bin": ccitt_zero_bits,
}


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, make in INPUTS.items():
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(make())


if __name__ == "__main__":
    main()
