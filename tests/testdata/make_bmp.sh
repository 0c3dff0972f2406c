#!/usr/bin/env bash
# Bitmap files for the BMP reader tests, written by ImageMagick, GraphicsMagick
# and netpbm, with the pixels netpbm's bmptopnm decodes from every 24-bit one
# (PPM) as the reference.
#   make_bmp.sh OUT_DIR   -> OUT_DIR/bmp/...
set -euo pipefail
out=${1:?usage: make_bmp.sh OUT_DIR}/bmp
rm -rf "$out"
mkdir -p "$out"
cd "$out"

# 37 columns make 111-byte rows padded to 112; one column makes 3-byte rows
# padded to 4.
convert -size 37x23 gradient:red-blue -swirl 90 -fill lime -draw 'circle 18,11 24,14' \
  -depth 8 source.ppm
convert -size 1x7 gradient:yellow-navy -depth 8 narrow.ppm

# 24 bits: 40-byte (BMP3), 108-byte (v4: no rendering intent), 124-byte (v5)
# information headers and the 12-byte OS/2 core header, from three writers.
convert source.ppm -type TrueColor BMP3:info40.bmp
convert source.ppm -intent undefined -type TrueColor BMP:info108.bmp
convert source.ppm -type TrueColor BMP:info124.bmp
convert source.ppm -type TrueColor BMP2:core12.bmp
gm convert source.ppm BMP3:gm_info40.bmp
ppmtobmp -windows -bpp 24 source.ppm >netpbm_info40.bmp 2>/dev/null
ppmtobmp -os2 -bpp 24 source.ppm >netpbm_core12.bmp 2>/dev/null
ppmtobmp -windows -bpp 24 narrow.ppm >narrow.bmp 2>/dev/null
for name in info40 info108 info124 core12 gm_info40 netpbm_info40 netpbm_core12 narrow; do
  bmptopnm "$name.bmp" >"$name.ppm" 2>/dev/null
done

# Other depths and compressions, which the reader refuses.
convert source.ppm -monochrome BMP3:bits1.bmp
convert source.ppm -colors 16 -type Palette -compress None BMP3:bits4.bmp
convert source.ppm -colors 200 -type Palette -compress None BMP3:bits8.bmp
convert source.ppm -define bmp:subtype=RGB555 BMP3:bits16.bmp
convert source.ppm -define bmp:subtype=RGB565 BMP:bits16_565.bmp
convert source.ppm -alpha set -define bmp3:alpha=true BMP3:bits32.bmp
convert source.ppm -alpha set BMP:bits32_bitfields.bmp
convert source.ppm -colors 200 -type Palette -compress RLE BMP3:rle8.bmp
ppmtobmp -os2 -bpp 8 source.ppm >core_bits8.bmp 2>/dev/null
convert source.ppm -monochrome ppm:- | ppmtobmp -os2 -bpp 1 >core_bits1.bmp 2>/dev/null

echo "bmp test pictures written to $out"
