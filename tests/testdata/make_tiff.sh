#!/usr/bin/env bash
# TIFF pictures for the TIFF codec's tests, written by libtiff's own tools,
# ImageMagick and netpbm. Each picture NAME.tif comes with NAME.rgb, the
# pixels an independent decoder (or the lossless source) gives, as raw 8-bit
# red, green, blue rows, top row first, and NAME.size ("width height").
#   make_tiff.sh OUT_DIR   -> OUT_DIR/tiff/
set -euo pipefail
out=${1:?usage: make_tiff.sh OUT_DIR}/tiff
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Reference pixels of NAME.tif taken from SOURCE (any picture ImageMagick reads).
reference() {
  local name=$1 source=$2
  convert "$source" -depth 8 "rgb:$out/$name.rgb"
  identify -format '%w %h\n' "$source" | head -n 1 >"$out/$name.size"
}

# Fails the script when the file lacks the layout a test relies on.
require() {
  local name=$1 pattern=$2
  if ! tiffinfo "$out/$name.tif" 2>/dev/null | grep -q -- "$pattern"; then
    echo "make_tiff.sh: $name.tif lacks '$pattern'" >&2
    tiffinfo "$out/$name.tif" >&2 || true
    exit 1
  fi
}

# Sources: every 8-bit value in some channel, no two neighbours alike, more
# rows than one default strip holds; a grey version; a bilevel pattern; a few
# flat colours; an alpha ramp.
convert -size 61x37 xc: -channel R -fx 'i/w' -channel G -fx 'j/h' \
  -channel B -fx '((i*7+j*13)%256)/255' +channel -depth 8 src.ppm
convert src.ppm -colorspace Gray -depth 8 grey.pgm
convert -size 61x37 xc: -fx '(i*j+i+3*j)%7<3' pbm:mono.pbm
convert -size 9x7 xc:red -fill lime -draw 'point 1,1' -fill blue -draw 'rectangle 4,2 8,6' \
  -depth 8 few.ppm
convert src.ppm -alpha set -channel A -fx '((i*5+j*3)%256)/255' +channel -depth 8 rgba:src.rgba

# Uncompressed RGB, and the same pixels under every compression the reader
# decodes, in both byte orders, planar and tiled.
ppm2tiff -c none src.ppm "$out/none.tif"
require none "Compression Scheme: None"
reference none src.ppm
for variant in "lzw lzw" "lzw_predictor lzw:2" "packbits packbits"; do
  set -- $variant
  tiffcp -c "$2" "$out/none.tif" "$out/$1.tif"
  reference "$1" src.ppm
done
require lzw "LZW"
require lzw_predictor "Predictor: horizontal"
require packbits "PackBits"
tiffcp -B -c lzw "$out/none.tif" "$out/big_endian.tif"
[ "$(head -c 2 "$out/big_endian.tif")" = MM ] || { echo "big_endian.tif is not big-endian" >&2; exit 1; }
reference big_endian src.ppm
tiffcp -p separate "$out/none.tif" "$out/planar.tif"
require planar "separate image planes"
reference planar src.ppm
tiffcp -t -w 16 -l 16 -c lzw "$out/none.tif" "$out/tiled.tif"
require tiled "Tile Width: 16"
reference tiled src.ppm

# JPEG is lossy: the reference is what ImageMagick decodes from the file.
tiffcp -c jpeg:90 "$out/none.tif" "$out/jpeg_ycbcr.tif"
require jpeg_ycbcr "YCbCr"
reference jpeg_ycbcr "$out/jpeg_ycbcr.tif"
tiffcp -c jpeg:r:90 "$out/none.tif" "$out/jpeg_rgb.tif"
require jpeg_rgb "JPEG"
reference jpeg_rgb "$out/jpeg_rgb.tif"

# Bilevel: uncompressed, CCITT Group 3 (1-D and 2-D) and Group 4, and a fax
# file made from raw G3 data by fax2tiff (bit order LSB first; fax2tiff also
# counts the end-of-page codes as six more white rows).
ppm2tiff -c none mono.pbm "$out/mono.tif"
require mono "Bits/Sample: 1"
reference mono mono.pbm
for variant in "g3 g3:1d" "g3_2d g3:2d" "g4 g4"; do
  set -- $variant
  tiffcp -c "$2" "$out/mono.tif" "$out/$1.tif"
  reference "$1" mono.pbm
done
require g3 "CCITT Group 3"
require g4 "CCITT Group 4"
pbmtog3 -nofixedwidth mono.pbm >mono.g3
fax2tiff -M -X 61 -o "$out/fax.tif" mono.g3 >/dev/null
require fax "CCITT Group 3"
reference fax "$out/fax.tif"

# Grey: 8-bit, made by tiff2bw from the RGB file, and 16-bit.
ppm2tiff -c none grey.pgm "$out/grey.tif"
require grey "min-is-black"
reference grey grey.pgm
tiff2bw "$out/none.tif" "$out/tiff2bw.tif"
reference tiff2bw "$out/tiff2bw.tif"
convert grey.pgm -depth 16 -compress none "$out/grey16.tif"
require grey16 "Bits/Sample: 16"
reference grey16 grey.pgm

# 16 bits per sample RGB (8-bit values times 257, so scaling is exact).
convert src.ppm -depth 16 -compress none "$out/rgb16.tif"
require rgb16 "Bits/Sample: 16"
reference rgb16 src.ppm

# Palette: 8-bit with many colours, and 2-bit with three.
# The colours are quantised to 8 bits first so that the 16-bit colour map
# holds exact multiples of 257.
convert src.ppm -colors 200 -depth 8 quantised.ppm
convert quantised.ppm -type Palette -compress none "$out/palette8.tif"
require palette8 "palette color"
require palette8 "Bits/Sample: 8"
reference palette8 quantised.ppm
convert few.ppm -type Palette -compress none "$out/palette_few.tif"
require palette_few "palette color"
reference palette_few few.ppm

# Alpha, stored exactly as given (red, green, blue, alpha; no colour above
# its alpha, so the same bytes are valid associated alpha): raw2tiff with the
# ExtraSamples field set by tiffset, and ImageMagick's own files of each kind
# from a picture with an alpha ramp. The references (NAME.rgba) are
# ImageMagick's un-premultiplied decoding; src.rgba keeps the stored bytes.
convert src.ppm -alpha set -channel A -fx '((i*5+j*3)%256)/255' +channel -depth 8 rgba:ramp.rgba
convert -size 61x37 -depth 8 rgba:ramp.rgba -background black -alpha Background \
  -fx 'u*u.a' -channel A -fx 'u.a' +channel -depth 8 rgba:src.rgba
for variant in "alpha_associated 1" "alpha_unassociated 2"; do
  set -- $variant
  cp src.rgba "$out/stored.rgba"
  raw2tiff -w 61 -l 37 -b 4 -d byte -i pixel -p rgb -M -c none src.rgba "$out/$1.tif"
  tiffset -s 338 1 "$2" "$out/$1.tif" 2>/dev/null
  convert "$out/$1.tif" -depth 8 "rgba:$out/$1.rgba"
  echo "61 37" >"$out/$1.size"
done
require alpha_associated "assoc-alpha"
require alpha_unassociated "unassoc-alpha"
for kind in associated unassociated; do
  convert -size 61x37 -depth 8 rgba:ramp.rgba -alpha on -define "tiff:alpha=$kind" \
    -compress lzw "$out/im_alpha_$kind.tif"
  convert "$out/im_alpha_$kind.tif" -depth 8 "rgba:$out/im_alpha_$kind.rgba"
  echo "61 37" >"$out/im_alpha_$kind.size"
done
require im_alpha_associated "assoc-alpha"
require im_alpha_unassociated "unassoc-alpha"

# CMYK (InkSet CMYK, 8 bits), uncompressed and LZW; ImageMagick's conversion
# back to RGB is the reference.
convert src.ppm -colorspace CMYK -compress none "$out/cmyk.tif"
require cmyk "separated"
reference cmyk "$out/cmyk.tif"
convert src.ppm -colorspace CMYK -compress lzw "$out/cmyk_lzw.tif"
reference cmyk_lzw "$out/cmyk_lzw.tif"

# Deflate under both compression tags (8, and the older 32946, which holds
# the same zlib stream), with and without the predictor, from libtiff's tools
# and ImageMagick. (PixarLog is built in too, but no Debian tool writes it.)
tiffcp -c zip "$out/none.tif" "$out/deflate.tif"
require deflate "AdobeDeflate"
reference deflate src.ppm
tiffcp -c zip:2 "$out/none.tif" "$out/deflate_predictor.tif"
require deflate_predictor "Predictor: horizontal"
reference deflate_predictor src.ppm
cp "$out/deflate.tif" "$out/deflate_old_tag.tif"
tiffset -s 259 32946 "$out/deflate_old_tag.tif" 2>/dev/null
require deflate_old_tag "Compression Scheme: Deflate"
reference deflate_old_tag src.ppm
convert src.ppm -compress Zip "$out/deflate_im.tif"
require deflate_im "AdobeDeflate"
reference deflate_im src.ppm

# Old-style JPEG: no Debian tool writes it; libtiff's source package (fetched
# by scripts/build-deps.sh, found through PC_TIFF_TEST_IMAGES) carries samples.
# ImageMagick decodes them with wrong colours; the reference is Debian's
# tiff2rgba (Debian's own libtiff build) turned into plain RGB.
if [ -n "${PC_TIFF_TEST_IMAGES:-}" ]; then
  for name in ojpeg_chewey_subsamp21_multi_strip ojpeg_zackthecat_subsamp22_single_strip; do
    cp "$PC_TIFF_TEST_IMAGES/$name.tiff" "$out/$name.tif"
    require "$name" "Old-style JPEG"
    tiff2rgba "$out/$name.tif" "$name.rgba.tif" 2>/dev/null
    reference "$name" "$name.rgba.tif"
  done
fi

# Two pages of different sizes: only the first is read.
convert few.ppm -compress none small.tif
tiffcp "$out/none.tif" small.tif "$out/pages.tif"
[ "$(tiffinfo "$out/pages.tif" 2>/dev/null | grep -c 'TIFF directory')" = 2 ] ||
  { echo "pages.tif has not two pages" >&2; exit 1; }
reference pages src.ppm

# Orientation: the reader keeps the rows in the order stored (src.ppm flipped
# upside down, Orientation 4); the loader turns them upright.
convert src.ppm -flip flipped.ppm
ppm2tiff -c none flipped.ppm "$out/bottom_left.tif"
tiffset -s 274 4 "$out/bottom_left.tif"
require bottom_left "row 0 bottom, col 0 lhs"
reference bottom_left flipped.ppm
convert src.ppm -depth 8 "rgb:$out/bottom_left_upright.rgb"

# ZSTD: a codec the reader's library leaves out.
tiffcp -c zstd "$out/none.tif" "$out/zstd.tif"
require zstd "ZSTD"

# Declared sizes whose 4-byte-per-pixel decoding buffer cannot be mapped:
# 30000 x 20000 (2.4 GB; the 24-bit picture alone would still fit) and
# 65536 x 16384 (exactly 2^32 bytes, 0 in 32-bit arithmetic).
for variant in "oversize 30000 20000" "wrapping_size 65536 16384"; do
  set -- $variant
  cp "$out/none.tif" "$out/$1.tif"
  tiffset -s 256 "$2" "$out/$1.tif"
  tiffset -s 257 "$3" "$out/$1.tif"
  require "$1" "Image Width: $2 Image Length: $3"
done

# Not a TIFF at all, and a TIFF cut short before its directory.
printf 'II*\0 this is only text, not a picture\n' >"$out/text.tif"
head -c 64 "$out/none.tif" >"$out/truncated.tif"
