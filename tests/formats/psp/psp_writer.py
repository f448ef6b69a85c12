#!/usr/bin/env python3
"""Writes Paint Shop Pro files for the reader's tests, from the format's
layout: a signature, the version, then blocks ("~BK\\0", a 16-bit id, for
version 3 a 32-bit initial length, the 32-bit data length); the general
attributes, a palette for palette images, and a layer bank whose layer
holds one channel per plane. In versions above 3 each chunk starts with
its size. Also writes the picture as it should look, as R, G, B bytes.

usage: psp_writer.py OUT.psp OUT.rgb VERSION DEPTH GREY COMPRESSION WIDTH HEIGHT FAULT [...]
(nine arguments a file, as many files as wanted; FAULT is one of none,
no-green, short-length, huge-palette, zero-block, bad-marker)
"""
import random
import struct
import sys
import zlib


def rle(data):
    out = bytearray()
    i = 0
    while i < len(data):
        run = 1
        while i + run < len(data) and data[i + run] == data[i] and run < 127:
            run += 1
        if run >= 3:
            out += bytes([128 + run, data[i]])
            i += run
            continue
        start = i
        while i < len(data) and i - start < 127:
            if i + 2 < len(data) and data[i] == data[i + 1] == data[i + 2]:
                break
            i += 1
        out += bytes([i - start]) + data[start:i]
    return bytes(out)


def write(out, rgb_out, version, depth, grey, compression, width, height, fault):
    version, depth, grey, compression = int(version), int(depth), int(grey), int(compression)
    width, height = int(width), int(height)
    rnd = random.Random(depth * 1000 + width * 7 + height)
    chunked = version > 3

    def block(block_id, data):
        head = b'~BK\0' + struct.pack('<H', block_id)
        if version == 3:
            head += struct.pack('<I', len(data))
        return head + struct.pack('<I', len(data)) + data

    def chunk(data):
        return (struct.pack('<I', len(data) + 4) + data) if chunked else data

    # Pixels and how they look.
    colours = 1 << min(depth, 8)
    palette = [(rnd.randrange(256), rnd.randrange(256), rnd.randrange(256)) for _ in range(colours)]
    looks = bytearray()
    planes = []
    if depth == 24:
        chans = [[rnd.randrange(256) for _ in range(width * height)] for _ in range(3)]
        for i in range(width * height):
            looks += bytes([chans[0][i], chans[1][i], chans[2][i]])
        planes = [(c + 1, bytes(chans[c])) for c in range(3)]
    else:
        values = [rnd.randrange(colours) for _ in range(width * height)]
        row_bytes = {1: (width + 7) // 8, 4: width // 2 + 1, 8: width}[depth]
        data = bytearray(row_bytes * height)
        for y in range(height):
            for x in range(width):
                v = values[y * width + x]
                bit = x * depth
                data[y * row_bytes + bit // 8] |= v << (8 - depth - bit % 8)
                if grey:
                    level = v * 255 // (colours - 1)
                    looks += bytes([level] * 3)
                else:
                    looks += bytes(palette[v])
        planes = [(0, bytes(data))]

    attributes = struct.pack('<IIdBHHHIBIIHI', width, height, 72.0, 1, compression, depth, 1, colours,
                             grey, 0, 0, 1, 1)
    body = block(0, chunk(attributes))
    body += block(1, b'' if fault == 'zero-block' else b'creator block, skipped')
    if depth != 24 and not grey:
        count = 0x7FFFFFFF if fault == 'huge-palette' else colours
        entries = b''.join(bytes([b, g, r, 0]) for (r, g, b) in palette)
        body += block(2, (struct.pack('<I', 8) if chunked else b'') + struct.pack('<I', count) + entries)

    channels = b''
    for kind, raw in planes:
        if fault == 'no-green' and kind == 2:
            continue
        packed = raw if compression == 0 else rle(raw) if compression == 1 else zlib.compress(raw)
        length = len(raw) - 1 if fault == 'short-length' else len(raw)
        info = struct.pack('<IIHH', len(packed), length, 0, kind)
        channels += block(5, chunk(info) + packed)
    name = b'Background'
    fixed = bytes(115)
    if chunked:
        info = chunk(struct.pack('<H', len(name)) + name + fixed)
        info += chunk(struct.pack('<HH', 1, len(planes)))
    else:
        info = name.ljust(256, b'\0') + fixed + struct.pack('<HH', 1, len(planes))
    layer = block(4, info + channels)
    body += block(3, layer)
    if fault == 'bad-marker':
        body += b'#BK\0' + bytes(20)

    signature = b'Paint Shop Pro Image File\n\x1a'.ljust(32, b'\0')
    with open(out, 'wb') as f:
        f.write(signature + struct.pack('<HH', version, 0) + body)
    with open(rgb_out, 'wb') as f:
        f.write(bytes(looks))


args = sys.argv[1:]
for i in range(0, len(args) - 8, 9):
    write(*args[i:i + 9])
