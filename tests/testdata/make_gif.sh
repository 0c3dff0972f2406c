#!/usr/bin/env bash
# GIF pictures for the GIF reader's tests, written by ImageMagick, gifsicle
# and giflib's gifbuild. Each picture NAME.gif comes with NAME.rgba, the
# pixels of its first frame as ImageMagick decodes them (raw 8-bit red,
# green, blue, alpha rows, top row first; alpha 0 for the transparent
# colour), and NAME.geometry ("screen-width screen-height left top width
# height"). Damaged files have no reference.
#   make_gif.sh OUT_DIR   -> OUT_DIR/gif/
set -euo pipefail
out=${1:?usage: make_gif.sh OUT_DIR}/gif
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() {
  echo "make_gif.sh: $*" >&2
  exit 1
}

reference() {
  local name=$1
  convert "$out/$name.gif[0]" -depth 8 "rgba:$out/$name.rgba"
  identify -format '%W %H %X %Y %w %h\n' "$out/$name.gif[0]" | tr -d '+' >"$out/$name.geometry"
}

# Fails the script when gifsicle does not see the layout a test relies on.
require() {
  local name=$1 pattern=$2
  gifsicle --info "$out/$name.gif" 2>/dev/null | grep -q -- "$pattern" ||
    fail "$name.gif lacks '$pattern'"
}

# Sources: a busy 61 x 37 picture (more colours than a GIF holds), a
# picture of few flat colours, a bilevel pattern, and a picture only three
# rows high (interlacing leaves passes empty).
convert -size 61x37 xc: -channel R -fx 'i/w' -channel G -fx 'j/h' \
  -channel B -fx '((i*7+j*13)%256)/255' +channel -depth 8 src.ppm
convert -size 9x7 xc:red -fill lime -draw 'point 1,1' -fill blue -draw 'rectangle 4,2 8,6' \
  -depth 8 few.ppm
convert -size 61x37 xc: -fx '(i*j+i+3*j)%7<3' pbm:mono.pbm
convert -size 13x3 xc:navy -fill orange -draw 'line 0,0 12,2' -depth 8 short.ppm

# ImageMagick: quantised and dithered to 256 colours, interlaced, two colours.
convert src.ppm "$out/rgb.gif"
reference rgb
convert src.ppm -interlace GIF "$out/interlaced.gif"
require interlaced interlaced
reference interlaced
convert short.ppm -interlace GIF "$out/interlaced_short.gif"
require interlaced_short interlaced
reference interlaced_short
convert mono.pbm "$out/mono.gif"
require mono "color table \[2\]"
reference mono

# gifsicle's own encoder, interlaced.
gifsicle --no-warnings --interlace "$out/rgb.gif" >"$out/gifsicle_interlaced.gif"
require gifsicle_interlaced interlaced
reference gifsicle_interlaced

# Transparency (Graphic Control Extension): red becomes transparent.
convert few.ppm -transparent red "$out/transparent.gif"
require transparent transparent
reference transparent

# A frame smaller than the screen, at an offset.
convert few.ppm -set page 23x17+5+4 "$out/offset.gif"
require offset "9x7 at 5,4"
reference offset

# An animation: only the first frame (few.ppm enlarged) is read.
convert few.ppm -scale 61x37! first.ppm
convert -delay 10 first.ppm src.ppm "$out/animated.gif"
require animated "2 images"
reference animated

# A local colour table: gifbuild writes the second frame of a two-frame
# file on its own, behind the first frame's two-colour global table.
convert -size 61x37 xc:yellow yellow.ppm
convert -delay 10 yellow.ppm src.ppm two.gif
gifbuild -d two.gif >two.txt
awk '/^image # 1/ { skip = 1 } /^image # 2/ { skip = 0 } !skip' two.txt | gifbuild >"$out/local.gif"
require local "local color table"
require local "global color table \[2\]"
reference local

# Damaged files. giflib's gifbuild writes a plain file of known layout
# (13-byte header, 4-entry global table, image descriptor at 25, LZW data
# from 35) to damage.
{
  printf 'screen width 40\nscreen height 30\nscreen colors 4\nscreen background 0\n\n'
  printf 'screen map\n\trgb 255 000 000 is 0\n\trgb 000 255 000 is 1\n'
  printf '\trgb 000 000 255 is 2\n\trgb 255 255 255 is 3\nend\n\n'
  printf 'image # 1\nimage left 0\nimage top 0\nimage bits 40 by 30\n'
  awk 'BEGIN { for (y = 0; y < 30; y++) { row = ""; for (x = 0; x < 40; x++) row = row ((x * 3 + y * 5 + x * y) % 4); print row } }'
} >plain.txt
gifbuild <plain.txt >"$out/plain.gif" || fail "gifbuild could not write plain.gif"
[ "$(od -An -tu1 -j25 -N1 "$out/plain.gif" | tr -d ' ')" = 44 ] ||
  fail "plain.gif has no image descriptor at byte 25"
reference plain
size=$(stat -c %s "$out/plain.gif")
# Cut inside the LZW data, and inside the header.
head -c $((size / 2)) "$out/plain.gif" >"$out/truncated.gif"
head -c 10 "$out/plain.gif" >"$out/truncated_header.gif"
# A screen of 65535 x 65535 that the file is far too short to fill.
patch() { printf "$3" | dd of="$2" bs=1 seek="$1" conv=notrunc 2>/dev/null; }
cp "$out/plain.gif" "$out/huge_screen.gif"
patch 6 "$out/huge_screen.gif" '\xff\xff\xff\xff'
# An image descriptor claiming 65535 x 65535 pixels.
cp "$out/plain.gif" "$out/huge_frame.gif"
patch 30 "$out/huge_frame.gif" '\xff\xff\xff\xff'
# An image descriptor claiming more rows than the data holds.
cp "$out/plain.gif" "$out/more_rows.gif"
patch 32 "$out/more_rows.gif" '\x00\x01'
# LZW data replaced by codes past the table.
cp "$out/plain.gif" "$out/lzw_garbage.gif"
patch 37 "$out/lzw_garbage.gif" '\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff'
# No image at all: header, table and the trailer.
head -c 25 "$out/plain.gif" >"$out/no_image.gif"
printf '\x3b' >>"$out/no_image.gif"
# A comment extension whose sub-blocks run to the end of the file.
{ head -c 25 "$out/plain.gif"; printf '\x21\xfe'; for _ in $(seq 40); do printf '\x05abcde'; done; } \
  >"$out/endless_extension.gif"
# An image without any colour table (no global table, no local one).
{ printf 'GIF89a\x02\x00\x02\x00\x00\x00\x00'; printf '\x2c\x00\x00\x00\x00\x02\x00\x02\x00\x00';
  printf '\x02\x02\x44\x01\x00\x3b'; } >"$out/no_colour_table.gif"
