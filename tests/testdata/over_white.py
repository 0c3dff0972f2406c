#!/usr/bin/env python3
"""A decoder's PAM (8 to 16 bits, any channels) on stdin as 8-bit PPM on
stdout: deeper samples rounded to 8 bits with (v*255 + max/2) / max (for 16
bits (v*255 + 32767) / 65535), as the engine does, then alpha flattened over
white with round((a*c + (255-a)*255) / 255). The
reference for every picture with alpha the tests convert.
"""
import struct, sys
data = sys.stdin.buffer.read()
end = data.index(b"ENDHDR\n") + 7
fields = dict(line.split(b" ", 1) for line in data[3:end - 8].split(b"\n") if not line.startswith(b"#"))
width, height = int(fields[b"WIDTH"]), int(fields[b"HEIGHT"])
depth, top = int(fields[b"DEPTH"]), int(fields[b"MAXVAL"])
count = width * height * depth
if top > 255:
    samples = [(v * 255 + top // 2) // top for v in struct.unpack(">%dH" % count, data[end:end + 2 * count])]
else:
    assert top == 255
    samples = data[end:end + count]
assert len(samples) == count
colours = 3 if depth >= 3 else 1
out = bytearray()
for at in range(0, count, depth):
    alpha = samples[at + colours] if depth in (2, 4) else 255
    for c in range(3):
        value = samples[at + (c if colours == 3 else 0)]
        out.append((alpha * value + (255 - alpha) * 255 + 127) // 255)
sys.stdout.buffer.write(b"P6\n%d %d\n255\n" % (width, height) + out)
