# Checks the engine-convert scripts share: running the native or the Windows
# program (under Wine), checking its printed code, exit status and leftovers,
# decoding what it wrote with Debian's tools, and measuring pixel differences.
# Sourced, not run: the caller sets repo (the source tree) and work (its own
# temporary folder) first.

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The program's absolute path, so that Wine and the shell see the same file.
absolute_program() { printf '%s/%s' "$(cd "$(dirname "$1")" && pwd)" "$(basename "$1")"; }

# Largest and mean channel difference of two 8-bit PPM files of the same
# size, or "size" when their sizes differ.
difference_of() {
  python3 - "$1" "$2" <<'EOF'
import sys
def read(path):
    data = open(path, 'rb').read()
    fields, at = [], 0
    while len(fields) < 4 and at < len(data):
        while data[at:at + 1].isspace():
            at += 1
        end = at
        while end < len(data) and not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    if len(fields) < 4:
        return None, None, b''
    return int(fields[1]), int(fields[2]), data[at + 1:]
wa, ha, a = read(sys.argv[1])
wb, hb, b = read(sys.argv[2])
if wa is None or (wa, ha) != (wb, hb) or len(a) != len(b):
    print('size')
else:
    deltas = [abs(x - y) for x, y in zip(a, b)]
    print(max(deltas, default=0), '%.3f' % (sum(deltas) / max(len(deltas), 1)))
EOF
}

# Decodes a written file to 8-bit PPM with Debian's tools and checks the
# structural facts of its format; the PPM goes to stdout.
decode_output() {
  local target=$1 file=$2
  case "$target" in
  jpg)
    djpeg -pnm "$file" 2>/dev/null | pamtopnm | pamdepth 255 | ppmtoppm
    ;;
  tif)
    local info
    info=$(tiffinfo "$file" 2>/dev/null) || return 1
    grep -q 'Compression Scheme: None' <<<"$info" || return 1
    grep -q 'Photometric Interpretation: RGB color' <<<"$info" || return 1
    [ "$(head -c 2 "$file")" = II ] || return 1
    tifftopnm "$file" 2>/dev/null | pamtopnm | pamdepth 255 | ppmtoppm
    ;;
  png)
    # Colour type 2, 8 bits, Adam7 interlacing (IHDR bytes 24, 25 and 28).
    [ "$(od -An -tu1 -j24 -N5 "$file" | tr -s ' ')" = " 8 2 0 0 1" ] || return 1
    pngtopam "$file" 2>/dev/null | pamtopnm | pamdepth 255 | ppmtoppm
    ;;
  esac
}

# The path as a Windows program under Wine sees it: drive Z: is the Unix root.
windows_path() { printf 'Z:%s' "$(tr / '\\' <<<"$1")"; }

# run.bat TEMP PROGRAM TARGET SOURCE DESTINATION
printf '@set "TMP=%%~1"\r\n@set "TEMP=%%~1"\r\n@"%%~2" %%3 "%%~4" "%%~5"\r\n@exit /b %%errorlevel%%\r\n' \
  >"$work/run.bat"

# Runs one conversion: prints the program's output to $work/stdout and
# returns its exit status.
run_convert() {
  local program=$1 target=$2 source=$3 destination=$4 temp=$5
  case "$program" in
  *.exe)
    # Wine sets TMP and TEMP from the prefix, so the batch file sets them
    # inside the Windows session and passes the program's exit status on.
    # Output goes to a file: Wine's helper processes may hold a pipe open
    # for seconds after the program ends.
    bash "$repo/scripts/wine-run.sh" cmd /c "$(windows_path "$work/run.bat")" \
      "$(windows_path "$temp")" "$(windows_path "$program")" "$target" \
      "$(windows_path "$source")" "$(windows_path "$destination")" \
      </dev/null >"$work/stdout" 2>"$work/stderr"
    ;;
  *)
    TMPDIR="$temp" "$program" "$target" "$source" "$destination" </dev/null >"$work/stdout" 2>"$work/stderr"
    ;;
  esac
}

# Runs one conversion and checks the printed code against CODE and the exit
# status against it (0 for success, 1 otherwise); a failed conversion must
# leave no destination file. Succeeds only when the conversion succeeded as
# expected, so that the caller goes on to look at the written file.
#   converts_as LABEL PROGRAM TARGET SOURCE DESTINATION TEMP CODE
converts_as() {
  local label=$1 program=$2 target=$3 source=$4 destination=$5 temp=$6 code=$7
  local status printed want_status=1
  run_convert "$program" "$target" "$source" "$destination" "$temp"
  status=$?
  printed=$(tr -d '\r' <"$work/stdout")
  if [ -z "$printed" ] && [[ "$program" == *.exe ]]; then
    # On a loaded machine Wine now and then starts nothing at all (no line,
    # not even the program's usage text); that is Wine's, so it gets one
    # more try, said in the log. A program that really prints nothing fails
    # the second time too.
    echo "$label: nothing printed (status $status, $(head -c 300 "$work/stderr" | tr '\n' ' ')); once more"
    run_convert "$program" "$target" "$source" "$destination" "$temp"
    status=$?
    printed=$(tr -d '\r' <"$work/stdout")
  fi
  if [ "$printed" != "$code" ]; then
    fail "$label: printed '$printed', expected $code (stderr: $(head -c 300 "$work/stderr" | tr '\n' ' '))"
    return 1
  fi
  [ "$code" = 1 ] && want_status=0
  [ "$status" = "$want_status" ] || fail "$label: exit status $status, expected $want_status"
  if [ "$code" != 1 ]; then
    [ -e "$destination" ] && fail "$label: failed but wrote $destination"
    return 1
  fi
  return 0
}

# A JPEG written with the program's options (quality 100, optimized Huffman
# tables, no smoothing, libjpeg's defaults otherwise) must decode to exactly
# the pixels of the file cjpeg writes from the same pixels with the same
# settings; against the source only the mean difference is bounded.
#   jpeg_matches LABEL DECODED_JPG LOADED_PPM SOURCE_PPM MEAN_LIMIT
jpeg_matches() {
  local label=$1 decoded=$2 loaded=$3 source=$4 limit=$5 largest mean
  cjpeg -quality 100 -optimize "$loaded" | djpeg -pnm >"$work/cjpeg.ppm"
  read -r largest mean <<<"$(difference_of "$decoded" "$work/cjpeg.ppm")"
  if [ "$largest" = size ]; then
    fail "$label: decoded size differs from the source"
    return
  fi
  [ "$largest" = 0 ] || fail "$label: pixels differ from cjpeg's by up to $largest (mean $mean)"
  read -r largest mean <<<"$(difference_of "$decoded" "$source")"
  awk -v m="$mean" -v l="$limit" 'BEGIN { exit !(m <= l) }' ||
    fail "$label: mean difference $mean from the source (allowed $limit)"
}

# Nothing may stay behind in a temporary folder the program worked in.
#   temp_folder_empty LABEL FOLDER
temp_folder_empty() {
  local left
  left=$(ls -A "$2")
  [ -z "$left" ] && echo "temporary folder empty" || fail "$1: left in the temporary folder: $left"
}

# The mean channel difference a written JPEG may have from the reference:
# 1 more than that of the file cjpeg writes from the reference pixels.
jpeg_mean_limit() {
  local largest mean
  cjpeg -quality 100 -optimize "$1" | djpeg -pnm >"$work/own.ppm"
  read -r largest mean <<<"$(difference_of "$work/own.ppm" "$1")"
  awk -v m="$mean" 'BEGIN { printf "%.3f", m + 1 }'
}

# Converts every picture of rows ("name tolerance" lines, the pictures in
# $pictures, their references in $work/reference/NAME.ppm) to png, tif and
# jpg with each program, and every damaged file of $malformed ("name code"
# lines), checking pixels, codes, the output folders and the temporary
# folder; counts failures in $failures.
#   convert_every_picture ROWS PROGRAM...
convert_every_picture() {
  local rows=$1 program label temp target out name tolerance code destination what loaded
  local largest mean unexpected missing
  shift
  for program in "$@"; do
    program=$(absolute_program "$program")
    [ -f "$program" ] || { fail "no program $program"; continue; }
    label=$(basename "$program")
    echo "== $label"
    temp="$work/temp_$label"
    mkdir -p "$temp" "$work/loaded_$label"

    for target in png tif jpg; do
      out="$work/out_$label/$target"
      mkdir -p "$out"
      while read -r name tolerance; do
        [ -n "$name" ] || continue
        destination="$out/$name.$target"
        what="$label $target $name"
        converts_as "$what" "$program" "$target" "$pictures/$name" "$destination" "$temp" 1 || continue
        decode_output "$target" "$destination" >"$work/decoded.ppm" ||
          { fail "$what: Debian's tools do not decode the output as expected"; continue; }
        loaded="$work/loaded_$label/$name.ppm"
        if [ "$target" = jpg ]; then
          # The JPEG holds what the png run loaded.
          [ -f "$loaded" ] && jpeg_matches "$what" "$work/decoded.ppm" "$loaded" \
            "$work/reference/$name.ppm" "$(jpeg_mean_limit "$work/reference/$name.ppm")"
          continue
        fi
        [ "$target" = png ] && cp "$work/decoded.ppm" "$loaded"
        read -r largest mean <<<"$(difference_of "$work/decoded.ppm" "$work/reference/$name.ppm")"
        if [ "$largest" = size ]; then
          fail "$what: decoded size differs from the reference's"
        elif [ "$largest" -gt "$tolerance" ]; then
          fail "$what: pixels differ from the reference by up to $largest (mean $mean, allowed $tolerance)"
        fi
        [ -n "${PC_SHOW_DIFFERENCES:-}" ] && echo "$what: largest $largest mean $mean"
      done <<<"$rows"

      while read -r name code; do
        [ -n "$name" ] || continue
        converts_as "$label $target $name" "$program" "$target" "$pictures/$name" \
          "$out/$name.$target" "$temp" "$code"
      done <<<"$malformed"

      # Only the converted pictures are in the output folder: no writer's
      # temporary file and nothing from a failed conversion.
      (cd "$out" && ls -A | sort) >"$work/written"
      while read -r name tolerance; do
        [ -n "$name" ] && echo "$name.$target"
      done <<<"$rows" | sort >"$work/wanted"
      unexpected=$(comm -23 "$work/written" "$work/wanted" | tr '\n' ' ')
      missing=$(comm -13 "$work/written" "$work/wanted" | tr '\n' ' ')
      [ -z "$unexpected$missing" ] ||
        fail "$label $target: output folder holds unexpected '$unexpected', lacks '$missing'"
    done

    temp_folder_empty "$label" "$temp"
  done
}
