#!/usr/bin/env bash
# Makes the seed corpus of every reader's fuzz target with Debian's tools:
# small pictures in the layouts each reader handles, written by other programs.
#   make_seeds.sh OUT_DIR   -> OUT_DIR/<reader>/...
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:?usage: make_seeds.sh OUT_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"/{jpeg,png,tiff,bmp,pcx,gif,netpbm,sgi,softimage_pic,photocd,exif,webp,heif}

# A small colourful source picture, and a grey and a 3-colour variant.
convert -size 23x17 gradient:red-blue -swirl 90 "$work/rgb.ppm"
convert "$work/rgb.ppm" -colorspace Gray "$work/grey.pgm"
convert -size 9x7 xc:red -fill lime -draw 'point 1,1' -fill blue -draw 'rectangle 4,2 8,6' "$work/few.ppm"

# JPEG: baseline, progressive, greyscale, CMYK, restart markers, arithmetic-less 4:4:4.
cjpeg -quality 90 "$work/rgb.ppm" >"$out/jpeg/baseline.jpg"
cjpeg -progressive "$work/rgb.ppm" >"$out/jpeg/progressive.jpg"
cjpeg -grayscale "$work/grey.pgm" >"$out/jpeg/grey.jpg"
cjpeg -restart 1 -sample 1x1 "$work/rgb.ppm" >"$out/jpeg/restart444.jpg"
convert "$work/rgb.ppm" -colorspace CMYK "$out/jpeg/cmyk.jpg"

# PNG: every colour type and bit depth the reader meets, Adam7, gAMA/sRGB.
convert "$work/rgb.ppm" "$out/png/rgb8.png"
convert "$work/rgb.ppm" -alpha set -channel A -evaluate set 60% "$out/png/rgba8.png"
convert "$work/grey.pgm" "$out/png/grey8.png"
convert "$work/grey.pgm" -depth 4 "$out/png/grey4.png"
convert "$work/grey.pgm" -monochrome "$out/png/grey1.png"
convert "$work/few.ppm" PNG8:"$out/png/palette.png"
convert "$work/rgb.ppm" -interlace PNG "$out/png/adam7.png"
convert "$work/rgb.ppm" -depth 16 PNG48:"$out/png/rgb16.png"
convert "$work/rgb.ppm" -set gamma 0.7 "$out/png/gamma.png"

# TIFF: the compressions the reader decodes, palette, grey, alpha, two pages.
convert "$work/rgb.ppm" -compress None "$out/tiff/none.tif"
convert "$work/rgb.ppm" -compress LZW "$out/tiff/lzw.tif"
convert "$work/rgb.ppm" -compress RLE "$out/tiff/packbits.tif"
convert "$work/rgb.ppm" -compress JPEG "$out/tiff/jpeg.tif"
convert "$work/grey.pgm" -monochrome -compress Group4 "$out/tiff/g4.tif"
convert "$work/grey.pgm" -monochrome -compress Fax "$out/tiff/g3.tif"
convert "$work/few.ppm" -type Palette "$out/tiff/palette.tif"
convert "$work/rgb.ppm" -alpha set "$out/tiff/alpha.tif"
convert "$work/rgb.ppm" -compress Zip "$out/tiff/deflate.tif"
convert "$work/rgb.ppm" -colorspace CMYK "$out/tiff/cmyk.tif"
tiffcp -c zip:2 "$out/tiff/none.tif" "$out/tiff/deflate_predictor.tif"
convert "$work/rgb.ppm" "$work/grey.pgm" "$out/tiff/pages.tif"

# BMP: 24-bit bottom-up and top-down, OS/2 core header, 8-bit, RLE.
convert "$work/rgb.ppm" -type TrueColor BMP3:"$out/bmp/rgb24.bmp"
convert "$work/rgb.ppm" -type TrueColor BMP:"$out/bmp/rgb24v5.bmp"
convert "$work/rgb.ppm" -type TrueColor BMP2:"$out/bmp/os2.bmp"
convert "$work/few.ppm" -type Palette BMP3:"$out/bmp/palette8.bmp"
convert "$work/few.ppm" -type Palette -compress RLE BMP3:"$out/bmp/rle8.bmp"
ppmtobmp "$work/rgb.ppm" >"$out/bmp/netpbm24.bmp" 2>/dev/null
# Every other variant the reader decodes: 1 and 4 bits (also OS/2 core),
# RLE8 in a version-4 header, a hand-made RLE4 file with every code, 5-5-5
# and 5-6-5 bit fields, 32 bits with an alpha mask and with alpha in the
# fourth bytes, an OS/2 2.x header.
convert "$work/grey.pgm" -monochrome BMP3:"$out/bmp/bits1.bmp"
convert "$work/rgb.ppm" -colors 16 -type Palette -compress None BMP3:"$out/bmp/bits4.bmp"
convert "$work/rgb.ppm" -colors 16 ppm:- | ppmtobmp -os2 -bpp 4 >"$out/bmp/os2_bits4.bmp" 2>/dev/null
convert "$work/few.ppm" -intent undefined -type Palette -compress RLE BMP:"$out/bmp/rle8v4.bmp"
le32() {
  local v
  for v in $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); do
    printf "\\x$(printf %02x "$v")"
  done
}
# RLE4, 9 x 4, 16 colours: runs, absolute runs with and without padding,
# end of line, delta, end of bitmap.
{ printf 'BM'; le32 146; le32 0; le32 118; le32 40; le32 9; le32 4; printf '\1\0\4\0'; le32 2
  le32 28; le32 0; le32 0; le32 0; le32 0
  for i in $(seq 0 15); do printf "\\x$(printf %02x $((i * 16)))\\x40\\x80\\0"; done
  printf '\x05\x12\0\x03\x34\x50\0\0\0\x05\x67\x89\xa0\0\x04\xbc\0\0\0\x02\x03\x01\x06\xde\0\0\0\x01'
} >"$out/bmp/rle4.bmp"
convert "$work/rgb.ppm" -type TrueColor -define bmp:subtype=RGB555 BMP:"$out/bmp/rgb555.bmp"
convert "$work/rgb.ppm" -type TrueColor -define bmp:subtype=RGB565 BMP:"$out/bmp/rgb565.bmp"
convert "$work/rgb.ppm" -alpha set -channel A -evaluate set 60% +channel BMP:"$out/bmp/argb32.bmp"
convert "$work/rgb.ppm" -alpha set -channel A -evaluate set 60% +channel -define bmp3:alpha=true \
  BMP3:"$out/bmp/rgba32.bmp"
# OS/2 2.x: the 40-byte header of bits4.bmp grown to 64 bytes.
bits4="$out/bmp/bits4.bmp"
{ printf 'BM'; le32 $(($(stat -c %s "$bits4") + 24)); le32 0
  le32 $(($(od -An -tu4 -j10 -N4 "$bits4") + 24)); le32 64
  tail -c +19 "$bits4" | head -c 36; head -c 24 /dev/zero; tail -c +55 "$bits4"
} >"$out/bmp/os2v2_bits4.bmp"

# PCX: 24-bit, 8-bit palette, 1-bit.
convert "$work/rgb.ppm" -type TrueColor "$out/pcx/rgb24.pcx"
convert "$work/few.ppm" -type Palette "$out/pcx/palette8.pcx"
ppmtopcx "$work/rgb.ppm" >"$out/pcx/netpbm24.pcx" 2>/dev/null
convert "$work/grey.pgm" -monochrome "$out/pcx/mono.pcx"
# 1 bit, 4 bits in planes of 1 bit (as many as the colours need) and packed,
# 32 bits in four planes.
convert "$work/grey.pgm" -monochrome ppm:- | ppmtopcx >"$out/pcx/bits1.pcx" 2>/dev/null
convert "$work/rgb.ppm" -colors 16 ppm:- | ppmtopcx >"$out/pcx/planes.pcx" 2>/dev/null
convert "$work/rgb.ppm" -colors 16 ppm:- | ppmtopcx -packed >"$out/pcx/packed4.pcx" 2>/dev/null
convert "$work/rgb.ppm" -alpha set -channel A -evaluate set 60% +channel PCX:"$out/pcx/rgba32.pcx"

# GIF: plain, interlaced, transparent, a frame smaller than the screen, an
# animation, and gifsicle's local colour table.
convert "$work/rgb.ppm" "$out/gif/rgb.gif"
convert "$work/rgb.ppm" -interlace GIF "$out/gif/interlaced.gif"
convert "$work/few.ppm" -transparent red "$out/gif/transparent.gif"
convert -size 23x17 xc:white "$work/few.ppm" -geometry +5+4 -composite -crop 9x7+5+4 \
  -set page 23x17+5+4 "$out/gif/offset.gif"
convert -delay 10 "$work/few.ppm" "$work/rgb.ppm" "$out/gif/animated.gif"
gifsicle --no-warnings --local-colors "$out/gif/rgb.gif" >"$out/gif/local.gif" 2>/dev/null ||
  gifsicle --no-warnings "$out/gif/rgb.gif" >"$out/gif/local.gif"

# Netpbm: plain and raw bitmap, greymap and pixmap, 16 bits, a small maxval.
ppmtoppm <"$work/rgb.ppm" >"$out/netpbm/raw.ppm"
pnmtoplainpnm "$work/rgb.ppm" >"$out/netpbm/plain.ppm"
pamtopnm "$work/grey.pgm" >"$out/netpbm/raw.pgm"
pnmtoplainpnm "$work/grey.pgm" >"$out/netpbm/plain.pgm"
pamditherbw "$work/grey.pgm" 2>/dev/null | pamtopnm >"$out/netpbm/raw.pbm"
pnmtoplainpnm "$out/netpbm/raw.pbm" >"$out/netpbm/plain.pbm"
pamdepth 65535 "$work/rgb.ppm" >"$out/netpbm/deep.ppm"
pamdepth 15 "$work/grey.pgm" | pnmtoplainpnm >"$out/netpbm/maxval15.pgm"

# SGI: verbatim and run-length, grey, RGB, RGBA, 16 bits.
convert "$work/rgb.ppm" -compress RLE SGI:"$out/sgi/rgb_rle.sgi"
convert "$work/rgb.ppm" -compress None SGI:"$out/sgi/rgb_none.sgi"
convert "$work/grey.pgm" -compress RLE SGI:"$out/sgi/grey_rle.sgi"
convert "$work/rgb.ppm" -alpha set -channel A -evaluate set 60% -compress RLE SGI:"$out/sgi/rgba_rle.sgi"
convert "$work/rgb.ppm" -depth 16 SGI:"$out/sgi/rgb16.sgi"
pnmtosgi -rle "$work/grey.pgm" >"$out/sgi/netpbm_grey.sgi" 2>/dev/null

# Softimage PIC: nothing in Debian writes it; two 4 x 2 files by hand: the
# 104-byte header, the channel packets (chained, 8 bits, encoding, channels),
# then the rows.
pic_header() {
  printf '\123\200\366\064\100\155\160\244'
  head -c 80 /dev/zero
  printf 'PICT\000\004\000\002\077\200\000\000\000\003\000\000'
}
{ pic_header
  printf '\001\010\002\340\000\010\001\020'  # mixed colour, pure run-length alpha
  printf '\003\377\000\000\000\377\000\000\000\377\001\001\001\004\200'
  printf '\201\020\040\060\001\100\120\140\001\002\003\004\377'
} >"$out/softimage_pic/mixed_alpha.pic"
{ pic_header
  printf '\000\010\000\340'  # uncompressed colour
  printf '\001\002\003\004\005\006\007\010\011\012\013\014'
  printf '\015\016\017\020\021\022\023\024\025\026\027\030'
} >"$out/softimage_pic/uncompressed.pic"

# PhotoCD: no tool writes one; the targets build their own image-pack
# structures, so the seeds are short files with and without the signature.
head -c 4096 /dev/zero >"$out/photocd/zeros.bin"
{ head -c 2048 /dev/zero; printf 'PCD_IPI'; head -c 2041 /dev/zero; } >"$out/photocd/signature.bin"

# EXIF: JPEG files whose orientation exiftool set, in both byte orders, with
# their scan data cut off (the parser stops at SOS); TIFF files with the
# Orientation field set by tiffset.
cjpeg -quality 50 "$work/few.ppm" >"$work/few.jpg"
for n in 3 6 8; do
  cp "$work/few.jpg" "$work/o$n.jpg"
  exiftool -q -overwrite_original "-Orientation#=$n" "$work/o$n.jpg"
  head -c 400 "$work/o$n.jpg" >"$out/exif/jpeg$n.bin"
done
cp "$work/few.jpg" "$work/intel.jpg"
exiftool -q -overwrite_original '-ExifByteOrder#=II' '-Orientation#=5' "$work/intel.jpg"
head -c 400 "$work/intel.jpg" >"$out/exif/jpeg5_intel.bin"
ppm2tiff -c none "$work/few.ppm" "$out/exif/tiff7.tif"
tiffset -s 274 7 "$out/exif/tiff7.tif"
tiffcp -B "$out/exif/tiff7.tif" "$out/exif/tiff7_big_endian.tif"

# WebP: lossy, lossless, each with alpha, and a two-frame animation whose
# first frame is smaller than the canvas and offset.
convert "$work/rgb.ppm" -alpha set -channel A -evaluate set 60% +channel PNG32:"$work/rgba.png"
cwebp -quiet -q 50 "$work/rgb.ppm" -o "$out/webp/lossy.webp"
cwebp -quiet -lossless "$work/rgb.ppm" -o "$out/webp/lossless.webp"
cwebp -quiet -q 50 "$work/rgba.png" -o "$out/webp/lossy_alpha.webp"
cwebp -quiet -lossless "$work/rgba.png" -o "$out/webp/lossless_alpha.webp"
cwebp -quiet -q 50 "$work/few.ppm" -o "$work/few.webp"
webpmux -frame "$work/few.webp" +100+4+2+0-b -frame "$out/webp/lossless_alpha.webp" +100+0+0+1+b \
  -o "$out/webp/animation.webp" >/dev/null 2>&1

# HEIF: HEIC of 8 and 10 bits and with alpha (heif-enc writes a one-tile
# grid), a grid of two tiles with a rotation (heif_build.py), and AVIF of 8
# and 10 bits, with alpha and turned.
convert "$work/rgb.ppm" "$work/rgb.png"
heif-enc -q 30 "$work/rgb.png" -o "$out/heif/heic8.heic" >/dev/null
heif-enc -q 30 "$work/rgba.png" -o "$out/heif/heic_alpha.heic" >/dev/null
convert "$work/rgb.ppm" -depth 16 PNG48:"$work/rgb16.png"
heif-enc -q 30 -b 10 "$work/rgb16.png" -o "$out/heif/heic10.heic" >/dev/null
convert -size 64x64 gradient:red-blue -depth 8 "$work/tile1.png"
convert -size 64x64 gradient:lime-navy -depth 8 "$work/tile2.png"
heif-enc -q 20 "$work/tile1.png" -o "$work/tile1.heic" >/dev/null
heif-enc -q 20 "$work/tile2.png" -o "$work/tile2.heic" >/dev/null
python3 "$here/../testdata/heif_build.py" "$out/heif/grid_irot.heic" --tiles "$work/tile1.heic" \
  "$work/tile2.heic" --grid 1x2 --size 120x50 --irot 1 --imir 1
avifenc -s 10 "$work/rgb.png" "$out/heif/avif8.avif" >/dev/null
avifenc -s 10 "$work/rgba.png" "$out/heif/avif_alpha.avif" >/dev/null
avifenc -s 10 -d 10 "$work/rgb16.png" "$out/heif/avif10.avif" >/dev/null
avifenc -s 10 --irot 3 --imir 0 "$work/rgba.png" "$out/heif/avif_turned.avif" >/dev/null

echo "seeds written to $out"
