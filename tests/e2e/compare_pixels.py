#!/usr/bin/env python3
"""Compares the pixels of two binary PNM files (P5/P6, maxval 255).

compare_pixels.py A.pnm B.pnm [MEAN_MAX MAX_MAX]
Exit 0 when the sizes match and the mean absolute difference per sample is
at most MEAN_MAX and the largest at most MAX_MAX (both 0 by default: exact).
Prints the measured differences.
"""
import sys


def read_pnm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            while data[pos:pos + 1] not in (b"\n", b""):
                pos += 1
            continue
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    pos += 1
    magic, width, height, maxval = fields[0], int(fields[1]), int(fields[2]), int(fields[3])
    if maxval != 255 or magic not in (b"P5", b"P6"):
        sys.exit(f"{path}: unsupported PNM {magic!r} maxval {maxval}")
    pixels = data[pos:]
    if magic == b"P5":  # grey: expand to RGB so it compares with colour
        pixels = bytes(b for g in pixels for b in (g, g, g))
    return width, height, pixels[: width * height * 3]


def main():
    a, b = read_pnm(sys.argv[1]), read_pnm(sys.argv[2])
    mean_max = float(sys.argv[3]) if len(sys.argv) > 3 else 0.0
    max_max = int(sys.argv[4]) if len(sys.argv) > 4 else 0
    if a[:2] != b[:2]:
        print(f"size {a[0]}x{a[1]} != {b[0]}x{b[1]}")
        return 1
    diffs = [abs(x - y) for x, y in zip(a[2], b[2])]
    if len(a[2]) != len(b[2]) or not diffs:
        print("pixel data lengths differ")
        return 1
    mean = sum(diffs) / len(diffs)
    largest = max(diffs)
    print(f"mean {mean:.3f} max {largest}")
    return 0 if mean <= mean_max and largest <= max_max else 1


sys.exit(main())
