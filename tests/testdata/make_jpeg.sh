#!/usr/bin/env bash
# JPEG pictures for the JPEG codec tests, written by libjpeg-turbo's cjpeg and
# ImageMagick, with the pixels djpeg decodes from each one (PPM/PGM) as the
# reference: djpeg uses the library's default decoding (islow IDCT, fancy
# upsampling, block smoothing), as the engine does.
#   make_jpeg.sh OUT_DIR   -> OUT_DIR/jpeg/...
set -euo pipefail
out=${1:?usage: make_jpeg.sh OUT_DIR}/jpeg
rm -rf "$out"
mkdir -p "$out"
cd "$out"

# djpeg exits with 2 when the library warned (a truncated file, for one).
decode() {
  local status=0
  djpeg "$@" 2>/dev/null || status=$?
  [ "$status" -eq 0 ] || [ "$status" -eq 2 ]
}

# Sources: odd sizes, so the last MCU row and column are partial.
convert -size 61x43 gradient:red-blue -swirl 120 -fill lime -draw 'circle 30,21 38,25' -depth 8 source.ppm
convert source.ppm -colorspace Gray -depth 8 source.pgm
# A photograph-like picture for the writer's round trips.
convert -seed 11 -size 97x71 plasma:fractal -blur 0x1 -depth 8 photo.ppm

cjpeg -quality 85 source.ppm >baseline.jpg
cjpeg -quality 80 -progressive source.ppm >progressive.jpg
cjpeg -quality 90 -grayscale source.pgm >grey.jpg
cjpeg -quality 90 -progressive -grayscale source.pgm >grey_progressive.jpg
cjpeg -quality 75 -sample 1x1 -restart 1 source.ppm >sampled444_restart.jpg
cjpeg -quality 75 -sample 2x1 source.ppm >sampled422.jpg
cjpeg -quality 75 -arithmetic source.ppm >arithmetic.jpg
for name in baseline progressive sampled444_restart sampled422 arithmetic; do
  decode -pnm "$name.jpg" >"$name.ppm"
done
for name in grey grey_progressive; do
  decode -pnm "$name.jpg" >"$name.pgm"
done

# Four components with Adobe's APP14 marker, samples stored inverted:
# ImageMagick writes YCCK (colour transform 2), GraphicsMagick plain CMYK
# (transform 0). NAME.rgb: ImageMagick's sRGB pixels (raw, 8 bits).
convert source.ppm -colorspace CMYK -quality 90 cmyk.jpg
gm convert source.ppm -colorspace CMYK -quality 90 cmyk_plain.jpg
for name in cmyk cmyk_plain; do
  convert "$name.jpg" -colorspace sRGB -depth 8 "rgb:$name.rgb"
done

# A larger baseline picture cut in the middle of its scan data: the library
# pads the missing rows, and djpeg shows how.
cjpeg -quality 90 photo.ppm >photo.jpg
size=$(stat -c %s photo.jpg)
head -c $((size * 3 / 5)) photo.jpg >truncated.jpg
decode -pnm truncated.jpg >truncated.ppm

# Not a JPEG at all.
convert source.ppm source.png

echo "jpeg test pictures written to $out"
