#!/usr/bin/env bash
# PCX files for the PCX reader tests, written by ImageMagick, GraphicsMagick
# and netpbm, with the pixels netpbm's pcxtoppm decodes from every 8-bit and
# 24-bit one (PPM) as the reference, and for the 4- and 32-bit ones the
# pixels ImageMagick decodes (8-bit red, green, blue, alpha: NAME.rgba). For
# the 1-bit ones the .rgba reference holds pcxtoppm's pixels: ImageMagick 6
# swaps black and white in them.
#   make_pcx.sh OUT_DIR   -> OUT_DIR/pcx/...
set -euo pipefail
out=${1:?usage: make_pcx.sh OUT_DIR}/pcx
rm -rf "$out"
mkdir -p "$out"
cd "$out"

# An odd width, and flat areas so that the files hold long runs as well as
# literal bytes.
convert -size 37x23 gradient:red-blue -swirl 90 -fill lime -draw 'circle 18,11 24,14' \
  -fill white -draw 'rectangle 0,0 36,2' -depth 8 source.ppm
convert source.ppm -colors 200 -depth 8 source200.ppm
# 70 columns of one colour: longer than the longest run (63).
convert -size 70x9 xc:'#3366CC' -fill '#C0C1C2' -draw 'rectangle 10,3 69,5' -depth 8 wide.ppm

# 24 bits as three planes of 8 bits.
convert source.ppm -type TrueColor PCX:im24.pcx
gm convert source.ppm PCX:gm24.pcx
ppmtopcx -24bit source.ppm >netpbm24.pcx 2>/dev/null
ppmtopcx -24bit wide.ppm >wide24.pcx 2>/dev/null
# 8 bits with the 256-colour palette at the end.
convert source200.ppm -type Palette PCX:im8.pcx
gm convert source200.ppm -type Palette PCX:gm8.pcx
ppmtopcx -8bit source200.ppm >netpbm8.pcx 2>/dev/null
ppmtopcx -8bit wide.ppm >wide8.pcx 2>/dev/null
for name in im24 gm24 netpbm24 wide24 im8 gm8 netpbm8 wide8; do
  pcxtoppm "$name.pcx" >"$name.ppm" 2>/dev/null
done

# 1 bit in one plane (GraphicsMagick leaves the header's palette empty,
# netpbm fills in black and white), 4 bits in four planes of 1 bit and in one
# plane of 4 bits, with the 16 colours in the header.
convert source.ppm -monochrome ppm:- | ppmtopcx >bits1.pcx 2>/dev/null
gm convert source.ppm -monochrome PCX:gm_bits1.pcx
# Two colours that are not black and white in the header's palette, and a
# header palette of zeros (two equal entries: black and white).
convert source.ppm -colors 2 ppm:- | ppmtopcx >bits1_colours.pcx 2>/dev/null
cp bits1.pcx bits1_zeros.pcx
head -c 48 /dev/zero | dd of=bits1_zeros.pcx bs=1 seek=16 conv=notrunc status=none
convert source.ppm -colors 16 ppm:- | ppmtopcx >bits4_planes.pcx 2>/dev/null
convert source.ppm -colors 16 ppm:- | ppmtopcx -packed >bits4_packed.pcx 2>/dev/null
# Fewer colours: netpbm writes two and three planes of 1 bit.
convert source.ppm -colors 4 ppm:- | ppmtopcx >bits2_planes.pcx 2>/dev/null
convert source.ppm -colors 8 ppm:- | ppmtopcx >bits3_planes.pcx 2>/dev/null
# 32 bits in four planes of 8 bits (red, green, blue, alpha); the alpha falls
# from 255 in the top row to 0 in the bottom one.
convert source.ppm \( -size 37x23 gradient:white-black \) -alpha off -compose CopyOpacity \
  -composite source_alpha.png
convert source_alpha.png PCX:im32.pcx
convert wide.ppm -alpha set -channel A -evaluate set 50% +channel PCX:wide32.pcx
for name in bits2_planes bits3_planes bits4_planes bits4_packed im32 wide32; do
  convert "$name.pcx" -depth 8 "rgba:$name.rgba"
done
for name in bits1 gm_bits1 bits1_colours bits1_zeros; do
  pcxtoppm "$name.pcx" 2>/dev/null | convert - -depth 8 "rgba:$name.rgba"
done

echo "pcx test pictures written to $out"
