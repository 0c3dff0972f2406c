#!/usr/bin/env bash
# Pictures for the loader and conversion-command tests, written by Debian's
# netpbm, libjpeg-turbo, libtiff tools and ImageMagick. Every picture a test
# expects to load comes with NAME.ppm: its pixels as an independent decoder
# (djpeg, pngtopam, tifftopnm, bmptopnm, pcxtoppm) gives them, always as an
# 8-bit binary PPM (grey pictures repeated into red, green and blue).
#
# Files named *_pcd.* are ordinary small pictures padded with zeros to the
# length of a PhotoCD image pack, with the pack's signature "PCD_IPI" at
# offset 0x800: the PhotoCD reader, asked last, would accept each of them,
# so they show which reader the loader really lets decode a file.
#   make_commands.sh OUT_DIR   -> OUT_DIR/commands/...
set -euo pipefail
out=${1:?usage: make_commands.sh OUT_DIR}/commands
rm -rf "$out"
mkdir -p "$out"
cd "$out"

fail() {
  echo "make_commands.sh: $*" >&2
  exit 1
}

# Any netpbm picture (or what an independent decoder writes) as 8-bit PPM.
as_ppm() { pamtopnm 2>/dev/null | pamdepth 255 | ppmtoppm; }

# Pads FILE to an image pack's length with the signature at 0x800. The file
# must end before 0x800, so that the picture itself stays intact.
photocd_padding() {
  local file=$1 size
  size=$(stat -c %s "$file")
  [ "$size" -le 2048 ] || fail "$file is $size bytes, too long to carry the PhotoCD signature"
  truncate -s 2048 "$file"
  printf 'PCD_IPI' >>"$file"
  # 0x30000 bytes of header and smaller resolutions, then 768 x 512 x 1.5.
  truncate -s $((0x30000 + 768 * 512 * 3 / 2)) "$file"
}

# Sources: an odd-sized busy colour picture; a smooth one for the lossy round
# trips; a small one for the padded files; a grey one.
convert -size 37x23 gradient:red-blue -swirl 90 -fill lime -draw 'circle 18,11 24,14' \
  -fill white -draw 'rectangle 0,0 36,2' -depth 8 source.ppm
convert -size 41x29 gradient:'#20c060'-'#f0a030' -swirl 60 -depth 8 smooth.ppm
convert -size 16x12 gradient:yellow-navy -fill red -draw 'point 3,4' -depth 8 small.ppm
convert source.ppm -colorspace Gray -depth 8 grey.pgm
ppmtoppm <grey.pgm >grey.ppm

# JPEG: colour and grey, with djpeg's pixels (the same library defaults as
# the engine's reader).
cjpeg -quality 90 source.ppm >jpeg.jpg
djpeg -pnm jpeg.jpg | as_ppm >jpeg.ppm
cjpeg -quality 90 -grayscale grey.pgm >grey.jpg
djpeg -pnm grey.jpg | as_ppm >grey_jpg.ppm
cjpeg -quality 95 smooth.ppm >smooth.jpg
djpeg -pnm smooth.jpg | as_ppm >smooth_jpg.ppm

# PNG: RGB, grey, palette, RGB with alpha (the colour channels are the
# reference: the engine drops alpha), 16 bits per sample; none carries a
# gamma chunk. A PNG under a .jpg name.
pnmtopng -force source.ppm >png_rgb.png
pnmtopng grey.pgm >png_grey.png
pnmquant 16 source.ppm 2>/dev/null >quant16.ppm
pnmtopng quant16.ppm >png_palette.png
pgmramp -lr 37 23 >alpha.pgm
pnmtopng -force -alpha=alpha.pgm source.ppm >png_rgba.png
for name in png_rgb png_grey png_palette png_rgba; do
  pngtopam "$name.png" | as_ppm >"$name.ppm"
done
# The picture the loader makes of the alpha file: mixed over white.
pngtopam -mix -background=white png_rgba.png | as_ppm >png_rgba_white.ppm
# 16 bits a sample (values that do not reduce to 8 bits exactly), rounded.
pamdepth 65535 source.ppm | pamfunc -adder=1 | pnmtopng -force >png16.png
pngtopam png16.png | as_ppm >png16.ppm
pnmtopng -force smooth.ppm >smooth.png
cp png_rgb.png png_named.jpg
cp png_rgb.ppm png_named.ppm

# TIFF: LZW and Deflate, with libtiff's own decoder as the reference; ZSTD, a
# codec the engine's libtiff leaves out.
ppm2tiff -c lzw source.ppm tiff.tif
tifftopnm tiff.tif 2>/dev/null | as_ppm >tiff.ppm
tiffcp -c zip tiff.tif deflate.tif
tiffinfo deflate.tif 2>/dev/null | grep -q AdobeDeflate || fail "deflate.tif is not Deflate-compressed"
tiffcp -c zstd tiff.tif zstd.tif
tiffinfo zstd.tif 2>/dev/null | grep -q ZSTD || fail "zstd.tif is not ZSTD-compressed"

# BMP: 24 bits and 8 bits with a 256-entry palette (both read), an 8-bit one
# longer than 1 MiB, and both 8-bit ones marked JPEG-compressed, which no
# reader takes.
ppmtobmp -windows -bpp 24 source.ppm >bmp24.bmp 2>/dev/null
bmptopnm bmp24.bmp 2>/dev/null | as_ppm >bmp24.ppm
ppmtobmp -windows -bpp 8 quant16.ppm >bmp8.bmp 2>/dev/null
bmptopnm bmp8.bmp 2>/dev/null | as_ppm >bmp8.ppm
convert -size 1100x1000 gradient:red-blue -swirl 200 -depth 8 ppm:- | pnmquant 200 2>/dev/null |
  ppmtobmp -windows -bpp 8 >bmp8_large.bmp 2>/dev/null
[ "$(stat -c %s bmp8_large.bmp)" -ge 1048576 ] || fail "bmp8_large.bmp is shorter than 1 MiB"
for name in bmp8 bmp8_large; do
  cp "$name.bmp" "${name/bmp8/bmp_jpeg}.bmp"
  printf '\4' | dd of="${name/bmp8/bmp_jpeg}.bmp" bs=1 seek=30 conv=notrunc status=none
done

# PCX: 24 bits in three planes and 8 bits with the palette at the end.
ppmtopcx -24bit source.ppm >pcx24.pcx 2>/dev/null
pcxtoppm pcx24.pcx 2>/dev/null | as_ppm >pcx24.ppm
ppmtopcx -8bit quant16.ppm >pcx8.pcx 2>/dev/null
pcxtoppm pcx8.pcx 2>/dev/null | as_ppm >pcx8.ppm

# A real PhotoCD image pack (ImageMagick writes the base resolution, 768 x
# 512): red on the left half, blue on the right.
convert -size 384x512 xc:red -size 384x512 xc:blue +append -depth 8 photocd_source.ppm
convert photocd_source.ppm PCD:photocd.pcd

# GIF: ImageMagick's 256 colours, with netpbm's decoder as the reference.
convert source.ppm gif.gif
giftopnm gif.gif 2>/dev/null | as_ppm >gif.ppm

# Files that are no pictures.
printf 'this is only text, not a picture\n' >text.txt
awk 'BEGIN { for (i = 0; i < 30000; i++) print "line " i ": text that is no picture at all" }' \
  >text_large.txt
[ "$(stat -c %s text_large.txt)" -ge 1048576 ] || fail "text_large.txt is shorter than 1 MiB"
: >empty.bin

# Padded pictures, one per reader ahead of PhotoCD, each read as itself.
cjpeg -quality 90 small.ppm >jpeg_pcd.jpg
ppmtobmp -windows -bpp 24 small.ppm >bmp_pcd.bmp 2>/dev/null
ppm2tiff -c none small.ppm small.tif
cp small.tif tiff_pcd.tif
pnmtopng -force small.ppm >png_pcd.png
ppmtopcx -24bit small.ppm >pcx_pcd.pcx 2>/dev/null
djpeg -pnm jpeg_pcd.jpg | as_ppm >jpeg_pcd.ppm
bmptopnm bmp_pcd.bmp 2>/dev/null | as_ppm >bmp_pcd.ppm
tifftopnm tiff_pcd.tif 2>/dev/null | as_ppm >tiff_pcd.ppm
pngtopam png_pcd.png | as_ppm >png_pcd.ppm
pcxtoppm pcx_pcd.pcx 2>/dev/null | as_ppm >pcx_pcd.ppm
convert small.ppm gif_pcd.gif
giftopnm gif_pcd.gif 2>/dev/null | as_ppm >gif_pcd.ppm
for file in jpeg_pcd.jpg bmp_pcd.bmp tiff_pcd.tif png_pcd.png pcx_pcd.pcx gif_pcd.gif; do
  photocd_padding "$file"
done

# Padded files whose first accepting reader fails while decoding: a ZSTD
# TIFF, a PNG whose image data is damaged (its CRC no longer matches), and a
# GIF whose LZW code size is past the 8 bits the format allows.
tiffcp -c zstd small.tif zstd_pcd.tif
tiffinfo zstd_pcd.tif 2>/dev/null | grep -q ZSTD || fail "zstd_pcd.tif is not ZSTD-compressed"
photocd_padding zstd_pcd.tif
convert small.ppm bad_code_size_pcd.gif
descriptor=$(grep -obUaP '\x2c\x00\x00\x00\x00\x10\x00\x0c\x00' bad_code_size_pcd.gif | head -n 1 | cut -d: -f1)
[ -n "$descriptor" ] || fail "no 16 x 12 image descriptor in bad_code_size_pcd.gif"
printf '\x0c' | dd of=bad_code_size_pcd.gif bs=1 seek=$((descriptor + 10)) conv=notrunc 2>/dev/null
photocd_padding bad_code_size_pcd.gif
pnmtopng -force small.ppm >damaged_png_pcd.png
idat=$(grep -obUaP 'IDAT' damaged_png_pcd.png | head -n 1 | cut -d: -f1)
[ -n "$idat" ] || fail "no IDAT chunk in damaged_png_pcd.png"
printf '\x55\xAA\x55\xAA' | dd of=damaged_png_pcd.png bs=1 seek=$((idat + 12)) conv=notrunc 2>/dev/null
photocd_padding damaged_png_pcd.png

# A file starting like a JPEG whose header the library cannot read: the
# loader moves on, and the PhotoCD reader takes it.
printf '\xFF\xD8\xFF\xFE\x00\x02 no header follows' >not_jpeg_pcd.bin
photocd_padding not_jpeg_pcd.bin

echo "command test pictures written to $out"
