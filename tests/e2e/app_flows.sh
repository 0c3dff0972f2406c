#!/usr/bin/env bash
# The program as a user drives it: start-up box and the topmost checkbox,
# batch conversion of a folder of pictures written by other programs into
# jpg, tif and png, a cancelled folder browser, drops, and single pictures
# through the open-file dialog. Outputs are decoded with netpbm/libjpeg tools
# and compared with their sources' pixels.
#   app_flows.sh PictureConverter.exe pcdriver.exe
set -u
app=$1
driver=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/wine-env.sh"
pc_display_ready || exit 1
pc_wine_prefix_ready

# The folder browser only reaches folders of the prefix's own drives, so the
# pictures live in drive C.
name=pce2e_$$
root="$WINEPREFIX/drive_c/$name"
winroot="C:\\$name"
work=$(mktemp -d)
app_pid=
failures=0
cleanup() {
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
    kill "$app_pid" 2>/dev/null
    wait "$app_pid" 2>/dev/null
  fi
  rm -rf "$work" "$root"
  pc_display_stop
}
trap cleanup EXIT

drv() { wine "$driver" "$@" </dev/null 2>>"$work/driver.log"; }
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }
die() {
  fail "$*"
  [ -s "$work/driver.log" ] && sed 's/^/  driver: /' "$work/driver.log" >&2
  exit 1
}

# Control ids of the main window.
combo=0x16010004
batch=0x16010003
single=0x16010002
progress=0x160116F3
ontop=0x16011718
box=信息：

# Closes the shell's folder windows the runs open (each may come a moment
# after the summary).
close_explorer() {
  if drv waitwin ExplorerWClass 5000 >/dev/null; then
    while drv closewin ExplorerWClass >/dev/null; do sleep 0.3; done
  fi
}

# Reads the next message box's text (CR removed) into $box_text and closes it.
read_box() {
  box_text=$(drv boxtext "$box" "${1:-30000}" | tr -d '\r') || return 1
  drv clickbox "$box" >/dev/null
  sleep 0.3
}

# True when no message box shows up within $1 ms.
no_box_within() { ! drv boxtext "$box" "$1" >/dev/null; }

# decode FILE OUT.pnm: any picture format the test writes or reads.
decode() {
  case "${1,,}" in
    *.jpg) djpeg -pnm "$1" >"$2" 2>/dev/null ;;
    *.png) pngtopnm "$1" >"$2" 2>/dev/null ;;
    *.tif) tifftopnm "$1" >"$2" 2>/dev/null ;;
    *.bmp) bmptopnm "$1" >"$2" 2>/dev/null ;;
    *.pcx) pcxtoppm "$1" >"$2" 2>/dev/null ;;
    *) return 1 ;;
  esac
}

# check_output OUT REFERENCE.pnm TARGET: OUT exists, decodes and matches.
check_output() {
  local out=$1 reference=$2 target=$3 measured
  [ -f "$out" ] || { fail "missing output $out"; return; }
  decode "$out" "$work/out.pnm" || { fail "$out does not decode"; return; }
  if [ "$target" = jpg ]; then
    # Quality 100, but the encoder may subsample the colours.
    measured=$(python3 "$here/compare_pixels.py" "$work/out.pnm" "$reference" 3 80)
  else
    measured=$(python3 "$here/compare_pixels.py" "$work/out.pnm" "$reference")
  fi || { fail "$out differs from its source: $measured"; return; }
  pass "$out matches its source ($measured)"
}

# --- Pictures written by other programs ---------------------------------------
mkdir -p "$root"
ppmpat -camo -randomseed=7 48 40 >"$work/camo.ppm" 2>/dev/null
pnmquant 200 "$work/camo.ppm" >"$work/src.ppm" 2>/dev/null   # few enough colours for GIF too

make_set() {  # make_set FOLDER: the mixed folder of the batch runs
  local d=$1
  mkdir -p "$d/sub" "$d/png"
  cjpeg -quality 95 -sample 1x1 "$work/src.ppm" >"$d/photo.jpg"
  pnmtopng "$work/src.ppm" >"$d/pic.png" 2>/dev/null
  pnmtotiff -truecolor "$work/src.ppm" >"$d/scan.tif" 2>/dev/null
  ppmtobmp -bpp=24 "$work/src.ppm" >"$d/paint.bmp" 2>/dev/null
  pamtogif "$work/src.ppm" >"$d/anim.gif" 2>/dev/null
  ppmtopcx -24bit "$work/src.ppm" >"$d/old.pcx" 2>/dev/null
  pnmtopng "$work/src.ppm" >"$d/UPPER.PNG" 2>/dev/null
  pnmtopng "$work/src.ppm" >"$d/.hidden.png" 2>/dev/null   # Wine shows dot files as hidden
  head -c 600 /dev/urandom | sed '1s/^/\xff\xd8\xff\xe0/' >"$d/broken.jpg"
  echo "not a picture" >"$d/readme.txt"
  pnmtopng "$work/src.ppm" >"$d/sub/inner.png" 2>/dev/null
  pnmtopng "$work/src.ppm" >"$d/png/earlier.png" 2>/dev/null
}
batchdir="$root/批量"
winbatch="$winroot\\批量"
make_set "$batchdir"
djpeg -pnm "$batchdir/photo.jpg" >"$work/photo.pnm"
(cd "$batchdir" && find . -type f -print0 | sort -z | xargs -0 sha256sum) >"$work/sources.sha"

# --- Start-up -------------------------------------------------------------------
wine "$app" </dev/null >"$work/app.log" 2>&1 &
app_pid=$!
read_box 30000 || die "no start-up message box"
[ "$box_text" = "支持图片文件拖入直接转换" ] && pass "start-up box text" ||
  fail "start-up box text: $box_text"
drv waitwin _QX_Form 5000 >/dev/null || die "no main window"
# The title and every control's text, read through the wide functions as the
# system shows them: the same characters under any code page.
expected_texts='图片转换by:quibrox
0x16011718 窗口置顶
0x16011719 支持直接拖入转换
0x160116F3
0x16010006
0x16010005 选择转换后格式
0x16010004 jpg jpg tif png
0x16010003 批量转换
0x16010002 单个转换
0x00000000'
window_texts=$(drv texts | tr -d '\r' | sed 's/ *$//')
[ "$window_texts" = "$expected_texts" ] && pass "the window's texts (code page $LC_ALL)" ||
  fail "the window's texts under $LC_ALL: ${window_texts//$'\n'/ | }"

[ "$(drv topmost)" = 1 ] && pass "topmost at start with the box ticked" || fail "not topmost at start"
drv clickctl $ontop
sleep 0.5
[ "$(drv checkstate $ontop)" = 0 ] && [ "$(drv topmost)" = 0 ] &&
  pass "unticking releases the window" || fail "unticking did not release the window"
drv clickctl $ontop
sleep 0.5
[ "$(drv checkstate $ontop)" = 1 ] && [ "$(drv topmost)" = 1 ] &&
  pass "ticking raises the window again" || fail "ticking did not raise the window"

# --- Batch ----------------------------------------------------------------------------
converted_bases=(photo. pic. scan. paint. anim. old. UPPER. .hidden.)
index=0
for target in jpg tif png; do
  drv setcombo $combo $index
  index=$((index + 1))
  drv clickctl $batch
  drv browse "$winbatch" 15000 || die "no folder browser for $target"
  read_box 60000 || { fail "no summary for the $target batch"; continue; }
  close_explorer
  expected_failure="$winbatch\\broken.jpg"
  if [[ "$box_text" =~ ^转换8张图片，用时[0-9.]+秒$'\n'1张图片转换失败：$'\n'(.*)$ ]] &&
    [ "${BASH_REMATCH[1]}" = "$expected_failure" ]; then
    pass "$target batch summary: ${box_text//$'\n'/ | }"
  else
    fail "$target batch summary: $box_text"
  fi
  # The bar's last step is painted by the window's thread, which may come to
  # it just after the summary box is up.
  for _ in $(seq 1 20); do [ "$(drv progress $progress)" = "9 9" ] && break; sleep 0.1; done
  [ "$(drv progress $progress)" = "9 9" ] && pass "progress bar ends at 9 of 9" ||
    fail "progress bar: $(drv progress $progress)"
  for base in "${converted_bases[@]}"; do
    reference="$work/src.ppm"
    [ "$base" = photo. ] && reference="$work/photo.pnm"
    check_output "$batchdir/$target/$base$target" "$reference" "$target"
  done
  for absent in "readme.$target" "broken.$target" "inner.$target"; do
    [ -e "$batchdir/$target/$absent" ] && fail "$target/$absent should not exist"
  done
  [ -e "$batchdir/sub/$target" ] && fail "the sub-folder was entered"
  [ -e "$batchdir/png/$target" ] && fail "the earlier output folder was entered"
done
expected_png=$(printf '%s\n' .hidden.png UPPER.png anim.png earlier.png old.png paint.png photo.png pic.png scan.png | sort)
[ "$(ls -A "$batchdir/png" | sort)" = "$expected_png" ] && pass "png folder holds exactly the expected files" ||
  fail "png folder holds: $(ls -A "$batchdir/png" | tr '\n' ' ')"
(cd "$batchdir" && sha256sum --quiet -c "$work/sources.sha") && pass "sources unchanged" ||
  fail "a source file changed"

# A cancelled browser converts nothing and shows nothing.
cancelled="$root/cancelled"
make_set "$cancelled"
drv clickctl $batch
drv browsecancel 15000 || fail "no folder browser to cancel"
no_box_within 3000 && pass "cancelled browser shows nothing" || { fail "a box after cancelling"; read_box; }
[ -e "$cancelled/jpg" ] || [ -e "$cancelled/tif" ] || [ -e "$cancelled/png/pic.png" ] &&
  fail "a cancelled browser converted something" || pass "cancelled browser converted nothing"

# --- Drops (target jpg) ---------------------------------------------------------------
drv setcombo $combo 0
mkdir -p "$root/a" "$root/b" "$root/a/x.png"
pnmtopng "$work/src.ppm" >"$root/a/one.png" 2>/dev/null
ppmtobmp -bpp=24 "$work/src.ppm" >"$root/a/two.bmp" 2>/dev/null
pnmtotiff -truecolor "$work/src.ppm" >"$root/a/three.tif" 2>/dev/null
pnmtopng "$work/src.ppm" >"$root/b/four.png" 2>/dev/null
echo "not a picture" >"$root/a/readme.txt"

drop_expect() {  # drop_expect SUMMARY_REGEX WHAT PATHS...
  local regex=$1 what=$2
  shift 2
  drv drop "$@" || fail "drag of $what failed"
  if read_box 30000; then
    close_explorer
    [[ "$box_text" =~ $regex ]] && pass "drop $what: ${box_text//$'\n'/ | }" ||
      fail "drop $what summary: $box_text"
  else
    fail "no summary after dropping $what"
  fi
}
drop_expect '^转换1张图片，用时[0-9.]+秒$' "one file" "$winroot\\a\\one.png"
check_output "$root/a/jpg/one.jpg" "$work/src.ppm" jpg
rm -rf "$root/a/jpg"
drop_expect '^转换3张图片，用时[0-9.]+秒$' "three files" \
  "$winroot\\a\\one.png" "$winroot\\a\\two.bmp" "$winroot\\a\\three.tif"
for base in one two three; do check_output "$root/a/jpg/$base.jpg" "$work/src.ppm" jpg; done
rm -rf "$root/a/jpg"
drop_expect '^转换2张图片，用时[0-9.]+秒$' "files from two folders" \
  "$winroot\\a\\one.png" "$winroot\\b\\four.png"
check_output "$root/a/jpg/one.jpg" "$work/src.ppm" jpg
check_output "$root/b/jpg/four.jpg" "$work/src.ppm" jpg
[ -e "$root/a/jpg/four.jpg" ] && fail "four.jpg was written beside the first file"
drop_expect "^转换0张图片，用时[0-9.]+秒"$'\n'"1张图片转换失败："$'\n'"C:.*x\\.png$" "a folder named x.png" \
  "$winroot\\a\\x.png"
drv drop "$winroot\\a\\readme.txt" || fail "drag of readme.txt failed"
no_box_within 3000 && pass "readme.txt alone shows nothing" || { fail "a box after dropping readme.txt"; read_box; }
[ -e "$root/a/jpg/readme.jpg" ] && fail "readme.txt was converted"

# --- Single pictures through the open-file dialog -------------------------------------
mkdir -p "$root/one"
ppmtopcx -24bit "$work/src.ppm" >"$root/one/scan.pcx" 2>/dev/null
pnmtopng "$work/src.ppm" >"$root/one/fake.jpg" 2>/dev/null   # a PNG named .jpg
pamtogif "$work/src.ppm" >"$root/one/anim.gif" 2>/dev/null
pnmtopng "$work/src.ppm" >"$root/one/future.jxl" 2>/dev/null   # a name the list does not hold
convert "$work/src.ppm" "PCD:$root/one/disc.pcd"
head -c 600 /dev/urandom | sed '1s/^/\xff\xd8\xff\xe0/' >"$root/one/broken.png"

wait_file() {  # wait_file PATH: up to 15 s
  local i
  for i in $(seq 1 150); do [ -s "$1" ] && { sleep 0.3; return 0; }; sleep 0.1; done
  return 1
}
single_convert() {  # single_convert COMBO_INDEX WINDOWS_PATH
  drv setcombo $combo "$1"
  drv clickctl $single
  drv openfile "$2" 15000 || fail "no open-file dialog for $2"
}
single_convert 2 "$winroot\\one\\scan.pcx"
wait_file "$root/one/png/scan.png" || fail "scan.pcx was not converted to png"
check_output "$root/one/png/scan.png" "$work/src.ppm" png
no_box_within 1000 && pass "a successful single conversion shows nothing" || { fail "a box after success"; read_box; }

single_convert 1 "$winroot\\one\\fake.jpg"
wait_file "$root/one/tif/fake.tif" || fail "fake.jpg was not converted to tif"
check_output "$root/one/tif/fake.tif" "$work/src.ppm" tif

single_convert 2 "$winroot\\one\\anim.gif"
wait_file "$root/one/png/anim.png" || fail "anim.gif was not converted to png"
check_output "$root/one/png/anim.png" "$work/src.ppm" png

single_convert 2 "$winroot\\one\\disc.pcd"
if wait_file "$root/one/png/disc.png" &&
  [ "$(pngtopnm "$root/one/png/disc.png" 2>/dev/null | head -c 20 | sed -n 2p)" = "768 512" ]; then
  pass "a PhotoCD picture converts at its base resolution"
else
  fail "disc.pcd did not become a 768 x 512 png"
fi

single_convert 2 "$winroot\\one\\future.jxl"
if read_box 15000; then
  [ "$box_text" = "打开的文件不支持或者不是图片" ] && pass "a .jxl is refused" || fail ".jxl box: $box_text"
else
  fail "no box for a .jxl"
fi
[ -e "$root/one/png/future.png" ] && fail "the .jxl was converted"

single_convert 2 "$winroot\\one\\broken.png"
if read_box 15000; then
  [[ "$box_text" == *"broken.png"* && "$box_text" == *"不是可以读取的图片"* ]] &&
    pass "a corrupt picture is reported: ${box_text//$'\n'/ | }" || fail "corrupt picture box: $box_text"
else
  fail "no box for a corrupt picture"
fi
[ -e "$root/one/png/broken.png" ] && fail "an output was written for a corrupt picture"

# --- Upright and over white, in folder, drop and single runs -------------------------
# Phone photos in each of the eight EXIF orientations, and pictures with
# alpha or a transparent colour (16-bit alpha among them, which folder runs
# leave to the engine). Each output must show what ImageMagick shows: turned
# upright, composited over white.
upright_set() {  # upright_set FOLDER
  local d=$1 n
  mkdir -p "$d"
  convert -size 40x24 gradient:'#f03020'-'#2040e0' -fill '#20d040' -draw 'rectangle 0,0 9,5' \
    -fill black -draw 'rectangle 4,8 6,20' -depth 8 "$work/corner.ppm"
  for n in 1 2 3 4 5 6 7 8; do
    cjpeg -quality 95 -sample 1x1 "$work/corner.ppm" >"$d/photo$n.jpg"
    exiftool -q -overwrite_original "-Orientation#=$n" "$d/photo$n.jpg"
  done
  convert -size 37x23 gradient:'#e02010'-'#1030f0' \( -size 23x37 gradient:white-black -rotate 90 \) \
    -alpha off -compose copy_opacity -composite "$work/ramp.png"
  convert "$work/ramp.png" -depth 8 "PNG32:$d/ramp8.png"
  convert "$work/ramp.png" -depth 16 "PNG64:$d/ramp16.png"
  convert -size 37x23 gradient:'#30c020'-'#c03020' -fill '#ff00ff' -draw 'circle 18,11 18,3' \
    -transparent '#ff00ff' "$d/hole.gif"
}
upright_reference() {  # upright_reference SOURCE OUT.pnm: ImageMagick's pixels, flattened by the rule
  convert "$1" -auto-orient -alpha on -depth 16 pam:- | python3 "$here/../testdata/over_white.py" >"$2"
}
upright_check() {  # upright_check FOLDER NAME...: FOLDER/png/BASE.png against each source
  local d=$1 name
  shift
  for name in "$@"; do
    upright_reference "$d/$name" "$work/upright.pnm"
    case "$name" in
      # Two JPEG decoders: rounding only; a wrong turn moves the mean by tens.
      *.jpg) check_close "$d/png/${name%.*}.png" "$work/upright.pnm" 2 12 ;;
      *) check_close "$d/png/${name%.*}.png" "$work/upright.pnm" 0 0 ;;
    esac
  done
}
check_close() {  # check_close OUT REFERENCE.pnm MEAN_MAX MAX_MAX
  local measured
  [ -f "$1" ] || { fail "missing output $1"; return; }
  decode "$1" "$work/out.pnm" || { fail "$1 does not decode"; return; }
  measured=$(python3 "$here/compare_pixels.py" "$work/out.pnm" "$2" "$3" "$4") &&
    pass "$1 upright and opaque ($measured)" || fail "$1 is not what ImageMagick shows: $measured"
}
upright_names=(photo1.jpg photo2.jpg photo3.jpg photo4.jpg photo5.jpg photo6.jpg photo7.jpg photo8.jpg
  ramp8.png ramp16.png hole.gif)

# Converts a set of pictures to png three times, each time in a new folder
# made by MAKE_SET FOLDER: as a folder run, dropped, and one by one; each
# folder is then checked by CHECK FOLDER NAME...
convert_in_three_runs() {  # convert_in_three_runs LABEL MAKE_SET CHECK NAME...
  local label=$1 make_set=$2 check=$3 name
  shift 3
  local summary="^转换$#张图片，用时[0-9.]+秒$" dropped=()
  $make_set "$root/${label}_folder"
  drv setcombo $combo 2
  drv clickctl $batch
  drv browse "$winroot\\${label}_folder" 15000 || fail "no folder browser for the $label folder"
  if read_box 60000; then
    close_explorer
    [[ "$box_text" =~ $summary ]] && pass "$label folder run: $box_text" ||
      fail "$label folder run summary: $box_text"
  else
    fail "no summary for the $label folder run"
  fi
  $check "$root/${label}_folder" "$@"

  $make_set "$root/${label}_drop"
  for name in "$@"; do dropped+=("$winroot\\${label}_drop\\$name"); done
  drop_expect "$summary" "$label pictures" "${dropped[@]}"
  $check "$root/${label}_drop" "$@"

  $make_set "$root/${label}_single"
  for name in "$@"; do
    single_convert 2 "$winroot\\${label}_single\\$name"
    wait_file "$root/${label}_single/png/${name%.*}.png" || fail "$name was not converted alone"
  done
  $check "$root/${label}_single" "$@"
}

convert_in_three_runs upright upright_set upright_check "${upright_names[@]}"

# --- Today's pictures: WebP, HEIC and AVIF in folder, drop and single runs -------------
# Written by Debian's encoders; each output must show what the format's own
# decoder shows (dwebp, heif-convert, avifdec), flattened over white. The
# HEIC photo is a camera JPEG re-encoded by heif-enc.
modern_set() {  # modern_set FOLDER
  local d=$1
  mkdir -p "$d"
  convert -size 37x23 gradient:'#e02010'-'#1030f0' \( -size 23x37 gradient:white-black -rotate 90 \) \
    -alpha off -compose copy_opacity -composite "PNG32:$work/modern_ramp.png"
  cwebp -quiet -lossless "$work/modern_ramp.png" -o "$d/web.webp"
  cjpeg -quality 95 -sample 1x1 "$work/corner.ppm" >"$work/modern_photo.jpg"
  heif-enc -q 90 "$work/modern_photo.jpg" -o "$d/phone.heic" >/dev/null
  avifenc -s 8 "$work/modern_ramp.png" "$d/badge.avif" >/dev/null
}
modern_reference() {  # modern_reference SOURCE OUT.pnm: the format's own decoder, flattened
  case "$1" in
    *.webp) dwebp -quiet "$1" -pam -o "$work/modern_ref.pam" ;;
    *.heic) heif-convert "$1" "$work/modern_ref.png" >/dev/null && convert "$work/modern_ref.png" "$work/modern_ref.pam" ;;
    *.avif) avifdec "$1" "$work/modern_ref.png" >/dev/null && convert "$work/modern_ref.png" "$work/modern_ref.pam" ;;
  esac
  convert "$work/modern_ref.pam" -alpha on -depth 16 pam:- | python3 "$here/../testdata/over_white.py" >"$2"
}
modern_check() {  # modern_check FOLDER NAME...
  local d=$1 name
  shift
  for name in "$@"; do
    modern_reference "$d/$name" "$work/modern.pnm"
    case "$name" in
      # The same libwebp on both sides.
      *.webp) check_close "$d/png/${name%.*}.png" "$work/modern.pnm" 0 0 ;;
      # libheif's YCbCr to RGB against the tools' (the same, or libavif's).
      *) check_close "$d/png/${name%.*}.png" "$work/modern.pnm" 1 3 ;;
    esac
  done
}
modern_names=(web.webp phone.heic badge.avif)

convert_in_three_runs modern modern_set modern_check "${modern_names[@]}"
# A JPEG and a TIFF from a HEIC photo, alone.
for target in 0:jpg 1:tif; do
  single_convert "${target%%:*}" "$winroot\\modern_single\\phone.heic"
  wait_file "$root/modern_single/${target#*:}/phone.${target#*:}" || fail "phone.heic was not converted to ${target#*:}"
done
if decode "$root/modern_single/png/phone.png" "$work/phone_png.pnm"; then
  check_close "$root/modern_single/tif/phone.tif" "$work/phone_png.pnm" 0 0
  # Sharp corners of a small picture: the JPEG's shared chrominance loses most there.
  check_close "$root/modern_single/jpg/phone.jpg" "$work/phone_png.pnm" 6 120
fi

# --- Names in any script, in folder, drop and single runs ---------------------------
# Chinese, Korean and half-width katakana (neither in GBK), an emoji outside
# the Basic Multilingual Plane, accented Latin and a mix, in a folder named the
# same way: whatever the code page, each output carries its own source's name.
unicode_names=(中文.jpg café.png 사진.bmp ｼｬｼﾝ.tif 😀.png Ünïcødé.gif "mix 中文-사진-😀-é.pcx")
unicode_set() {  # unicode_set FOLDER
  local d=$1 name
  mkdir -p "$d"
  for name in "${unicode_names[@]}"; do
    case "$name" in
      *.jpg) cjpeg -quality 95 -sample 1x1 "$work/src.ppm" >"$d/$name" ;;
      *.png) pnmtopng "$work/src.ppm" >"$d/$name" 2>/dev/null ;;
      *.bmp) ppmtobmp -bpp=24 "$work/src.ppm" >"$d/$name" 2>/dev/null ;;
      *.tif) pnmtotiff -truecolor "$work/src.ppm" >"$d/$name" 2>/dev/null ;;
      *.gif) pamtogif "$work/src.ppm" >"$d/$name" 2>/dev/null ;;
      *.pcx) ppmtopcx -24bit "$work/src.ppm" >"$d/$name" 2>/dev/null ;;
    esac
  done
  (cd "$d" && sha256sum -- * >"$work/unicode_sources.sha")
}
unicode_check() {  # unicode_check FOLDER NAME...
  local d=$1 name reference
  shift
  for name in "$@"; do
    reference="$work/src.ppm"
    [[ "$name" == *.jpg ]] && { djpeg -pnm "$d/$name" >"$work/unicode_ref.pnm"; reference="$work/unicode_ref.pnm"; }
    check_output "$d/png/${name%.*}.png" "$reference" png
  done
  [ "$(ls -A "$d/png" | wc -l)" -eq $# ] && pass "$d/png holds one output a source" ||
    fail "$d/png holds: $(ls -A "$d/png" | tr '\n' '|')"
  (cd "$d" && sha256sum --quiet -c "$work/unicode_sources.sha") && pass "sources in $d unchanged" ||
    fail "a source in $d changed"
}
convert_in_three_runs "名前 사진 😀" unicode_set unicode_check "${unicode_names[@]}"

# A picture that cannot be read is named in the summary and in its box as it is.
failing="$root/失败 😀"
mkdir -p "$failing"
pnmtopng "$work/src.ppm" >"$failing/좋은.png" 2>/dev/null
head -c 600 /dev/urandom | sed '1s/^/\xff\xd8\xff\xe0/' >"$failing/깨진 😀 é.jpg"
drv setcombo $combo 2
drv clickctl $batch
drv browse "$winroot\\失败 😀" 15000 || fail "no folder browser for the failing folder"
if read_box 60000; then
  close_explorer
  expected_failure="$winroot\\失败 😀\\깨진 😀 é.jpg"
  if [[ "$box_text" =~ ^转换1张图片，用时[0-9.]+秒$'\n'1张图片转换失败：$'\n'(.*)$ ]] &&
    [ "${BASH_REMATCH[1]}" = "$expected_failure" ]; then
    pass "the summary names the failed picture: ${box_text//$'\n'/ | }"
  else
    fail "summary of the failing folder: $box_text"
  fi
else
  fail "no summary for the failing folder"
fi
single_convert 2 "$winroot\\失败 😀\\깨진 😀 é.jpg"
if read_box 15000; then
  [[ "$box_text" == "无法转换图片 $winroot\\失败 😀\\깨진 😀 é.jpg"$'\n'* ]] &&
    pass "a corrupt picture's box names it: ${box_text//$'\n'/ | }" || fail "corrupt picture box: $box_text"
else
  fail "no box for the corrupt picture"
fi

# --- The end ----------------------------------------------------------------------------
drv closewin _QX_Form "图片转换by:quibrox" >/dev/null
for _ in $(seq 1 200); do
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$app_pid" 2>/dev/null; then
  fail "the program did not end when its window was closed"
else
  wait "$app_pid"
  status=$?
  app_pid=
  [ "$status" -eq 0 ] && pass "the program ended with exit code 0" || fail "exit code $status"
fi

if [ "$failures" -ne 0 ]; then
  [ -s "$work/driver.log" ] && sed 's/^/  driver: /' "$work/driver.log" >&2
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "PASS: all program flows"
