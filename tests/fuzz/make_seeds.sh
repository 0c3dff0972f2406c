#!/usr/bin/env bash
# Makes the seed corpus of every reader's fuzz target with Debian's tools:
# small pictures in the layouts each reader handles, written by other programs.
#   make_seeds.sh OUT_DIR   -> OUT_DIR/<reader>/...
set -euo pipefail
out=${1:?usage: make_seeds.sh OUT_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"/{jpeg,png,tiff,bmp,pcx,netpbm,sgi,softimage_pic,photocd}

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
convert "$work/rgb.ppm" "$work/grey.pgm" "$out/tiff/pages.tif"

# BMP: 24-bit bottom-up and top-down, OS/2 core header, 8-bit, RLE.
convert "$work/rgb.ppm" -type TrueColor BMP3:"$out/bmp/rgb24.bmp"
convert "$work/rgb.ppm" -type TrueColor BMP:"$out/bmp/rgb24v5.bmp"
convert "$work/rgb.ppm" -type TrueColor BMP2:"$out/bmp/os2.bmp"
convert "$work/few.ppm" -type Palette BMP3:"$out/bmp/palette8.bmp"
convert "$work/few.ppm" -type Palette -compress RLE BMP3:"$out/bmp/rle8.bmp"
ppmtobmp "$work/rgb.ppm" >"$out/bmp/netpbm24.bmp" 2>/dev/null

# PCX: 24-bit, 8-bit palette, 1-bit.
convert "$work/rgb.ppm" -type TrueColor "$out/pcx/rgb24.pcx"
convert "$work/few.ppm" -type Palette "$out/pcx/palette8.pcx"
ppmtopcx "$work/rgb.ppm" >"$out/pcx/netpbm24.pcx" 2>/dev/null
convert "$work/grey.pgm" -monochrome "$out/pcx/mono.pcx"

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

echo "seeds written to $out"
