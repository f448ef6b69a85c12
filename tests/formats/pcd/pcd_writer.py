#!/usr/bin/env python3
"""Writes Photo-CD image packs for the reader's tests, from the format's
layout: 6144 header bytes ("PCD" at 2048, the version at 10, the
orientation in byte 3586; "PCD_OPA" at 0 for an overview pack), then the
stored images of resolution 0 at sector 4, 1 at sector 23 and 2 at
sector 96 (an overview pack's only image at sector 5), a sector being 2048
bytes. A stored image is pairs of luma rows of the full width followed by
one row of each chroma plane (C1, then C2) of half the width.

The base image (resolution 2, or the overview's) has luma (x + 2y) mod
256, C1 156, and C2 200 in the left half and 137 in the right; the other
resolutions hold luma 0, so a reader that takes the wrong one shows it.

usage: pcd_writer.py OUT ORIENTATION [overview]
"""
import sys


def stored(width, height, base):
    out = bytearray()
    for pair in range(height // 2):
        for y in (2 * pair, 2 * pair + 1):
            out += bytes(((x + 2 * y) % 256 if base else 0) for x in range(width))
        out += bytes([156]) * (width // 2)
        out += bytes((200 if x < width // 4 else 137) for x in range(width // 2))
    return bytes(out)


def main():
    out, orientation = sys.argv[1], int(sys.argv[2])
    overview = len(sys.argv) > 3 and sys.argv[3] == 'overview'
    head = bytearray(6144)
    if overview:
        head[0:7] = b'PCD_OPA'
    else:
        head[2048:2055] = b'PCD_IPI'
    head[10:12] = bytes([1, 2])
    head[3586] = 0xF0 | orientation
    data = bytearray(head)

    def put(sector, image):
        nonlocal data
        start = sector * 2048
        if len(data) < start:
            data += bytes(start - len(data))
        data[start:start + len(image)] = image

    if overview:
        put(5, stored(192, 128, True))
    else:
        put(4, stored(192, 128, False))
        put(23, stored(384, 256, False))
        put(96, stored(768, 512, True))
    with open(out, 'wb') as f:
        f.write(bytes(data))


main()
