#!/usr/bin/env python3
"""Writes a folder of damaged pictures made from good ones.

usage: damaged_images.py OUT_DIR SOURCE...

Every source is copied once as it is ("good-NNN-<name>") and then damaged
in three ways, each file named "<kind>-NNN-<variant>-<name>" so that the
extension stays the source's:
  cut    truncated after 1 and 8 bytes, a quarter, half, three quarters and
         all but the last byte;
  flip   one to eight bits flipped at places drawn from a fixed seed;
  field  a 16- or 32-bit field of the header set to an extreme (all ones,
         zero, the largest and smallest signed values), both byte orders.
Prints the number of files written.
"""

import os
import random
import sys


def cuts(data):
    n = len(data)
    for keep in sorted({1, 8, n // 4, n // 2, 3 * n // 4, n - 1}):
        if 0 < keep < n:
            yield "cut%d" % keep, data[:keep]


def flips(data, rng):
    for count in range(1, 9):
        damaged = bytearray(data)
        for _ in range(count):
            at = rng.randrange(len(damaged))
            damaged[at] ^= 1 << rng.randrange(8)
        yield "flip%d" % count, bytes(damaged)


EXTREMES = {
    2: [b"\xff\xff", b"\x00\x00", b"\xff\x7f", b"\x7f\xff", b"\x00\x80"],
    4: [b"\xff\xff\xff\xff", b"\x00\x00\x00\x00", b"\xff\xff\xff\x7f", b"\x7f\xff\xff\xff"],
}


def fields(data, rng):
    # Header fields lie near the start; a few places of each width.
    header = min(len(data), 64)
    for width, values in EXTREMES.items():
        if header < width:
            continue
        places = sorted(rng.sample(range(header - width + 1), min(3, header - width + 1)))
        for at in places:
            value = values[rng.randrange(len(values))]
            yield "field%d@%d" % (width, at), data[:at] + value + data[at + width:]


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    rng = random.Random(20261209)
    written = 0
    for number, source in enumerate(sys.argv[2:]):
        with open(source, "rb") as f:
            data = f.read()
        name = os.path.basename(source)
        files = [("good", "", data)]
        files += [("cut", v, d) for v, d in cuts(data)]
        files += [("flip", v, d) for v, d in flips(data, rng)]
        files += [("field", v, d) for v, d in fields(data, rng)]
        for kind, variant, damaged in files:
            parts = [kind, "%03d" % number] + ([variant] if variant else []) + [name]
            with open(os.path.join(out, "-".join(parts)), "wb") as f:
                f.write(damaged)
            written += 1
    print(written)


if __name__ == "__main__":
    main()
