#!/usr/bin/env bash
# WebP, HEIC and AVIF pictures for the readers of the newer formats, written
# by Debian's cwebp, webpmux, heif-enc and avifenc; the HEIC files tiled in a
# grid or carrying a rotation or mirror are put together by heif_build.py
# from tiles heif-enc coded. Beside each picture NAME lies NAME.pam, the
# pixels its own format's tool decodes (dwebp, heif-convert, avifdec turned
# with ImageMagick), 8 bits, with alpha where the picture has it; samples of
# 10 bits come as 10 bits in a PAM of MAXVAL 1023.
#   make_modern.sh OUT_DIR   -> OUT_DIR/modern/
set -euo pipefail
out=${1:?usage: make_modern.sh OUT_DIR}/modern
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() {
  echo "make_modern.sh: $*" >&2
  exit 1
}

# Mean channel difference of two pictures of the same size (any format
# ImageMagick reads), or "size".
mean_difference() {
  convert "$1" -alpha off -depth 8 ppm:a.ppm
  convert "$2" -alpha off -depth 8 ppm:b.ppm
  python3 - a.ppm b.ppm <<'EOF'
import sys
def read(path):
    magic, size, top, pixels = open(path, 'rb').read().split(b'\n', 3)  # as ImageMagick writes
    return size, pixels
(sa, a), (sb, b) = read(sys.argv[1]), read(sys.argv[2])
print('size' if sa != sb else '%.2f' % (sum(abs(x - y) for x, y in zip(a, b)) / len(a)))
EOF
}

# A decoded PNG as the reference PAM: 8 bits as they are; 16-bit files of
# heif-convert hold 10-bit samples shifted up by 6 bits, avifdec's hold them
# scaled to 65535 (these stay 16 bits).
reference_of_png() {
  local png=$1 name=$2 shifted=${3:-}
  if [ "$(identify -format '%[bit-depth]' "$png")" = 16 ] && [ -n "$shifted" ]; then
    convert "$png" -depth 16 pam:- | python3 -c '
import struct, sys
data = sys.stdin.buffer.read()
end = data.index(b"ENDHDR\n") + 7
samples = struct.unpack(">%dH" % ((len(data) - end) // 2), data[end:])
assert all(v & 63 == 0 for v in samples), "not 10 bits shifted up"
header = data[:end].replace(b"MAXVAL 65535", b"MAXVAL 1023")
sys.stdout.buffer.write(header + struct.pack(">%dH" % len(samples), *(v >> 6 for v in samples)))' \
      >"$out/$name.pam"
  else
    convert "$png" pam:"$out/$name.pam"
  fi
}

# Sources: a busy 37 x 23 picture (odd in both directions) with a green mark
# near the top left; the same with an alpha ramp from opaque to clear; and
# its 16-bit version, with samples that are no multiples of 257.
convert -size 37x23 gradient:'#f03020'-'#2040e0' -swirl 90 -fill '#20d040' \
  -draw 'rectangle 0,0 9,5' -depth 8 src.png
convert src.png \( -size 37x23 gradient:white-black \) -alpha off -compose CopyOpacity \
  -composite -depth 8 PNG32:alpha.png
convert -size 37x23 gradient:'#102030'-'#f0e0d1' -swirl 90 -depth 16 PNG48:deep.png
[ "$(identify -format '%[bit-depth]' deep.png)" = 16 ] || fail "deep.png is not 16 bits"

# WebP: lossy and lossless, each with and without alpha. -exact keeps the
# colour under clear pixels.
cwebp -quiet -q 80 src.png -o "$out/webp_lossy.webp"
cwebp -quiet -lossless src.png -o "$out/webp_lossless.webp"
cwebp -quiet -q 80 alpha.png -o "$out/webp_lossy_alpha.webp"
cwebp -quiet -lossless -exact alpha.png -o "$out/webp_lossless_alpha.webp"
for name in webp_lossy webp_lossless webp_lossy_alpha webp_lossless_alpha; do
  dwebp -quiet "$out/$name.webp" -pam -o "$work/$name.pam"
  if [[ $name = *alpha ]]; then
    cp "$work/$name.pam" "$out/$name.pam"
  else
    convert "$work/$name.pam" -alpha off pam:"$out/$name.pam"
  fi
done
# An animation on a 37 x 23 canvas whose first frame, 21 x 13 and lossy, sits
# at (8, 6); the second, lossless with alpha, covers the canvas. The first
# frame's reference is that frame on a clear canvas.
convert -size 21x13 gradient:'#c04080'-'#40c0a0' -depth 8 first.png
cwebp -quiet -q 90 first.png -o first.webp
cwebp -quiet -lossless alpha.png -o second.webp
webpmux -frame first.webp +100+8+6+0-b -frame second.webp +100+0+0+0-b -loop 0 \
  -o "$out/webp_animation.webp" >/dev/null
webpmux -info "$out/webp_animation.webp" >info.txt
grep -q 'Canvas size: 37 x 23' info.txt || fail "webp_animation.webp has another canvas"
grep -Eq '^ *1: +21 +13 +no +8 +6 ' info.txt || fail "webp_animation.webp's first frame is not 21 x 13 at (8, 6)"
grep -q 'Number of frames: 2' info.txt || fail "webp_animation.webp has not 2 frames"
dwebp -quiet first.webp -pam -o first.pam
convert -size 37x23 xc:none first.pam -geometry +8+6 -composite -depth 8 pam:"$out/webp_animation.pam"

# HEIC: heif-enc codes a picture in tiles of 64 x 64 inside a grid whose
# output is the picture's size, so 37 x 23 is cropped from one tile.
heif-enc -q 80 src.png -o "$out/heic_8bit.heic" >/dev/null
heif-enc -q 80 alpha.png -o "$out/heic_alpha.heic" >/dev/null
heif-enc -q 80 -b 10 deep.png -o "$out/heic_10bit.heic" >/dev/null
for name in heic_8bit heic_alpha heic_10bit; do
  heif-convert --quiet "$out/$name.heic" "$work/$name.png" >/dev/null
  reference_of_png "$work/$name.png" "$name" shifted
done
[ "$(identify -format '%[bit-depth]' heic_10bit.png)" = 16 ] || fail "heic_10bit.heic is not deeper than 8 bits"
grep -q 'MAXVAL 1023' "$out/heic_10bit.pam" || fail "heic_10bit.pam is not 10 bits"

# Every turn and mirror the EXIF orientations 2..8 stand for, as libheif
# reads the properties (irot: quarter turns anticlockwise; imir 1: left and
# right swapped): the stored picture of make_orientation.sh with the
# properties that make it upright. Each must look like the same picture in a
# JPEG whose EXIF orientation ImageMagick applies.
convert -size 48x30 gradient:'#f03020'-'#2040e0' \
  -fill '#20d040' -draw 'rectangle 0,0 9,5' -fill '#f0f020' -draw 'rectangle 40,24 47,29' \
  -fill black -draw 'rectangle 4,8 6,20' -depth 8 stored.png
heif-enc -q 90 stored.png -o stored.heic >/dev/null
cjpeg -quality 95 -sample 1x1 <(convert stored.png ppm:-) >stored.jpg
turns=([2]="--imir 1" [3]="--irot 2" [4]="--imir 0" [5]="--irot 3 --imir 1" [6]="--irot 3"
  [7]="--irot 1 --imir 1" [8]="--irot 1")
for n in 2 3 4 5 6 7 8; do
  name=heic_orientation$n
  # shellcheck disable=SC2086  # the options are words
  python3 "$here/heif_build.py" "$out/$name.heic" --tiles stored.heic --size 48x30 ${turns[$n]}
  heif-convert --quiet "$out/$name.heic" "$name.png" >/dev/null
  cp stored.jpg "exif$n.jpg"
  exiftool -q -overwrite_original "-Orientation#=$n" "exif$n.jpg"
  convert "exif$n.jpg" -auto-orient "upright$n.png"
  difference=$(mean_difference "$name.png" "upright$n.png")
  [ "$difference" != size ] && awk -v d="$difference" 'BEGIN { exit !(d < 6) }' ||
    fail "$name.heic is not upright as orientation $n (mean difference $difference)"
  reference_of_png "$name.png" "$name"
done

# A photo as phones store it: six tiles of 64 x 64 in 2 rows of 3, each
# coded on its own by heif-enc with the same settings, whose grid crops the
# 192 x 128 they cover to 181 x 117. The same grid turned a quarter
# anticlockwise; a single tile as the primary picture itself, turned.
convert -size 192x128 gradient:'#f03020'-'#2040e0' -swirl 120 -fill '#20d040' \
  -draw 'rectangle 0,0 20,12' -fill black -draw 'rectangle 170,100 191,127' -depth 8 photo.png
tiles=()
for row in 0 1; do
  for column in 0 1 2; do
    convert photo.png -crop 64x64+$((column * 64))+$((row * 64)) +repage "tile$row$column.png"
    heif-enc -q 90 "tile$row$column.png" -o "tile$row$column.heic" >/dev/null
    tiles+=("tile$row$column.heic")
  done
done
python3 "$here/heif_build.py" "$out/heic_grid.heic" --tiles "${tiles[@]}" --grid 2x3 --size 181x117
python3 "$here/heif_build.py" "$out/heic_grid_irot.heic" --tiles "${tiles[@]}" --grid 2x3 \
  --size 181x117 --irot 1
python3 "$here/heif_build.py" "$out/heic_plain_irot.heic" --tiles tile00.heic --plain --irot 3
heif-info "$out/heic_grid.heic" | grep -q '^image: 181x117 (id=7), primary' ||
  fail "libheif does not see heic_grid.heic as the 181 x 117 grid item"
heif-info "$out/heic_grid_irot.heic" | grep -q '^image: 117x181 (id=7), primary' ||
  fail "libheif does not see heic_grid_irot.heic as the turned grid item"
convert photo.png -crop 181x117+0+0 +repage cropped.png
convert cropped.png -rotate -90 turned.png
convert tile00.png -rotate 90 plain_turned.png
for check in "heic_grid cropped.png" "heic_grid_irot turned.png" "heic_plain_irot plain_turned.png"; do
  read -r name picture <<<"$check"
  heif-convert --quiet "$out/$name.heic" "$name.png" >/dev/null
  difference=$(mean_difference "$name.png" "$picture")
  [ "$difference" != size ] && awk -v d="$difference" 'BEGIN { exit !(d < 3) }' ||
    fail "$name.heic does not show its tiles in place (mean difference $difference)"
  reference_of_png "$name.png" "$name"
done

# AVIF: 8 bits, with alpha, 10 bits, and turned a quarter anticlockwise and
# mirrored left to right. avifdec writes the coded picture as it is stored,
# so ImageMagick turns its output; its 16-bit PNG is the 10-bit samples
# scaled to 16 bits.
avifenc -s 8 src.png "$out/avif_8bit.avif" >/dev/null
avifenc -s 8 alpha.png "$out/avif_alpha.avif" >/dev/null
avifenc -s 8 -d 10 deep.png "$out/avif_10bit.avif" >/dev/null
avifenc -s 8 --irot 1 --imir 1 src.png "$out/avif_turned.avif" >/dev/null
# 10 bits, cropped (clap), turned three quarters and mirrored top to bottom:
# libheif transforms only 8-bit pictures, the engine does the rest itself.
avifenc -s 8 -d 10 --crop 3,2,30,19 --irot 3 --imir 0 deep.png "$out/avif_10bit_turned.avif" >/dev/null
for name in avif_8bit avif_alpha avif_10bit avif_turned avif_10bit_turned; do
  avifdec "$out/$name.avif" "$name.png" >/dev/null
done
[ "$(identify -format '%[bit-depth]' avif_10bit.png)" = 16 ] || fail "avif_10bit.avif is not deeper than 8 bits"
convert avif_turned.png -rotate -90 -flop avif_turned.png
convert avif_10bit_turned.png -crop 30x19+3+2 +repage -rotate 90 -flip avif_10bit_turned.png
for name in avif_8bit avif_alpha avif_10bit avif_turned avif_10bit_turned; do
  reference_of_png "$name.png" "$name"
done

echo "WebP, HEIC and AVIF test pictures written to $out"
