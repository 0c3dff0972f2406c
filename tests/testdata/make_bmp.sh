#!/usr/bin/env bash
# Bitmap files for the BMP reader tests, written by ImageMagick, GraphicsMagick
# and netpbm, with the pixels netpbm's bmptopnm decodes from every 24-bit one
# (PPM) as the reference, and for every depth and compression the pixels
# ImageMagick decodes (8-bit red, green, blue, alpha: NAME.rgba).
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

# Every variant the reader decodes, with ImageMagick's own decoding of the
# same file as the reference. source_alpha.png has alpha 255 in the top row
# falling to 0 in the bottom one.
convert source.ppm \( -size 37x23 gradient:white-black \) -alpha off -compose CopyOpacity \
  -composite source_alpha.png
convert source.ppm -colors 16 -depth 8 source16.ppm
convert source.ppm -colors 200 -depth 8 source200.ppm
convert source.ppm -monochrome -depth 8 source2.ppm
# Palette pictures: 40-, 108- and 124-byte headers, netpbm's and the OS/2
# core header's.
convert source16.ppm -type Palette BMP:pal4_v5.bmp
convert source200.ppm -intent undefined -type Palette -compress None BMP:pal8_v4.bmp
gm convert source200.ppm -type Palette -compress None BMP3:gm_pal8.bmp
ppmtobmp -windows -bpp 1 source2.ppm >netpbm_pal1.bmp 2>/dev/null
ppmtobmp -windows -bpp 4 source16.ppm >netpbm_pal4.bmp 2>/dev/null
ppmtobmp -windows -bpp 8 source200.ppm >netpbm_pal8.bmp 2>/dev/null
ppmtobmp -os2 -bpp 4 source16.ppm >core_bits4.bmp 2>/dev/null
convert source200.ppm -type Palette BMP2:im_core8.bmp
gm convert source200.ppm -type Palette -compress RLE BMP3:gm_rle8.bmp
convert source200.ppm -intent undefined -type Palette -compress RLE BMP:rle8_v4.bmp
# 16 bits: 5-6-5 and 5-5-5 masks in 124- and 108-byte headers; the 5-5-5
# file once more without masks (compression 0, the default layout).
convert source.ppm -type TrueColor -define bmp:subtype=RGB555 BMP:rgb555_v5.bmp
convert source.ppm -intent undefined -type TrueColor -define bmp:subtype=RGB565 BMP:rgb565_v4.bmp
cp rgb555_v5.bmp rgb555_plain.bmp
printf '\0' | dd of=rgb555_plain.bmp bs=1 seek=30 conv=notrunc status=none
# 32 bits: alpha masks in 124- and 108-byte headers; no masks with alpha in
# the fourth bytes, and no masks with every fourth byte zero (opaque).
convert source_alpha.png BMP:argb32_v5.bmp
convert source_alpha.png -intent undefined BMP:argb32_v4.bmp
convert source_alpha.png -define bmp3:alpha=true BMP3:rgba32_plain.bmp
convert source.ppm -alpha set -channel A -evaluate set 0 +channel -define bmp3:alpha=true \
  BMP3:rgb32_zero.bmp

# Run-length files no tool here writes: every code (runs, absolute runs with
# and without padding, end of line, delta, end of bitmap) and pixels left
# unwritten. bitmap W H BITS COMPRESSION COLOURS PALETTE_HEX DATA_HEX
le32() { printf '%02x%02x%02x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
le16() { printf '%02x%02x' $(($1 & 255)) $(($1 >> 8 & 255)); }
bitmap() {
  local palette=$6 data=$7
  local offset=$((54 + ${#palette} / 2)) size=$((${#data} / 2))
  echo "424d$(le32 $((offset + size)))00000000$(le32 $offset)$(le32 40)$(le32 "$1")$(le32 "$2")$(le16 1)$(le16 "$3")$(le32 "$4")$(le32 "$size")$(le32 2835)$(le32 2835)$(le32 "$5")$(le32 0)$palette$data" |
    xxd -r -p
}
palette=''
for i in $(seq 0 15); do palette+=$(printf '%02x%02x%02x00' $((i * 16)) $((255 - i * 16)) $((i * 37 % 256))); done
# ImageMagick reads an end of bitmap only after an end of line.
# RLE8, 8 x 5, four colours: a run and an odd absolute run (padded), the
# rest of the row unwritten; a delta over a row and a half; an even absolute
# run; a full-row run; a lone run; the end of the bitmap.
bitmap 8 5 8 1 4 "${palette:0:32}" \
  03010003020301000000000202010202000400010203000008030000010200000001 >rle8_codes.bmp
# RLE4, 9 x 4, sixteen colours: a run of alternating nibbles, absolute runs
# of 3 (two bytes) and 5 (three bytes and padding), a delta that leaves a row
# unwritten, and the end of the bitmap.
bitmap 9 4 4 2 0 "$palette" \
  051200033450000000056789a00004bc00000002030106de00000001 >rle4_codes.bmp

# Four palette entries for sixteen colours: ImageMagick decodes the indices
# beyond the palette as entry 0 (and exits with an error, so its status is
# not looked at; the test checks the reference's length).
cp bits4.bmp bits4_few.bmp
printf '\4' | dd of=bits4_few.bmp bs=1 seek=46 conv=notrunc status=none
convert bits4_few.bmp -depth 8 rgba:bits4_few.rgba 2>/dev/null || true

for name in bits1 bits4 bits8 pal4_v5 pal8_v4 gm_pal8 netpbm_pal1 netpbm_pal4 netpbm_pal8 \
  core_bits1 core_bits4 core_bits8 im_core8 rle8 gm_rle8 rle8_v4 rle8_codes rle4_codes rgb555_v5 \
  rgb555_plain bits16_565 rgb565_v4 bits32 bits32_bitfields argb32_v5 argb32_v4 rgba32_plain \
  rgb32_zero info40; do
  convert "$name.bmp" -depth 8 "rgba:$name.rgba"
done

echo "bmp test pictures written to $out"
