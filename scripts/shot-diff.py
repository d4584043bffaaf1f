#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Per-pixel difference of two window screenshots of the same size.

    scripts/shot-diff.py BEFORE.png AFTER.png DIFF.png [FUZZ]
    scripts/shot-diff.py BEFORE.png AFTER.png DIFF.png FUZZ FIGURE.png X Y W H ZOOM

Prints how many pixels differ at all (as `compare -metric AE` counts them),
how many differ by more than FUZZ (default 32) in some channel, the largest
difference, and the bounding box of the strongly different pixels. DIFF.png
shows AFTER darkened, with pixels that differ slightly in yellow and those
beyond FUZZ in red. With a FIGURE, the rectangle X Y W H of before, after and
the difference is written side by side, enlarged ZOOM times. Plain Python: reads and writes 8-bit, non-interlaced PNG.
"""
import struct
import sys
import zlib


def read_png(path):
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    pos, idat, width = 8, b"", 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and interlace == 0 and colour in (2, 6), (path, depth, colour)
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, prev = [], bytearray(stride)
    for y in range(height):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = prev[i]
            c = prev[i - channels] if i >= channels else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        prev = line
    return width, height, rows


def write_png(path, width, height, rows):
    raw = b"".join(b"\x00" + bytes(v for px in row for v in px) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    before, after, out = sys.argv[1:4]
    fuzz = int(sys.argv[4]) if len(sys.argv) > 4 else 32
    w1, h1, a = read_png(before)
    w2, h2, b = read_png(after)
    assert (w1, h1) == (w2, h2), "sizes differ: %dx%d and %dx%d" % (w1, h1, w2, h2)
    any_diff = strong = biggest = 0
    box = [w1, h1, -1, -1]
    rows = []
    for y in range(h1):
        row = []
        for x in range(w1):
            d = max(abs(p - q) for p, q in zip(a[y][x], b[y][x]))
            biggest = max(biggest, d)
            if d == 0:
                row.append(tuple(v // 3 for v in b[y][x]))
                continue
            any_diff += 1
            if d > fuzz:
                strong += 1
                box = [min(box[0], x), min(box[1], y), max(box[2], x), max(box[3], y)]
                row.append((255, 0, 0))
            else:
                row.append((255, 220, 0))
        rows.append(row)
    write_png(out, w1, h1, rows)
    if len(sys.argv) > 9:
        fig, (x0, y0, fw, fh, zoom) = sys.argv[5], map(int, sys.argv[6:11])
        gap = [(255, 255, 255)] * (4 * zoom)
        lines = []
        for y in range(y0, y0 + fh):
            line = []
            for k, img in enumerate((a, b, rows)):
                line += [px for px in img[y][x0:x0 + fw] for _ in range(zoom)]
                if k < 2:
                    line += gap
            lines += [line] * zoom
        write_png(fig, len(lines[0]), len(lines), lines)
    total = w1 * h1
    print("size %dx%d, pixels differing: %d (%.2f%%), by more than %d: %d (%.2f%%), largest %d"
          % (w1, h1, any_diff, 100.0 * any_diff / total, fuzz, strong, 100.0 * strong / total, biggest))
    if strong:
        print("strong differences within x %d..%d, y %d..%d" % tuple(box[i] for i in (0, 2, 1, 3)))


if __name__ == "__main__":
    main()
