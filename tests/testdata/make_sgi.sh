#!/usr/bin/env bash
# SGI image files for the SGI reader tests, verbatim and run-length encoded,
# grey, RGB and RGBA, 8 and 16 bits, written by ImageMagick, GraphicsMagick
# and netpbm. Each NAME.EXT comes with NAME.rgba: its pixels as ImageMagick
# decodes them, 8-bit red, green, blue, alpha, top row first.
#   make_sgi.sh OUT_DIR   -> OUT_DIR/sgi/...
set -euo pipefail
out=${1:?usage: make_sgi.sh OUT_DIR}/sgi
rm -rf "$out"
mkdir -p "$out"
cd "$out"

# An odd width; flat areas and noise, so that rows hold runs and literals.
convert -size 37x23 gradient:red-blue -swirl 90 -fill lime -draw 'circle 18,11 24,14' \
  -fill white -draw 'rectangle 0,0 36,2' -depth 8 source.ppm
convert source.ppm -colorspace Gray -depth 8 grey.pgm
pgmramp -lr 37 23 >alpha.pgm
convert source.ppm alpha.pgm -alpha off -compose CopyOpacity -composite rgba.png
convert grey.pgm alpha.pgm -alpha off -compose CopyOpacity -composite grey_alpha.png
# 16-bit samples that are no multiples of 257, so scaling has to round.
convert -size 29x17 gradient:'#102030'-'#f0e0d1' -swirl 90 -depth 16 deep.ppm

convert source.ppm -compress RLE SGI:im_rgb_rle.sgi
convert source.ppm -compress None SGI:im_rgb_none.rgb
convert grey.pgm -compress RLE SGI:im_grey_rle.bw
convert grey.pgm -compress None SGI:im_grey_none.sgi
convert rgba.png -compress RLE SGI:im_rgba_rle.sgi
convert rgba.png -compress None SGI:im_rgba_none.sgi
convert grey_alpha.png -compress RLE SGI:im_grey_alpha_rle.sgi
# ImageMagick writes 16 bits verbatim only.
convert deep.ppm -depth 16 SGI:im_rgb16.sgi
convert deep.ppm -colorspace Gray -depth 16 SGI:im_grey16.sgi
convert rgba.png -depth 16 SGI:im_rgba16.sgi
gm convert source.ppm -compress RLE SGI:gm_rgb_rle.sgi
gm convert grey.pgm -compress None SGI:gm_grey_none.sgi
gm convert rgba.png -compress RLE SGI:gm_rgba_rle.sgi
pnmtosgi -rle source.ppm >netpbm_rgb_rle.rgb 2>/dev/null
pnmtosgi -verbatim grey.pgm >netpbm_grey_none.bw 2>/dev/null

for file in im_rgb_rle.sgi im_rgb_none.rgb im_grey_rle.bw im_grey_none.sgi im_rgba_rle.sgi \
  im_rgba_none.sgi im_grey_alpha_rle.sgi im_rgb16.sgi im_grey16.sgi im_rgba16.sgi \
  gm_rgb_rle.sgi gm_grey_none.sgi gm_rgba_rle.sgi netpbm_rgb_rle.rgb netpbm_grey_none.bw; do
  convert "SGI:$file" -depth 8 "rgba:${file%.*}.rgba"
done

echo "sgi test pictures written to $out"
