#!/usr/bin/env bash
# Converts every WebP, HEIC and AVIF picture of tests/testdata/make_modern.sh
# to png, tif and jpg with engine-convert, and compares the written pixels
# with those of the format's own tool (dwebp, heif-convert, avifdec),
# composited over white. Then damaged files (cut short, sizes that lie,
# pictures far larger than their files) must give -3, leave no output file
# and nothing in the temporary folder.
#
#   engine_convert_modern.sh ENGINE_CONVERT [ENGINE_CONVERT...]
#
# A program whose name ends in .exe runs under Wine (scripts/wine-run.sh), as
# in engine_convert_variants.sh.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../../.." && pwd)
[ $# -ge 1 ] || { echo "usage: engine_convert_modern.sh ENGINE_CONVERT [ENGINE_CONVERT...]" >&2; exit 2; }

# Pictures the program must convert, with the largest channel difference
# allowed between the png and tif output and the reference (the tool's
# pixels in NAME.pam beside the picture, 10-bit samples scaled to 8 by
# (v*255 + 511) / 1023 as the engine does, flattened over white with
# round((a*c + (255-a)*255)/255)).
#
# Tolerances and what was measured (natively): WebP 0 (dwebp is the same
# libwebp, which decodes in integers; measured 0, alpha and the animation's
# first frame included). HEIC 0: the engine and heif-convert both convert
# with libheif (measured 0, 10 bits included: heif-convert's 16-bit PNG holds
# the 10-bit samples exactly, so a wrong scaling to 8 bits shows). AVIF 2:
# avifdec converts YCbCr to RGB with libavif's own routine, the engine with
# libheif's (measured 1 for 8 bits, alpha, the turned picture and 10 bits,
# which avifdec scales to 16 bits itself).
variants='
webp_lossy.webp          0
webp_lossless.webp       0
webp_lossy_alpha.webp    0
webp_lossless_alpha.webp 0
webp_animation.webp      0
heic_8bit.heic           0
heic_alpha.heic          0
heic_10bit.heic          0
heic_orientation2.heic   0
heic_orientation3.heic   0
heic_orientation4.heic   0
heic_orientation5.heic   0
heic_orientation6.heic   0
heic_orientation7.heic   0
heic_orientation8.heic   0
heic_grid.heic           0
heic_grid_irot.heic      0
heic_plain_irot.heic     0
avif_8bit.avif           2
avif_alpha.avif          2
avif_10bit.avif          2
avif_turned.avif         2
avif_10bit_turned.avif   2
'
# Damaged files, made below from good ones, and the code they must give.
malformed='
webp_lossy_cut.webp         -3
webp_lossless_cut.webp      -3
webp_riff_size_lie.webp     -3
webp_vp8_huge.webp          -3
heic_cut.heic               -3
avif_cut.avif               -3
heic_meta_size_lie.heic     -3
heic_iloc_past_end.heic     -3
heic_ispe_huge.heic         -3
heic_grid_output_huge.heic  -3
heic_grid_all_huge.heic     -3
heic_grid_canvas_lie.heic   -3
'
# A written JPEG: the mean channel difference from the reference may be at
# most 1 more than that of the file cjpeg writes from the reference pixels
# with the same settings (as in engine_convert_variants.sh).
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$here/convert_checks.sh"

made="$work/made"
bash "$repo/tests/testdata/make_modern.sh" "$made" >/dev/null 2>"$work/stderr" || {
  cat "$work/stderr" >&2
  echo "FAIL: make_modern.sh could not make the pictures" >&2
  exit 1
}
pictures="$work/pictures"
mkdir -p "$pictures"
while read -r name tolerance; do
  [ -n "$name" ] && cp "$made/modern/$name" "$pictures/$name"
done <<<"$variants"

# Damaged copies of good files. Each edit first checks that the bytes it
# changes hold what the format says they hold there, so that every file is
# damaged in the way its name claims.
damaged_pictures() {
  set -e
  cd "$pictures"
  python3 - "$made/modern" <<'EOF'
import struct, sys
made = sys.argv[1]
def read(name):
    return bytearray(open(made + '/' + name, 'rb').read())
def put(data, at, new, old):
    assert data[at:at + len(old)] == old, (at, data[at:at + len(old)], old)
    data[at:at + len(new)] = new
    return data
def write(name, data):
    open(name, 'wb').write(data)
def top_box(data, kind):
    """Start and size of the first top-level box of the kind."""
    at = 0
    while at + 8 <= len(data):
        size, found = struct.unpack_from('>I4s', data, at)
        if found == kind:
            return at, size
        at += size
    raise AssertionError(kind)

# WebP: lossy and lossless cut in half (the RIFF size then promises more);
# a complete file whose RIFF size says 1000 bytes more than there are; a VP8
# frame header of 16383 x 16383 in a file of a few hundred bytes.
for kind in ('lossy', 'lossless'):
    f = read('webp_%s.webp' % kind)
    write('webp_%s_cut.webp' % kind, f[:len(f) // 2])
f = read('webp_lossy.webp')
assert f[:4] == b'RIFF' and f[8:16] == b'WEBPVP8 ' and struct.unpack_from('<I', f, 4)[0] == len(f) - 8
write('webp_riff_size_lie.webp', put(f, 4, struct.pack('<I', len(f) + 992), f[4:8]))
f = read('webp_lossy.webp')
assert f[23:26] == b'\x9d\x01\x2a' and struct.unpack_from('<HH', f, 26) == (37, 23)
write('webp_vp8_huge.webp', put(f, 26, struct.pack('<HH', 16383, 16383), f[26:30]))

# HEIF: an HEVC and an AV1 file cut in the middle of their coded data.
for name, out in (('heic_8bit.heic', 'heic_cut.heic'), ('avif_8bit.avif', 'avif_cut.avif')):
    f = read(name)
    at, size = top_box(f, b'mdat')
    assert at + size == len(f) and size > 100
    write(out, f[:at + size // 2])
# The meta box claiming 100000 bytes; the coded tile's extent (the first in
# heif_build.py's iloc: item 1, offset, length) starting past the end.
f = read('heic_8bit.heic')
at, size = top_box(f, b'meta')
write('heic_meta_size_lie.heic', put(f, at, struct.pack('>I', 100000), struct.pack('>I', size)))
f = read('heic_orientation3.heic')
iloc = f.index(b'iloc') - 4
assert f[iloc + 8:iloc + 16] == b'\0\0\0\0\x44\x00\x00\x02'
assert struct.unpack_from('>HHH', f, iloc + 16) == (1, 0, 1)
write('heic_iloc_past_end.heic', put(f, iloc + 22, struct.pack('>I', len(f) + 5000), f[iloc + 22:iloc + 26]))
# The primary picture's size (its ispe) 30000 x 30000: beyond what the
# engine maps.
f = read('heic_8bit.heic')
ispe = b'ispe\0\0\0\0' + struct.pack('>II', 37, 23)
at = f.index(ispe)
assert f.count(ispe) == 1
write('heic_ispe_huge.heic', put(f, at + 8, struct.pack('>II', 30000, 30000), ispe[8:]))
# The grid's own data (the last 8 bytes of heif_build.py's mdat: version,
# flags, rows and columns less one, output width and height) declaring
# 65535 x 65535, once alone and once with the picture's ispe saying so too;
# and 30000 x 30000 (within libheif's own bound) beside an ispe of 181 x 117.
f = read('heic_grid.heic')
grid = struct.pack('>BBBBHH', 0, 0, 1, 2, 181, 117)
huge = struct.pack('>BBBBHH', 0, 0, 1, 2, 65535, 65535)
write('heic_grid_output_huge.heic', put(bytearray(f), len(f) - 8, huge, grid))
write('heic_grid_canvas_lie.heic', put(bytearray(f), len(f) - 8, struct.pack('>BBBBHH', 0, 0, 1, 2, 30000, 30000), grid))
ispe = b'ispe\0\0\0\0' + struct.pack('>II', 181, 117)
at = f.index(ispe)
f = put(f, len(f) - 8, huge, grid)
write('heic_grid_all_huge.heic', put(f, at + 8, struct.pack('>II', 65535, 65535), ispe[8:]))
EOF
}
(damaged_pictures) || { echo "FAIL: the damaged pictures could not be made" >&2; exit 1; }

# Every reference as the 8-bit PPM the program should make of it.
mkdir -p "$work/reference"
while read -r name tolerance; do
  [ -n "$name" ] || continue
  python3 "$repo/tests/testdata/over_white.py" <"$made/modern/${name%.*}.pam" \
    >"$work/reference/$name.ppm" 2>"$work/stderr" ||
    fail "no reference pixels for $name: $(cat "$work/stderr")"
done <<<"$variants"

convert_every_picture "$variants" "$@"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "PASS: every WebP, HEIC and AVIF picture converted to its tool's pixels; every damaged file gave -3"
