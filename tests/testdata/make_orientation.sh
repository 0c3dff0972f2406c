#!/usr/bin/env bash
# Pictures whose files record an orientation, for the loader's upright
# pictures: one non-square, non-symmetric picture as JPEG (cjpeg, 4:4:4, the
# EXIF Orientation tag set by exiftool) and as TIFF (ppm2tiff, the Orientation
# field set by tiffset), orientations 1 to 8. Beside each NAME lie NAME.rgb,
# the pixels ImageMagick shows after -auto-orient (raw 8-bit red, green, blue,
# top row first), and NAME.size ("width height").
#   make_orientation.sh OUT_DIR   -> OUT_DIR/orientation/...
set -euo pipefail
out=${1:?usage: make_orientation.sh OUT_DIR}/orientation
rm -rf "$out"
mkdir -p "$out"
cd "$out"

upright() {  # upright FILE NAME: ImageMagick's upright pixels of FILE
  convert "$1" -auto-orient -depth 8 "rgb:$2.rgb"
  convert "$1" -auto-orient -format '%w %h\n' info: | head -n 1 >"$2.size"
}

# 48 x 30, a different colour in every corner and a mark near the top left,
# so every turn and mirror gives another picture.
convert -size 48x30 gradient:'#f03020'-'#2040e0' \
  -fill '#20d040' -draw 'rectangle 0,0 9,5' -fill '#f0f020' -draw 'rectangle 40,24 47,29' \
  -fill black -draw 'rectangle 4,8 6,20' -depth 8 source.ppm

cjpeg -quality 95 -sample 1x1 source.ppm >jpeg1.jpg
ppm2tiff -c none source.ppm tiff1.tif
for n in 2 3 4 5 6 7 8; do
  cp jpeg1.jpg "jpeg$n.jpg"
  exiftool -q -overwrite_original "-Orientation#=$n" "jpeg$n.jpg"
  cp tiff1.tif "tiff$n.tif"
  tiffset -s 274 "$n" "tiff$n.tif"
done
exiftool -q -overwrite_original '-Orientation#=1' jpeg1.jpg
for n in 1 2 3 4 5 6 7 8; do
  [ "$(exiftool -s3 '-Orientation#' "jpeg$n.jpg")" = "$n" ] ||
    { echo "make_orientation.sh: jpeg$n.jpg lacks orientation $n" >&2; exit 1; }
  upright "jpeg$n.jpg" "jpeg$n"
  upright "tiff$n.tif" "tiff$n"
done
# The same EXIF in Intel byte order, and a JPEG without any EXIF.
cjpeg -quality 95 -sample 1x1 source.ppm >plain.jpg
cp plain.jpg jpeg6_intel.jpg
exiftool -q -overwrite_original '-ExifByteOrder#=II' '-Orientation#=6' jpeg6_intel.jpg
[ "$(exiftool -s3 '-ExifByteOrder#' jpeg6_intel.jpg)" = II ] ||
  { echo "make_orientation.sh: jpeg6_intel.jpg is not little-endian" >&2; exit 1; }
upright jpeg6_intel.jpg jpeg6_intel

echo "orientation test pictures written to $out"
