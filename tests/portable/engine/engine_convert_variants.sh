#!/usr/bin/env bash
# Converts one picture of every variant the readers decode (made at run time
# by tests/testdata/make_*.sh and the edits below, with Debian's tools) to
# png, tif and jpg with engine-convert, and compares the written pixels with
# an independent decoder's, composited over white and turned upright. Then
# damaged files of each format (cut short, sizes that lie, runs past the row,
# palettes past their end, endless packet chains) must give -3, leave no
# output file and nothing in the temporary folder.
#
#   engine_convert_variants.sh ENGINE_CONVERT [ENGINE_CONVERT...]
#
# A program whose name ends in .exe runs under Wine (scripts/wine-run.sh), as
# in engine_convert_folder.sh. PC_TIFF_TEST_IMAGES (set by the test
# registration) adds the old-style JPEG TIFF files from libtiff's sources.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../../.." && pwd)
[ $# -ge 1 ] || { echo "usage: engine_convert_variants.sh ENGINE_CONVERT [ENGINE_CONVERT...]" >&2; exit 2; }

# Pictures the program must convert. Columns: the name the picture gets, the
# file it is copied from (under the make_*.sh output; - when made below), the
# largest channel difference allowed between the png and tif output and the
# reference, and the reference: "im" for ImageMagick's decoding of the file
# itself, "im:FILE" for ImageMagick's decoding of FILE (the picture an edited
# or hand-made file holds), "oiio" for OpenImageIO's, "pcxtoppm" for netpbm's
# (ImageMagick 6 swaps black and white in 1-bit PCX files).
# Every reference is flattened over white with round((a*c + (255-a)*255)/255)
# and turned upright by ImageMagick's -auto-orient.
#
# Tolerances: the engine's pixels must equal the reference's (measured: 0
# for every file, 16-bit, odd maxval, alpha, CMYK JPEG and YCCK included),
# but for the CMYK TIFF file, 1 (measured 1, mean 0.32): ImageMagick
# multiplies ink and black in 16 bits, the engine in 8.
variants='
bmp_pal1.bmp          bmp/netpbm_pal1.bmp        0 im
bmp_pal4_v5.bmp       bmp/pal4_v5.bmp            0 im
bmp_pal8_v4.bmp       bmp/pal8_v4.bmp            0 im
bmp_os2_core24.bmp    bmp/core12.bmp             0 im
bmp_os2_core8.bmp     bmp/core_bits8.bmp         0 im
bmp_os2_v2.bmp        -                          0 im:bmp/netpbm_pal8.bmp
bmp_rle4.bmp          bmp/rle4_codes.bmp         0 im
bmp_rle8.bmp          bmp/rle8.bmp               0 im
bmp_rle8_codes.bmp    bmp/rle8_codes.bmp         0 im
bmp_555.bmp           bmp/rgb555_v5.bmp          0 im
bmp_565.bmp           bmp/rgb565_v4.bmp          0 im
bmp_rgb32.bmp         bmp/rgb32_zero.bmp         0 im
bmp_argb32.bmp        bmp/argb32_v5.bmp          0 im
bmp_info124.bmp       bmp/info124.bmp            0 im
bmp_top_down.bmp      -                          0 im
png_grey1.png         png/grey1.png              0 im
png_grey4_adam7.png   png/grey4_adam7.png        0 im
png_grey8.png         png/grey8.png              0 im
png_palette2.png      png/palette2.png           0 im
png_palette8.png      png/palette8.png           0 im
png_palette4_trns.png png/palette4_trns_partial.png 0 im
png_rgb8_adam7.png    png/rgb8_adam7.png         0 im
png_rgb8_trns.png     png/rgb8_trns.png          0 im
png_rgba8.png         png/rgba8.png              0 im
png_greyalpha8.png    png/greyalpha8.png         0 im
png_grey16.png        png/grey16.png             0 im
png_rgb16.png         png/rgb16.png              0 im
png_greyalpha16.png   png/greyalpha16.png        0 im
png_rgba16.png        -                          0 im
jpeg_baseline.jpg     jpeg/baseline.jpg          0 im
jpeg_progressive.jpg  jpeg/progressive.jpg       0 im
jpeg_grey.jpg         jpeg/grey.jpg              0 im
jpeg_422.jpg          jpeg/sampled422.jpg        0 im
jpeg_cmyk.jpg         jpeg/cmyk_plain.jpg        0 im
jpeg_ycck.jpg         jpeg/cmyk.jpg              0 im
jpeg_exif2.jpg        orientation/jpeg2.jpg      0 im
jpeg_exif3.jpg        orientation/jpeg3.jpg      0 im
jpeg_exif4.jpg        orientation/jpeg4.jpg      0 im
jpeg_exif5.jpg        orientation/jpeg5.jpg      0 im
jpeg_exif6.jpg        orientation/jpeg6.jpg      0 im
jpeg_exif7.jpg        orientation/jpeg7.jpg      0 im
jpeg_exif8.jpg        orientation/jpeg8.jpg      0 im
jpeg_exif6_intel.jpg  orientation/jpeg6_intel.jpg 0 im
tiff_lzw.tif          tiff/lzw_predictor.tif     0 im
tiff_packbits.tif     tiff/packbits.tif          0 im
tiff_deflate.tif      tiff/deflate.tif           0 im
tiff_deflate_old.tif  tiff/deflate_old_tag.tif   0 im:tiff/deflate.tif
tiff_jpeg.tif         tiff/jpeg_ycbcr.tif        0 im
tiff_cmyk.tif         tiff/cmyk_lzw.tif          1 im
tiff_associated.tif   tiff/im_alpha_associated.tif 0 im
tiff_unassociated.tif tiff/im_alpha_unassociated.tif 0 im
tiff_orientation6.tif orientation/tiff6.tif      0 im
tiff_grey16.tif       tiff/grey16.tif            0 im
tiff_palette.tif      tiff/palette8.tif          0 im
pcx_1bit.pcx          pcx/bits1.pcx              0 pcxtoppm
pcx_4bit_packed.pcx   pcx/bits4_packed.pcx       0 im
pcx_4planes.pcx       pcx/bits4_planes.pcx       0 im
pcx_8bit.pcx          pcx/im8.pcx                0 im
pcx_24bit.pcx         pcx/gm24.pcx               0 im
pcx_32bit.pcx         pcx/im32.pcx               0 im
pnm_p1.pbm            netpbm/dither_plain.pbm    0 im
pnm_p2.pgm            netpbm/ramp_plain.pgm      0 im
pnm_p3.ppm            netpbm/pattern_plain.ppm   0 im
pnm_p4.pbm            netpbm/dither.pbm          0 im
pnm_p5.pgm            netpbm/ramp.pgm            0 im
pnm_p6.ppm            netpbm/pattern.ppm         0 im
pnm_p6_16.ppm         netpbm/deep.ppm            0 im
pnm_p3_16.ppm         netpbm/deep_plain.ppm      0 im
pnm_maxval1000.ppm    netpbm/maxval1000.ppm      0 im
pnm_maxval15.pgm      netpbm/maxval15_plain.pgm  0 im
pnm_comments.ppm      -                          0 im
sgi_rgb_rle.sgi       sgi/im_rgb_rle.sgi         0 im
sgi_rgb_verbatim.rgb  sgi/im_rgb_none.rgb        0 im
sgi_grey_rle.bw       sgi/im_grey_rle.bw         0 im
sgi_grey_verbatim.sgi sgi/gm_grey_none.sgi       0 im
sgi_grey_alpha.sgi    sgi/im_grey_alpha_rle.sgi  0 im
sgi_rgba_rle.sgi      sgi/gm_rgba_rle.sgi        0 im
sgi_rgba_verbatim.sgi sgi/im_rgba_none.sgi       0 im
sgi_netpbm_rle.rgb    sgi/netpbm_rgb_rle.rgb     0 im
sgi_rgb16.sgi         sgi/im_rgb16.sgi           0 im
sgi_rgba16.sgi        sgi/im_rgba16.sgi          0 im
pic_uncompressed.pic  -                          0 im:bmp/source.ppm
pic_pure.pic          -                          0 im:bmp/source.ppm
pic_mixed.pic         -                          0 oiio
pic_mixed_alpha.pic   -                          0 oiio
pic_uncompressed_alpha.pic -                     0 im:bmp/source_alpha.png
pic_channels_apart.pic -                         0 im:bmp/source_alpha.png
gif_rgb.gif           gif/rgb.gif                0 im
gif_interlaced.gif    gif/interlaced.gif         0 im
gif_gifsicle.gif      gif/gifsicle_interlaced.gif 0 im
gif_transparent.gif   gif/transparent.gif        0 im
gif_animated.gif      gif/animated.gif           0 im
gif_local_table.gif   gif/local.gif              0 im
'
# Old-style JPEG TIFF: ImageMagick decodes these with wrong colours, so
# Debian's own libtiff (tiff2rgba) gives the reference; both sides run
# libjpeg on the same data.
if [ -n "${PC_TIFF_TEST_IMAGES:-}" ]; then
  variants+='
tiff_ojpeg21.tif      -                          0 im:ojpeg21.rgba.tif
tiff_ojpeg22.tif      -                          0 im:ojpeg22.rgba.tif
'
fi

# Damaged files, made below from good ones, and the code they must give.
malformed='
bmp_cut.bmp               -3
bmp_height_lie.bmp        -3
bmp_rle8_run_past_row.bmp -3
bmp_palette_past_end.bmp  -3
pcx_cut.pcx               -3
pcx_height_lie.pcx        -3
pcx_line_lie.pcx          -3
pcx_palette_cut.pcx       -3
pnm_cut.ppm               -3
pnm_height_lie.ppm        -3
pnm_plain_cut.pgm         -3
pnm_maxval_lie.pgm        -3
sgi_cut.rgb               -3
sgi_height_lie.rgb        -3
sgi_run_past_row.sgi      -3
sgi_row_past_end.sgi      -3
pic_cut.pic               -3
pic_height_lie.pic        -3
pic_pure_run_past_row.pic -3
pic_mixed_run_past_row.pic -3
pic_endless_chain.pic     -3
gif_cut.gif               -3
gif_more_rows.gif         -3
gif_palette_past_end.gif  -3
gif_endless_extension.gif -3
gif_no_colour_table.gif   -3
png16_cut.png             -3
png16_height_lie.png      -3
png16_zlib_garbage.png    -3
tiff_deflate_cut.tif      -3
tiff_deflate_height_lie.tif -3
tiff_deflate_garbage.tif  -3
'
# A written JPEG against the reference: the mean channel difference may be
# at most 1 more than that of the file cjpeg writes from the reference
# pixels with the same settings. A fixed bound does not fit every picture:
# the hand-made RLE files, the dithered 16-colour ones and netpbm's madras
# pattern change colour at nearly every pixel, where libjpeg's shared
# chrominance of 2 x 2 pixels loses most (measured for cjpeg's own files:
# 68.5 for the 9 x 4 RLE4 file, 36.8 for the pattern).
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$here/convert_checks.sh"

made="$work/made"
for script in bmp png jpeg tiff orientation pcx netpbm sgi gif; do
  bash "$repo/tests/testdata/make_$script.sh" "$made" >/dev/null 2>"$work/stderr" || {
    cat "$work/stderr" >&2
    echo "FAIL: make_$script.sh could not make the pictures" >&2
    exit 1
  }
done
pictures="$work/pictures"
mkdir -p "$pictures"
while read -r name source tolerance reference; do
  [ -n "$name" ] && [ "$source" != - ] && cp "$made/$source" "$pictures/$name"
done <<<"$variants"

# Variants no Debian tool writes, made from pictures written by one.
made_pictures() {
  set -e
  cd "$pictures"
  # A 16-bit RGBA PNG with an alpha ramp and samples that are no multiples
  # of 257.
  convert -size 37x23 gradient:'#102030'-'#f0e0d1' -swirl 90 \( -size 37x23 gradient:white-black \) \
    -alpha off -compose CopyOpacity -composite -depth 16 PNG64:png_rgba16.png
  [ "$(identify -format '%[bit-depth] %[channels]' png_rgba16.png)" = "16 srgba" ]
  # Comments wherever the header allows them.
  { printf 'P6\n# made by netpbm\n37 # width\n23\n# maxval next\n255\n'; tail -c $((37 * 23 * 3)) \
    "$made/netpbm/pattern.ppm"; } >pnm_comments.ppm
  # Old-style JPEG TIFF files from libtiff's sources.
  if [ -n "${PC_TIFF_TEST_IMAGES:-}" ]; then
    cp "$PC_TIFF_TEST_IMAGES/ojpeg_chewey_subsamp21_multi_strip.tiff" tiff_ojpeg21.tif
    cp "$PC_TIFF_TEST_IMAGES/ojpeg_zackthecat_subsamp22_single_strip.tiff" tiff_ojpeg22.tif
    for n in 21 22; do
      tiffinfo tiff_ojpeg$n.tif 2>/dev/null | grep 'Old-style JPEG' >/dev/null
      tiff2rgba tiff_ojpeg$n.tif "$work/ojpeg$n.rgba.tif" 2>/dev/null
    done
  fi
  # An OS/2 2.x header of 64 bytes around netpbm's 8-bit palette picture, and
  # a top-down copy of ImageMagick's 32-bit picture with alpha.
  python3 - "$made/bmp" <<'EOF'
import struct, sys
folder = sys.argv[1]
info40 = open(folder + '/netpbm_pal8.bmp', 'rb').read()
assert struct.unpack_from('<I', info40, 14)[0] == 40
file = bytearray(info40[:14] + struct.pack('<I', 64) + info40[18:54] + bytes(24) + info40[54:])
struct.pack_into('<I', file, 10, struct.unpack_from('<I', info40, 10)[0] + 24)
open('bmp_os2_v2.bmp', 'wb').write(file)
bottom_up = open(folder + '/argb32_v5.bmp', 'rb').read()
offset, = struct.unpack_from('<I', bottom_up, 10)
width, height = struct.unpack_from('<ii', bottom_up, 18)
assert height > 0 and struct.unpack_from('<H', bottom_up, 28)[0] == 32
row = width * 4
rows = [bottom_up[offset + y * row:offset + (y + 1) * row] for y in range(height)]
file = bytearray(bottom_up[:offset] + b''.join(reversed(rows)) + bottom_up[offset + height * row:])
struct.pack_into('<i', file, 22, -height)
open('bmp_top_down.bmp', 'wb').write(file)
EOF
  # Softimage PIC: no Debian tool writes it (OpenImageIO only reads it), so
  # the files are encoded here from ImageMagick's pixels, in the format's
  # published layout: 104-byte header, the chained channel packets (chained,
  # 8 bits, encoding, channels), then each row of each packet.
  convert "$made/bmp/source_alpha.png" -depth 8 pam:"$work/pic_source.pam"
  pic() { python3 - "$work/pic_source.pam" "$1" "$2" <<'EOF'; }
import sys
data = open(sys.argv[1], 'rb').read()
end = data.index(b'ENDHDR\n') + 7
fields = dict(line.split(b' ', 1) for line in data[3:end - 8].split(b'\n'))
width, height = int(fields[b'WIDTH']), int(fields[b'HEIGHT'])
assert int(fields[b'DEPTH']) == 4
pixels = data[end:]
masks = {'r': 0x80, 'g': 0x40, 'b': 0x20, 'a': 0x10}
packets = []
for item in sys.argv[3].split(','):  # encoding:channels, e.g. 2:rgb
    encoding, channels = item.split(':')
    packets.append((int(encoding), ['rgba'.index(c) for c in channels], sum(masks[c] for c in channels)))
out = bytearray(b'\x53\x80\xf6\x34\x40\x6d\x70\xa4' + b'made by the conversion test'.ljust(80, b'\0') +
                b'PICT' + width.to_bytes(2, 'big') + height.to_bytes(2, 'big') +
                b'\x3f\x80\x00\x00\x00\x03\x00\x00')
for i, (encoding, _, mask) in enumerate(packets):
    out += bytes([1 if i + 1 < len(packets) else 0, 8, encoding, mask])
for y in range(height):
    for encoding, channels, _ in packets:
        row = [bytes(pixels[(y * width + x) * 4 + c] for c in channels) for x in range(width)]
        at = 0
        while at < width:
            run = 1
            while at + run < width and row[at + run] == row[at]:
                run += 1
            if encoding == 0:  # uncompressed
                out += row[at]
                at += 1
            elif encoding == 1:  # pure run-length: count, pixel
                run = min(run, 255)
                out += bytes([run]) + row[at]
                at += run
            elif run >= 2:  # mixed: 127 + count, pixel
                run = min(run, 128)
                out += bytes([run + 127]) + row[at]
                at += run
            else:  # mixed: count - 1, pixels
                n = 1
                while at + n < width and n < 128 and not (at + n + 1 < width and row[at + n] == row[at + n + 1]):
                    n += 1
                out += bytes([n - 1]) + b''.join(row[at:at + n])
                at += n
open(sys.argv[2], 'wb').write(out)
EOF
  pic pic_uncompressed.pic 0:rgb
  pic pic_pure.pic 1:rgb
  pic pic_mixed.pic 2:rgb
  pic pic_mixed_alpha.pic 2:rgb,1:a
  pic pic_uncompressed_alpha.pic 0:rgba
  pic pic_channels_apart.pic 2:r,1:g,0:b,2:a
}
(made_pictures) || { echo "FAIL: the edited and hand-made pictures could not be made" >&2; exit 1; }

# Damaged copies of good files. Each edit first checks that the bytes it
# changes hold what the format says they hold there, so that every file is
# damaged in the way its name claims.
damaged_pictures() {
  set -e
  cd "$pictures"
  python3 - "$made" <<'EOF'
import struct, sys, zlib
made = sys.argv[1]
def read(path):
    return bytearray(open(path if path.startswith('pic_') else made + '/' + path, 'rb').read())
def put(data, at, new, old):
    assert data[at:at + len(old)] == old, (at, data[at:at + len(old)], old)
    data[at:at + len(new)] = new
    return data
def write(name, data):
    open(name, 'wb').write(data)
def cut(name, path, keep=0.5):
    data = read(path)
    write(name, data[:int(len(data) * keep)])

# BMP: rows past the end of the file; a height the file cannot hold; an RLE8
# run of 9 in rows of 8; a colours-used count of 255 in a file that ends
# after 4 entries.
cut('bmp_cut.bmp', 'bmp/info40.bmp')
write('bmp_height_lie.bmp', put(read('bmp/netpbm_pal8.bmp'), 22, struct.pack('<i', 230), struct.pack('<i', 23)))
f = read('bmp/rle8_codes.bmp')
assert struct.unpack_from('<iiHHI', f, 18) == (8, 5, 1, 8, 1)
offset, = struct.unpack_from('<I', f, 10)
write('bmp_rle8_run_past_row.bmp', put(f, offset, b'\x09', b'\x03'))
f = read('bmp/rle8_codes.bmp')
assert len(f) < 54 + 255 * 4
write('bmp_palette_past_end.bmp', put(f, 46, struct.pack('<I', 255), struct.pack('<I', 4)))

# PCX: 24-bit data cut in half; a height (Ymax) of 2201 rows; 4 bytes a line
# for 37 pixels; the 8-bit file's palette at the end cut short.
cut('pcx_cut.pcx', 'pcx/im24.pcx')
write('pcx_height_lie.pcx', put(read('pcx/im24.pcx'), 10, struct.pack('<H', 2200), struct.pack('<H', 22)))
f = read('pcx/im24.pcx')
assert struct.unpack_from('<HH', f, 4) == (0, 0) and struct.unpack_from('<H', f, 8)[0] == 36
write('pcx_line_lie.pcx', put(f, 66, struct.pack('<H', 4), f[66:68]))
f = read('pcx/im8.pcx')
assert f[-769] == 0x0C and f[3] == 8 and f[65] == 1
write('pcx_palette_cut.pcx', f[:-300])

# Netpbm: a raw raster and a plain one cut in half; a height of 230 rows;
# a maxval beyond the 65535 the format allows.
cut('pnm_cut.ppm', 'netpbm/pattern.ppm')
f = read('netpbm/pattern.ppm')
assert f.startswith(b'P6\n37 23\n255\n')
write('pnm_height_lie.ppm', b'P6\n37 230\n255\n' + f[13:])
cut('pnm_plain_cut.pgm', 'netpbm/ramp_plain.pgm')
f = read('netpbm/ramp16.pgm')
assert f.startswith(b'P5\n37 23\n65535\n')
write('pnm_maxval_lie.pgm', b'P5\n37 23\n70000\n' + f[15:])

# SGI: verbatim rows cut in half; a height of 230; the first RLE row's first
# packet (a run of the whole row) made a run of 127 in rows of 37; a row
# start past the end.
cut('sgi_cut.rgb', 'sgi/im_rgb_none.rgb')
f = read('sgi/im_rgb_none.rgb')
assert struct.unpack_from('>HBBHHHH', f, 0) == (474, 0, 1, 3, 37, 23, 3)
write('sgi_height_lie.rgb', put(f, 8, struct.pack('>H', 230), struct.pack('>H', 23)))
f = read('sgi/im_rgb_rle.sgi')
assert struct.unpack_from('>HBBHHHH', f, 0) == (474, 1, 1, 3, 37, 23, 3)
start, = struct.unpack_from('>I', f, 512)
assert 0 < f[start] & 0x7F <= 37
write('sgi_run_past_row.sgi', put(f, start, b'\x7f', f[start:start + 1]))
f = read('sgi/im_rgb_rle.sgi')
write('sgi_row_past_end.sgi', put(f, 512, struct.pack('>I', len(f) + 1000), struct.pack('>I', start)))

# Softimage PIC: rows cut in half; a height of 230; the first pure run of a
# row of 37 made 255 long, the first mixed packet a run of 128; a packet
# chain that never ends (every packet says another follows).
cut('pic_cut.pic', 'pic_mixed.pic')
f = read('pic_mixed.pic')
assert f[88:96] == b'PICT' + struct.pack('>HH', 37, 23) and f[104:108] == b'\x00\x08\x02\xe0'
write('pic_height_lie.pic', put(f, 94, struct.pack('>H', 230), struct.pack('>H', 23)))
f = read('pic_pure.pic')
assert f[104:108] == b'\x00\x08\x01\xe0' and f[108] <= 37
write('pic_pure_run_past_row.pic', put(f, 108, b'\xff', f[108:109]))
f = read('pic_mixed.pic')
write('pic_mixed_run_past_row.pic', put(f, 108, b'\xff', f[108:109]))
write('pic_endless_chain.pic', read('pic_mixed.pic')[:104] + b'\x01\x08\x02\xe0' * 1000)

# GIF: giflib's plain file (4 colours, image descriptor at 25) cut inside its
# LZW data, and claiming 256 rows; ImageMagick's 256-colour table cut after
# 100 bytes; comment blocks running to the end of the file; an image without
# any colour table (all made by make_gif.sh, checked here).
cut('gif_cut.gif', 'gif/plain.gif')
write('gif_more_rows.gif', put(read('gif/plain.gif'), 32, b'\x00\x01', struct.pack('<H', 30)))
f = read('gif/rgb.gif')
assert f[:6] == b'GIF89a' and f[10] & 0x87 == 0x87
write('gif_palette_past_end.gif', f[:13 + 100])
f = read('gif/endless_extension.gif')
assert f[25:27] == b'\x21\xfe' and f[-1] != 0
write('gif_endless_extension.gif', f)
f = read('gif/no_colour_table.gif')
assert f[10] & 0x80 == 0 and f[13] == 0x2C and f[22] & 0x80 == 0
write('gif_no_colour_table.gif', f)

# 16-bit PNG: cut inside its image data; a height of 230 rows (the header's
# CRC made right); the image data's zlib stream overwritten (CRC made right,
# so only the inflating fails).
cut('png16_cut.png', 'png/rgb16.png')
def with_chunk(data, kind, change):
    at = data.index(kind) - 4
    length, = struct.unpack_from('>I', data, at)
    body = bytearray(data[at + 4:at + 8 + length])
    change(body)
    return data[:at + 4] + body + struct.pack('>I', zlib.crc32(body) & 0xffffffff) + data[at + 12 + length:]
f = read('png/rgb16.png')
assert f[16:26] == struct.pack('>II', 37, 23) + b'\x10\x02'
write('png16_height_lie.png', with_chunk(f, b'IHDR', lambda b: put(b, 8, struct.pack('>I', 230), struct.pack('>I', 23))))
write('png16_zlib_garbage.png', with_chunk(f, b'IDAT', lambda b: put(b, 20, b'\xff' * 24, b[20:44])))

# Deflate TIFF: cut in half; the zlib stream of the first strip overwritten.
cut('tiff_deflate_cut.tif', 'tiff/deflate.tif')
EOF
  # The height (ImageLength) of the Deflate TIFF file made 370 rows: the
  # strips hold 37.
  cp "$made/tiff/deflate.tif" tiff_deflate_height_lie.tif
  tiffset -s 257 370 tiff_deflate_height_lie.tif
  tiffinfo tiff_deflate_height_lie.tif 2>/dev/null | grep 'Image Length: 370' >/dev/null
  cp "$made/tiff/deflate.tif" tiff_deflate_garbage.tif
  local strip
  strip=$(tiffdump tiff_deflate_garbage.tif | sed -n 's/^StripOffsets (273) LONG (4) 1<\([0-9]*\)>$/\1/p')
  [ -n "$strip" ]
  printf '\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff' |
    dd of=tiff_deflate_garbage.tif bs=1 seek=$((strip + 8)) conv=notrunc status=none
  ! convert tiff_deflate_garbage.tif ppm:- >/dev/null 2>&1
}
(damaged_pictures) || { echo "FAIL: the damaged pictures could not be made" >&2; exit 1; }

# A decoder's PAM as the 8-bit PPM the program should make of it.
flattened_pam() { python3 "$repo/tests/testdata/over_white.py"; }
# OpenImageIO's pixels as PAM: its --dumpdata lines "Pixel (x, y): v v v v".
oiio_pam() {
  oiiotool --dumpdata "$1" | python3 -c '
import re, sys
pixels, width, height = {}, 0, 0
for line in sys.stdin:
    match = re.match(r"\s*Pixel \((\d+), (\d+)\): ([\d ]+?) \(", line)
    if match:
        x, y = int(match[1]), int(match[2])
        pixels[(x, y)] = [int(v) for v in match[3].split()]
        width, height = max(width, x + 1), max(height, y + 1)
depth = len(pixels[(0, 0)])
sys.stdout.buffer.write(b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL 255\nTUPLTYPE X\nENDHDR\n" % (width, height, depth))
sys.stdout.buffer.write(bytes(v for y in range(height) for x in range(width) for v in pixels[(x, y)]))'
}
reference_of() {
  local name=$1 reference=$2 file
  case "$reference" in
  im) file="$pictures/$name" ;;
  im:*)
    file=${reference#im:}
    [ -f "$made/$file" ] && file="$made/$file" || file="$work/$file"
    ;;
  oiio)
    oiio_pam "$pictures/$name" | flattened_pam
    return
    ;;
  pcxtoppm)
    pcxtoppm "$pictures/$name" 2>/dev/null | pamtopnm | pamdepth 255 | ppmtoppm
    return
    ;;
  esac
  # CMYK pictures are turned into RGB first (PAM would keep four channels).
  local to_rgb=()
  [ "$(identify -format '%[colorspace]' "$file[0]")" = CMYK ] && to_rgb=(-colorspace sRGB)
  # 16 bits: ImageMagick's own reduction of 16-bit samples with alpha to 8
  # bits is no plain rounding (measured: 2 off after flattening).
  convert "$file[0]" -auto-orient "${to_rgb[@]}" -depth 16 pam:- | flattened_pam
}
mkdir -p "$work/reference"
while read -r name source tolerance reference; do
  [ -n "$name" ] || continue
  reference_of "$name" "$reference" >"$work/reference/$name.ppm" 2>"$work/stderr" ||
    fail "no reference pixels for $name: $(cat "$work/stderr")"
done <<<"$variants"
# OpenImageIO decodes mixed run-length files only (it misreads uncompressed
# and pure run-length ones): its pixels of the two mixed files must be the
# pixels they were made from, which shows that the encoder above is right.
for check in "pic_mixed.pic bmp/source.ppm" "pic_mixed_alpha.pic bmp/source_alpha.png"; do
  read -r name made_from <<<"$check"
  reference_of "$name" "im:$made_from" >"$work/made_from.ppm"
  read -r largest mean <<<"$(difference_of "$work/reference/$name.ppm" "$work/made_from.ppm")"
  [ "$largest" = 0 ] || fail "OpenImageIO reads $name other than it was made (up to $largest)"
done

convert_every_picture "$(awk 'NF { print $1, $3 }' <<<"$variants")" "$@"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "PASS: every variant converted to its reference's pixels; every damaged file gave its code"
