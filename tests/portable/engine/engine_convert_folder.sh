#!/usr/bin/env bash
# Converts a folder of mixed real pictures (made at run time by
# tests/testdata/make_commands.sh with Debian's tools) to jpg, tif and png with
# engine-convert, checks every result code against the list below, and decodes
# every written file again with Debian's tools (djpeg, tifftopnm and tiffinfo,
# pngtopam): TIFF and PNG must hold the source pixels exactly, JPEG within a
# small tolerance. A failed conversion must leave no file in the output folder
# and nothing may stay behind in the temporary folder. Pictures under names in
# any script go through the same checks (under a Windows program both with the
# Chinese and the Western code page).
#
#   engine_convert_folder.sh ENGINE_CONVERT [ENGINE_CONVERT...]
#
# A program whose name ends in .exe runs under Wine (scripts/wine-run.sh) with
# Z: paths and a private temporary folder. Given the native and the Windows
# program together, the script checks both against the same list, so their
# codes agree.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../../.." && pwd)
[ $# -ge 1 ] || { echo "usage: engine_convert_folder.sh ENGINE_CONVERT [ENGINE_CONVERT...]" >&2; exit 2; }

# Source, expected code (the same for every target format), reference pixels
# (- when the picture is only checked for its size).
expected_codes='
jpeg.jpg          1  jpeg.ppm
grey.jpg          1  grey_jpg.ppm
smooth.png        1  smooth.ppm
png_rgb.png       1  png_rgb.ppm
png_grey.png      1  png_grey.ppm
png_palette.png   1  png_palette.ppm
png_rgba.png      1  png_rgba_white.ppm
png_named.jpg     1  png_named.ppm
png16.png         1  png16.ppm
tiff.tif          1  tiff.ppm
deflate.tif       1  tiff.ppm
bmp24.bmp         1  bmp24.ppm
bmp8.bmp          1  bmp8.ppm
pcx24.pcx         1  pcx24.ppm
pcx8.pcx          1  pcx8.ppm
photocd.pcd       1  -
gif.gif           1  gif.ppm
text.txt         -3  -
text_large.txt   -3  -
empty.bin        -3  -
zstd.tif         -3  -
bmp_jpeg.bmp     -3  -
no_such_file.png -1  -
'
# A written JPEG must match cjpeg's file from the same pixels (jpeg_matches);
# against the source only the mean channel difference is bounded: the busy
# test picture has sharp colour edges, where libjpeg's shared chrominance of
# 2 x 2 pixels moves single pixels far (measured: mean 9.4 and 10.9 for the
# busy pictures, 0.6 for the smooth one).
jpeg_mean_error=12

# Names in any script (the table the C++ tests share): Chinese, Western,
# Korean and half-width katakana (outside GBK), an emoji outside the Basic
# Multilingual Plane, and a mix with a space. Each takes a turn with one of the
# sources, in a folder whose own name mixes every script, and is converted to
# every format: the output must be under the exact name, with the pixels of
# the same checks as above, and nothing else may appear in the folder.
unicode_names=('中文' 'café' '사진' 'ｼｬｼﾝ' '😀' 'Ünïcødé' 'mix 中文-사진-😀-é')
unicode_sources=(jpeg.jpg tiff.tif png_rgb.png)

#   convert_unicode_names LABEL PROGRAM TEMP
convert_unicode_names() {
  local label=$1 program=$2 temp=$3 turn=0 name source extension target destination what
  local largest mean written wanted=()
  local folder="$work/unicode_$label/mix 中文-사진-😀-é"
  rm -rf "$work/unicode_$label"
  mkdir -p "$folder"
  for name in "${unicode_names[@]}"; do
    source=${unicode_sources[turn % ${#unicode_sources[@]}]}
    turn=$((turn + 1))
    extension=${source##*.}
    cp "$pictures/$source" "$folder/$name.$extension"
    wanted+=("$name.$extension")
    for target in jpg tif png; do
      destination="$folder/$name.$extension.$target"
      what="$label $target '$name.$extension'"
      wanted+=("$name.$extension.$target")
      converts_as "$what" "$program" "$target" "$folder/$name.$extension" "$destination" \
        "$temp" 1 || continue
      [ -f "$destination" ] || { fail "$what: nothing under the exact name"; continue; }
      decode_output "$target" "$destination" >"$work/decoded.ppm" ||
        { fail "$what: Debian's tools do not decode the output as expected"; continue; }
      if [ "$target" = jpg ]; then
        jpeg_matches "$what" "$work/decoded.ppm" "$work/ref_$source.ppm" "$work/ref_$source.ppm" \
          "$jpeg_mean_error"
        continue
      fi
      read -r largest mean <<<"$(difference_of "$work/decoded.ppm" "$work/ref_$source.ppm")"
      [ "$largest" = 0 ] || fail "$what: pixels differ from the source's by $largest (mean $mean)"
    done
  done
  written=$(cd "$folder" && ls -A | LC_ALL=C sort)
  [ "$written" = "$(printf '%s\n' "${wanted[@]}" | LC_ALL=C sort)" ] ||
    fail "$label: the folder of names in any script holds: $(tr '\n' '|' <<<"$written")"
  echo "$label: names in any script converted (LC_ALL for Wine: ${PC_WINE_LOCALE:-default})"
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$here/convert_checks.sh"

bash "$repo/tests/testdata/make_commands.sh" "$work/made" >/dev/null || {
  echo "FAIL: make_commands.sh could not make the pictures" >&2
  exit 1
}
pictures="$work/pictures"
mkdir -p "$pictures"
while read -r name code reference; do
  [ -n "$name" ] || continue
  [ -f "$work/made/commands/$name" ] && cp "$work/made/commands/$name" "$pictures/"
  [ "$reference" = - ] && continue
  cp "$work/made/commands/$reference" "$work/ref_$name.ppm"
done <<<"$expected_codes"

for program in "$@"; do
  program=$(absolute_program "$program")
  [ -x "$program" ] || [ -f "$program" ] || { fail "no program $program"; continue; }
  label=$(basename "$program")
  echo "== $label"
  temp="$work/temp_$label"
  mkdir -p "$temp"

  for target in jpg tif png; do
    out="$work/out_$label/$target"
    mkdir -p "$out"
    while read -r name code reference; do
      [ -n "$name" ] || continue
      destination="$out/$name.$target"
      converts_as "$label $target $name" "$program" "$target" "$pictures/$name" "$destination" \
        "$temp" "$code" || continue
      decode_output "$target" "$destination" >"$work/decoded.ppm" ||
        { fail "$label $target $name: Debian's tools do not decode the output as expected"; continue; }
      if [ "$reference" = - ]; then
        size=$(head -c 20 "$work/decoded.ppm" | sed -n 2p)
        [ "$size" = "768 512" ] || fail "$label $target $name: decoded size '$size', expected 768 512"
        continue
      fi
      if [ "$target" = jpg ]; then
        jpeg_matches "$label $target $name" "$work/decoded.ppm" "$work/ref_$name.ppm" \
          "$work/ref_$name.ppm" "$jpeg_mean_error"
        continue
      fi
      read -r largest mean <<<"$(difference_of "$work/decoded.ppm" "$work/ref_$name.ppm")"
      if [ "$largest" = size ]; then
        fail "$label $target $name: decoded size differs from the source"
      elif [ "$largest" != 0 ]; then
        fail "$label $target $name: pixels differ from the expected ones by up to $largest (mean $mean)"
      fi
    done <<<"$expected_codes"

    # Only the written pictures are in the output folder: no writer's
    # temporary file and nothing from a failed conversion.
    written=$(cd "$out" && ls -A | sort | tr '\n' ' ')
    wanted=$(while read -r name code reference; do
      [ "$code" = 1 ] && echo "$name.$target"
    done <<<"$expected_codes" | sort | tr '\n' ' ')
    [ "$written" = "$wanted" ] || fail "$label $target: output folder holds '$written', expected '$wanted'"

    # A destination in a folder that does not exist.
    run_convert "$program" "$target" "$pictures/bmp24.bmp" "$out/missing/x.$target" "$temp"
    status=$?
    printed=$(tr -d '\r' <"$work/stdout")
    [ "$printed" = -4 ] && [ "$status" = 1 ] ||
      fail "$label $target: destination in a missing folder printed '$printed' (status $status), expected -4"
    [ -e "$out/missing" ] && fail "$label $target: the missing folder was created"
  done

  convert_unicode_names "$label" "$program" "$temp"
  if [[ "$program" == *.exe ]]; then
    # Once more under the Western code page (1252), where the Chinese one is
    # not there to hold the Chinese names either.
    had_locale=${PC_WINE_LOCALE+set} saved_locale=${PC_WINE_LOCALE-}
    export PC_WINE_LOCALE=en_US.UTF-8
    convert_unicode_names "$label-1252" "$program" "$temp"
    if [ -n "$had_locale" ]; then PC_WINE_LOCALE=$saved_locale; else unset PC_WINE_LOCALE; fi
  fi

  temp_folder_empty "$label" "$temp"

  # Usage errors: status 2, usage text on stderr, nothing on stdout.
  for args in "gif $pictures/bmp24.bmp $out/u.gif" "jpg $pictures/bmp24.bmp" ""; do
    case "$program" in
    *.exe) bash "$repo/scripts/wine-run.sh" "$program" $args </dev/null >"$work/stdout" 2>"$work/stderr" ;;
    *) "$program" $args </dev/null >"$work/stdout" 2>"$work/stderr" ;;
    esac
    status=$?
    [ "$status" = 2 ] && [ ! -s "$work/stdout" ] && grep -q usage "$work/stderr" ||
      fail "$label: arguments '$args' gave status $status, stdout '$(cat "$work/stdout")'"
  done
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "PASS: every conversion gave its expected code and decodable output"
