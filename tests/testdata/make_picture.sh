#!/usr/bin/env bash
# Pictures for the picture-object tests, written by netpbm and libjpeg tools:
#   pattern.{ppm,png,bmp,tif,gif,jpg}  64x32, eight 16x16 blocks of pure colours
#                                      (top: red green blue white; bottom:
#                                      black yellow cyan magenta)
#   texture.png                        96x64 busy texture, for JPEG quality
#   transparent.png                    64x32 8-bit RGBA: left half fully transparent,
#                                      right half opaque blue, bottom-right
#                                      quarter half-transparent red
#   中文图片.png                         pattern.png under a Chinese (UTF-8) name
#   over_white/NAME.{png,gif}          pictures with an alpha ramp or a transparent
#                                      colour, and NAME.rgb: ImageMagick's pixels of
#                                      each over white (raw 8-bit RGB)
#   make_picture.sh OUT_DIR            writes into OUT_DIR/picture/
set -euo pipefail
out=${1:?usage: make_picture.sh OUT_DIR}/picture
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

block() { ppmmake "rgb:$1" 16 16 >"$tmp/$2.ppm"; }
block ff/00/00 red
block 00/ff/00 green
block 00/00/ff blue
block ff/ff/ff white
block 00/00/00 black
block ff/ff/00 yellow
block 00/ff/ff cyan
block ff/00/ff magenta
pnmcat -lr "$tmp"/red.ppm "$tmp"/green.ppm "$tmp"/blue.ppm "$tmp"/white.ppm >"$tmp/top.ppm"
pnmcat -lr "$tmp"/black.ppm "$tmp"/yellow.ppm "$tmp"/cyan.ppm "$tmp"/magenta.ppm >"$tmp/bottom.ppm"
pnmcat -tb "$tmp/top.ppm" "$tmp/bottom.ppm" >"$out/pattern.ppm"

pnmtopng "$out/pattern.ppm" >"$out/pattern.png" 2>/dev/null
ppmtobmp -bpp=24 "$out/pattern.ppm" >"$out/pattern.bmp" 2>/dev/null
pnmtotiff -truecolor "$out/pattern.ppm" >"$out/pattern.tif" 2>/dev/null
pamtogif "$out/pattern.ppm" >"$out/pattern.gif" 2>/dev/null
cjpeg -quality 95 -sample 1x1 "$out/pattern.ppm" >"$out/pattern.jpg"
cp "$out/pattern.png" "$out/中文图片.png"

ppmpat -camo -randomseed=3 96 64 >"$tmp/texture.ppm" 2>/dev/null
pnmtopng "$tmp/texture.ppm" >"$out/texture.png" 2>/dev/null

# Colour plane: left half black, right half blue over red. Alpha plane:
# left half 0, top-right 255, bottom-right 128.
ppmmake rgb:00/00/00 32 32 >"$tmp/left.ppm"
ppmmake rgb:00/00/ff 32 16 >"$tmp/tr.ppm"
ppmmake rgb:ff/00/00 32 16 >"$tmp/br.ppm"
pnmcat -tb "$tmp/tr.ppm" "$tmp/br.ppm" >"$tmp/right.ppm"
pnmcat -lr "$tmp/left.ppm" "$tmp/right.ppm" >"$tmp/colour.ppm"
pgmmake 0 32 32 >"$tmp/aleft.pgm"
pgmmake 1 32 16 >"$tmp/atr.pgm"
pgmmake 0.502 32 16 >"$tmp/abr.pgm"
pnmcat -tb "$tmp/atr.pgm" "$tmp/abr.pgm" >"$tmp/aright.pgm"
pnmcat -lr "$tmp/aleft.pgm" "$tmp/aright.pgm" >"$tmp/alpha.pgm"
pnmtopng -force -alpha="$tmp/alpha.pgm" "$tmp/colour.ppm" >"$out/transparent.png" 2>/dev/null

# Alpha ramps: 8-bit and 16-bit RGBA, grey with alpha, a palette with tRNS,
# and a GIF whose transparent colour covers a disc.
mkdir -p "$out/over_white"
convert -size 37x23 gradient:'#e02010'-'#1030f0' \( -size 37x23 gradient:white-black -rotate 90 \
  -resize 37x23! \) -alpha off -compose copy_opacity -composite "$tmp/ramp.png"
convert "$tmp/ramp.png" -depth 8 "PNG32:$out/over_white/rgba8.png"
convert "$tmp/ramp.png" -depth 16 "PNG64:$out/over_white/rgba16.png"
convert "$tmp/ramp.png" -colorspace gray -depth 8 "PNG:$out/over_white/grey_alpha.png"
convert "$tmp/ramp.png" -channel A -threshold 50% +channel -colors 16 "PNG8:$out/over_white/palette_trns.png"
convert -size 37x23 gradient:'#30c020'-'#c03020' -fill '#ff00ff' -draw 'circle 18,11 18,3' \
  -transparent '#ff00ff' "$out/over_white/transparent.gif"
for file in "$out"/over_white/*.png "$out"/over_white/*.gif; do
  convert "$file" -background white -alpha remove -alpha off -depth 8 "rgb:${file%.*}.rgb"
done
