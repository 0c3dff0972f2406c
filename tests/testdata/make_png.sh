#!/usr/bin/env bash
# PNG pictures for the PNG codec tests, written by netpbm's pnmtopng (which
# takes the smallest colour type and bit depth the picture allows, so each
# source below is made to land on one exact type) and ImageMagick.
# Beside each picture NAME.png lies NAME.pam: its pixels as decoded by
# netpbm's pngtopam (no gamma correction, alpha as a fourth or second
# channel), scaled to maxval 255.
#   make_png.sh OUT_DIR   -> OUT_DIR/png/...
set -euo pipefail
out=${1:?usage: make_png.sh OUT_DIR}/png
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$out"
mkdir -p "$out"

reference() {  # reference NAME: NAME.pam from NAME.png
  pngtopam -alphapam "$out/$1.png" | pamdepth 255 >"$out/$1.pam"
}
first_colour() {  # first_colour FILE.ppm -> #rrggbb of its top-left pixel
  printf '#%s' "$(pamtopnm <"$1" | tail -c "$(($(pamfile -size "$1" | awk '{print $1*$2*3}')))" |
    head -c 3 | od -An -tx1 | tr -d ' \n')"
}

# Sources: 37 x 23 (odd sizes leave part-filled bytes at 1, 2 and 4 bits).
convert -size 37x23 gradient:black-white -swirl 120 -depth 8 "$work/grey.pgm"
convert -size 37x23 gradient:red-blue -swirl 90 -depth 8 "$work/rgb.ppm"
convert -size 37x23 gradient:white-black -swirl 45 -depth 8 "$work/mask.pgm"
convert -size 3x2 gradient:yellow-navy -depth 8 "$work/tiny.ppm"
convert -size 1x1 xc:'#3c7a19' -depth 8 "$work/one.ppm"

# Grey at 1, 2, 4, 8 bits: maxval 1, 3, 15, 255.
pamdepth 1 "$work/grey.pgm" | pnmtopng >"$out/grey1.png"
pamdepth 3 "$work/grey.pgm" | pnmtopng >"$out/grey2.png"
pamdepth 15 "$work/grey.pgm" >"$work/grey4.pgm"
pnmtopng "$work/grey4.pgm" >"$out/grey4.png"
pnmtopng "$work/grey.pgm" >"$out/grey8.png"

# Palette at 1, 2, 4, 8 bits: 2, 4, 16 and about 200 colours.
for n in 2 4 16; do pnmquant "$n" "$work/rgb.ppm" >"$work/q$n.ppm" 2>/dev/null; done
pnmtopng "$work/q2.ppm" >"$out/palette1.png"
pnmtopng "$work/q4.ppm" >"$out/palette2.png"
pnmtopng "$work/q16.ppm" >"$out/palette4.png"
pnmtopng "$work/rgb.ppm" >"$out/palette8.png"

# Truecolour, alpha, transparency chunks.
pnmtopng -force "$work/rgb.ppm" >"$out/rgb8.png"
pnmtopng -force -alpha="$work/mask.pgm" "$work/rgb.ppm" >"$out/rgba8.png"
pnmtopng -alpha="$work/mask.pgm" "$work/grey.pgm" >"$out/greyalpha8.png"
pnmtopng -transparent="$(first_colour "$work/grey4.pgm")" "$work/grey4.pgm" >"$out/grey4_trns.png"
pnmtopng -transparent="$(first_colour "$work/grey.pgm")" "$work/grey.pgm" >"$out/grey8_trns.png"
pnmtopng -transparent="$(first_colour "$work/q16.ppm")" "$work/q16.ppm" >"$out/palette4_trns.png"
pnmtopng -force -transparent="$(first_colour "$work/rgb.ppm")" "$work/rgb.ppm" >"$out/rgb8_trns.png"

# 16 bits per sample (values that do not reduce to 8 bits).
pamdepth 65535 "$work/grey.pgm" | pamfunc -adder=1 | pnmtopng >"$out/grey16.png"
pamdepth 65535 "$work/rgb.ppm" | pamfunc -adder=1 | pnmtopng -force >"$out/rgb16.png"
convert "$work/rgb.ppm" -depth 16 -alpha set PNG64:"$out/rgba16.png"

# Adam7: the same pictures interlaced, and pictures smaller than the 8 x 8
# interlace block, where some passes are empty.
pamdepth 1 "$work/grey.pgm" | pnmtopng -interlace >"$out/grey1_adam7.png"
pnmtopng -interlace "$work/grey4.pgm" >"$out/grey4_adam7.png"
pnmtopng -interlace "$work/q16.ppm" >"$out/palette4_adam7.png"
pnmtopng -interlace -force "$work/rgb.ppm" >"$out/rgb8_adam7.png"
pnmtopng -interlace -force -alpha="$work/mask.pgm" "$work/rgb.ppm" >"$out/rgba8_adam7.png"
pnmtopng -interlace -alpha="$work/mask.pgm" "$work/grey.pgm" >"$out/greyalpha8_adam7.png"
pnmtopng -force "$work/tiny.ppm" >"$out/tiny.png"
pnmtopng -interlace -force "$work/tiny.ppm" >"$out/tiny_adam7.png"
pnmtopng -force "$work/one.ppm" >"$out/one.png"
pnmtopng -interlace -force "$work/one.ppm" >"$out/one_adam7.png"

# Gamma: gAMA 1.0 (linear samples), gAMA 1/2.2, sRGB, sRGB with a gAMA 1.0
# chunk beside it, none (rgb8.png); grey and palette files with gAMA 1.0.
pnmtopng -force -gamma=1.0 "$work/rgb.ppm" >"$out/gamma10.png"
pnmtopng -force -gamma=0.45455 "$work/rgb.ppm" >"$out/gamma045.png"
pnmtopng -force -srgbintent=perceptual "$work/rgb.ppm" >"$out/srgb.png"
pnmtopng -gamma=1.0 "$work/grey.pgm" >"$out/grey8_gamma10.png"
pnmtopng -gamma=1.0 "$work/q16.ppm" >"$out/palette4_gamma10.png"
# libpng refuses to write sRGB with a contradicting gAMA, so the gAMA chunk
# (gamma 1.0, CRC over type and data) is put in after the sRGB chunk.
python3 - "$out/srgb.png" "$out/srgb_gamma10.png" <<'EOF'
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
at = data.index(b'sRGB') - 4
at += 12 + struct.unpack('>I', data[at:at + 4])[0]
body = b'gAMA' + struct.pack('>I', 100000)
chunk = struct.pack('>I', 4) + body + struct.pack('>I', zlib.crc32(body) & 0xffffffff)
open(sys.argv[2], 'wb').write(data[:at] + chunk + data[at:])
EOF

for file in "$out"/*.png; do
  name=$(basename "$file" .png)
  case "$name" in *16) continue ;; esac
  reference "$name" 2>/dev/null  # pngtopam warns about srgb_gamma10.png, as it should
done

# Damaged files: cut inside the image data, and whole image data without
# the end chunk; a text file.
size=$(stat -c %s "$out/rgb8.png")
head -c $((size / 2)) "$out/rgb8.png" >"$out/truncated.bin"
head -c $((size - 12)) "$out/rgb8.png" >"$out/no_iend.bin"
printf 'not a picture\n' >"$out/text.bin"

# Headers that claim far more pixels than the file holds: 20000 x 20000 grey
# (more than its bytes could inflate to) and 1000000 x 1000000 RGB (more than
# any image may have), over the image data of the 1 x 1 picture.
python3 - "$out/one.png" "$out" <<'EOF'
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
def claim(width, height, colour_type, name):
    body = b'IHDR' + struct.pack('>IIBBBBB', width, height, 8, colour_type, 0, 0, 0)
    ihdr = struct.pack('>I', 13) + body + struct.pack('>I', zlib.crc32(body) & 0xffffffff)
    open(sys.argv[2] + '/' + name, 'wb').write(data[:8] + ihdr + data[33:])
claim(20000, 20000, 0, 'inflated_claim.bin')
claim(1000000, 1000000, 2, 'giant_claim.bin')
EOF

# Every 16-bit grey value once (256 x 256), to check the rounding to 8 bits.
python3 - "$out/grey16_all.png" <<'EOF2'
import struct, sys, zlib
def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body) & 0xffffffff)
rows = b''.join(b'\0' + b''.join(struct.pack('>H', y * 256 + x) for x in range(256)) for y in range(256))
png = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 256, 256, 16, 0, 0, 0, 0)) +
       chunk(b'IDAT', zlib.compress(rows)) + chunk(b'IEND', b''))
open(sys.argv[1], 'wb').write(png)
EOF2

# Transparency at the depths and colour types pnmtopng does not cover above,
# written directly (no gAMA chunk, so nothing is gamma corrected). Beside
# each NAME.png lies NAME.flat.rgb: ImageMagick's pixels over white, 8 bits.
python3 - "$out" <<'EOF2'
import random, struct, sys, zlib
out = sys.argv[1]
def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body) & 0xffffffff)
def pack(samples, depth):
    if depth == 16:
        return b''.join(struct.pack('>H', s) for s in samples)
    if depth == 8:
        return bytes(samples)
    per = 8 // depth
    out = bytearray()
    for i in range(0, len(samples), per):
        byte = 0
        for j, s in enumerate(samples[i:i + per]):
            byte |= s << (8 - depth * (j + 1))
        out.append(byte)
    return bytes(out)
def write(name, width, height, depth, colour_type, channels, extra=b'', seed=1):
    rng = random.Random(seed)
    top = (1 << depth) - 1
    rows = b''
    for y in range(height):
        samples = []
        for x in range(width):
            for c in range(channels):
                samples.append(rng.randint(0, top) if rng.random() < 0.8 else (0 if c % 2 else top))
        rows += b'\0' + pack(samples, depth)
    png = (b'\x89PNG\r\n\x1a\n' +
           chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, depth, colour_type, 0, 0, 0)) +
           extra + chunk(b'IDAT', zlib.compress(rows)) + chunk(b'IEND', b''))
    open(f'{out}/{name}.png', 'wb').write(png)
# The transparent colours are ones the picture holds: each writer draws full
# and empty samples often.
write('grey2_trns', 13, 11, 2, 0, 1, chunk(b'tRNS', struct.pack('>H', 3)))
write('grey16_trns', 13, 11, 16, 0, 1, chunk(b'tRNS', struct.pack('>H', 65535)))
write('greyalpha16', 13, 11, 16, 4, 2)
write('rgb16_trns', 13, 11, 16, 2, 3, chunk(b'tRNS', struct.pack('>HHH', 65535, 0, 65535)))
write('rgba16_direct', 13, 11, 16, 6, 4)
write('rgb8_trns_direct', 13, 11, 8, 2, 3, chunk(b'tRNS', struct.pack('>HHH', 255, 0, 255)))
palette = bytes(random.Random(7).randint(0, 255) for _ in range(16 * 3))
write('palette4_trns_partial', 13, 11, 4, 3, 1,
      chunk(b'PLTE', palette) + chunk(b'tRNS', bytes([0, 128, 255, 40, 200])))
write('palette1_trns', 13, 11, 1, 3, 1, chunk(b'PLTE', palette[:6]) + chunk(b'tRNS', bytes([90])))
EOF2
for name in grey2_trns grey16_trns greyalpha16 rgb16_trns rgba16_direct rgb8_trns_direct \
  palette4_trns_partial palette1_trns rgba8 greyalpha8 grey4_trns grey8_trns palette4_trns \
  rgb8_trns rgba16; do
  convert "$out/$name.png" -background white -alpha remove -alpha off -depth 8 "rgb:$out/$name.flat.rgb"
done
# 16-bit opaque files: ImageMagick's 8-bit pixels, rounded.
for name in grey16 rgb16 grey16_all; do
  convert "$out/$name.png" -depth 8 "rgb:$out/$name.flat.rgb"
done
