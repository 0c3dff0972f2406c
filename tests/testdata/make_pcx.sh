#!/usr/bin/env bash
# PCX files for the PCX reader tests, written by ImageMagick, GraphicsMagick
# and netpbm, with the pixels netpbm's pcxtoppm decodes from every 8-bit and
# 24-bit one (PPM) as the reference.
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

# 1 and 4 bits per pixel, which the reader refuses.
convert source.ppm -monochrome ppm:- | ppmtopcx >bits1.pcx 2>/dev/null
convert source.ppm -colors 16 ppm:- | ppmtopcx >bits4_planes.pcx 2>/dev/null
convert source.ppm -colors 16 ppm:- | ppmtopcx -packed >bits4_packed.pcx 2>/dev/null

echo "pcx test pictures written to $out"
