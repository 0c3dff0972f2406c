#!/usr/bin/env bash
# PBM, PGM and PPM files for the Netpbm reader tests, plain and raw, 8 and 16
# bits and odd maxvals, written by netpbm and ImageMagick. Each NAME.EXT comes
# with NAME.netpbm.ppm and NAME.im.ppm: its pixels as netpbm (ppmtoppm,
# pamdepth 255) and ImageMagick decode them, 8-bit binary PPM.
#   make_netpbm.sh OUT_DIR   -> OUT_DIR/netpbm/...
set -euo pipefail
out=${1:?usage: make_netpbm.sh OUT_DIR}/netpbm
rm -rf "$out"
mkdir -p "$out"
cd "$out"

# Odd widths, so bitmap rows end inside a byte.
ppmpat -madras 37 23 -randomseed=7 >pattern.ppm 2>/dev/null
pgmramp -diagonal 37 23 >ramp.pgm
pamditherbw ramp.pgm 2>/dev/null | pamtopnm >dither.pbm
# 16-bit samples that are no multiples of 257, so scaling has to round.
convert -size 29x17 gradient:'#102030'-'#f0e0d1' -swirl 90 -depth 16 ppm:deep.ppm
convert -size 29x17 gradient:'#0a0a0a'-'#f5f5f5' -swirl 45 -depth 16 pgm:deepgrey.pgm

pnmtoplainpnm pattern.ppm >pattern_plain.ppm
pnmtoplainpnm ramp.pgm >ramp_plain.pgm
pnmtoplainpnm dither.pbm >dither_plain.pbm
pnmtoplainpnm deep.ppm >deep_plain.ppm
pamtopnm -plain deepgrey.pgm >deepgrey_plain.pgm
pamdepth 65535 ramp.pgm | pamtopnm >ramp16.pgm
pamdepth 1000 deep.ppm >maxval1000.ppm
pamdepth 100 pattern.ppm >maxval100.ppm
pamdepth 15 ramp.pgm | pnmtoplainpnm >maxval15_plain.pgm
pamdepth 1 ramp.pgm >maxval1.pgm
convert pattern.ppm -compress none ppm:im_plain.ppm
convert ramp.pgm pgm:im.pgm

for file in pattern.ppm ramp.pgm dither.pbm deep.ppm deepgrey.pgm pattern_plain.ppm ramp_plain.pgm \
  dither_plain.pbm deep_plain.ppm deepgrey_plain.pgm ramp16.pgm maxval1000.ppm maxval100.ppm \
  maxval15_plain.pgm maxval1.pgm im_plain.ppm im.pgm; do
  name=${file%.*}
  ppmtoppm <"$file" | pamdepth 255 >"$name.netpbm.ppm"
  convert "$file" -depth 8 ppm:"$name.im.ppm"
done

echo "netpbm test pictures written to $out"
