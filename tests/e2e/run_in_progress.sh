#!/usr/bin/env bash
# The program while a batch is converting, driven as a user would drive it.
#   run_in_progress.sh overlap PictureConverter.exe pcdriver.exe
#     A second click on "批量转换" and a drop during the run are refused with
#     the running-conversion message; the first run still converts every
#     picture, its summary counts them all, and a drop after it works again.
#   run_in_progress.sh format-change PictureConverter.exe pcdriver.exe
#     The format list is switched from jpg to png mid-run: the tasks that
#     start afterwards write png, so the outputs are split between jpg\ and
#     png\, each picture converted exactly once, every output decoding.
#   run_in_progress.sh interrupted-runs PictureConverter.exe pcdriver.exe
#     The window is closed while tasks convert: the program ends with exit
#     code 0. Then the program is killed during a run: no final output name
#     holds an incomplete picture, and the next run into the folder converts
#     every picture and leaves no temporary file.
# The run is made long with 60 pictures of 1600x1200.
set -u
scenario=$1
app=$2
driver=$3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/wine-env.sh"
pc_display_ready || exit 1
pc_wine_prefix_ready

# The folder browser only reaches folders of the prefix's own drives.
name=pcrun_$$
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

combo=0x16010004
batch=0x16010003
progress=0x160116F3
box=信息：
refusal="正在转换图片，请等这一批转换完成后再开始新的转换"
count=60

close_explorer() {
  if drv waitwin ExplorerWClass 5000 >/dev/null; then
    while drv closewin ExplorerWClass >/dev/null; do sleep 0.3; done
  fi
}
read_box() {
  box_text=$(drv boxtext "$box" "${1:-30000}" | tr -d '\r') || return 1
  drv clickbox "$box" >/dev/null
  sleep 0.3
}

# Waits until the run of $1 pictures has converted at least $2 of them
# (progress position) while not all: prints the position seen.
wait_converting() {
  local total=$1 least=$2 i reading position maximum
  for i in $(seq 1 1200); do
    reading=$(drv progress $progress | tr -d '\r')
    position=${reading% *}
    maximum=${reading#* }
    if [ "$maximum" = "$total" ] && [ "$position" -ge "$least" ] 2>/dev/null; then
      echo "$position"
      [ "$position" -lt "$total" ]
      return
    fi
    sleep 0.1
  done
  return 1
}

# --- Pictures: one photo-like picture in four formats, 15 copies each ----------
mkdir -p "$root/run" "$root/other"
ppmpat -camo -randomseed=11 1600 1200 2>/dev/null |
  pamaddnoise -type gaussian -sigma1 3 -seed 5 >"$work/source.ppm" 2>/dev/null
pnmtopng "$work/source.ppm" >"$work/p.png" 2>/dev/null
ppmtobmp -bpp=24 "$work/source.ppm" >"$work/p.bmp" 2>/dev/null
pnmtotiff -truecolor "$work/source.ppm" >"$work/p.tif" 2>/dev/null
cjpeg -quality 92 "$work/source.ppm" >"$work/p.jpg"
djpeg -pnm "$work/p.jpg" >"$work/p_jpg.ppm"
pamscale -reduce 8 "$work/p_jpg.ppm" >"$work/p_jpg8.ppm" 2>/dev/null
# Distinct bases: pictures that share a base would share an output path.
for i in $(seq -w 1 15); do
  for extension in png bmp tif jpg; do cp "$work/p.$extension" "$root/run/pic${i}_$extension.$extension"; done
done
pnmtopng "$work/source.ppm" >"$root/other/late.png" 2>/dev/null
(cd "$root/run" && sha256sum ./*) >"$work/sources.sha"
bases=$(cd "$root/run" && ls | sed 's/\.[a-z]*$//' | sort)

# reference_for BASE: the pixels its source decodes to.
reference_for() {
  case $1 in
    *_jpg) echo "$work/p_jpg.ppm" ;;
    *) echo "$work/source.ppm" ;;
  esac
}

# Differences allowed between 8x8 block averages of a JPEG source as djpeg
# decodes it and as the program's imaging service does (mean and largest
# per sample; another picture differs by a mean of about 110).
jpeg_block_mean_max=3
jpeg_block_max=20
jpeg_decode_note=

# check_outputs TARGET: checks that each output in TARGET\ decodes (and, for
# png, holds its source's pixels) and leaves the sorted bases converted in
# $converted. It runs in this shell, so that its failures count.
check_outputs() {
  local target=$1 out base measured
  converted=
  [ -d "$root/run/$target" ] || return 0
  for out in "$root/run/$target"/*; do
    base=$(basename "$out" ".$target")
    converted+="$base"$'\n'
    case $target in
      png)
        pngtopnm "$out" >"$work/out.pnm" 2>/dev/null || { fail "$out does not decode"; continue; }
        cmp -s "$work/out.pnm" "$(reference_for "$base")" && continue
        # The imaging service decodes a JPEG source with other colour
        # upsampling than djpeg, which on these noisy pictures moves single
        # samples a long way; averaged over 8x8 blocks the two agree closely.
        case $base in
          *_jpg) pamscale -reduce 8 "$work/out.pnm" >"$work/out8.pnm" 2>/dev/null
                 measured=$(python3 "$here/compare_pixels.py" "$work/out8.pnm" "$work/p_jpg8.ppm" \
                   "$jpeg_block_mean_max" "$jpeg_block_max") || fail "$out differs from its source: $measured"
                 jpeg_decode_note=$measured ;;
          *) fail "$out does not hold its source's pixels" ;;
        esac ;;
      jpg)
        djpeg -pnm "$out" >"$work/out.pnm" 2>/dev/null &&
          [ "$(pamfile -size "$work/out.pnm")" = "1600 1200" ] || fail "$out does not decode to 1600x1200" ;;
    esac
  done
  converted=$(printf '%s' "$converted" | sort)
}

# --- Start-up -------------------------------------------------------------------
start_program() {
  wine "$app" </dev/null >>"$work/app.log" 2>&1 &
  app_pid=$!
  read_box 30000 || die "no start-up message box"
  drv waitwin _QX_Form 5000 >/dev/null || die "no main window"
}

# Waits up to 30 s for the program to end; 0 with its exit code in
# program_status, 1 when it still runs.
wait_program_end() {
  for _ in $(seq 1 300); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$app_pid" 2>/dev/null && return 1
  wait "$app_pid"
  program_status=$?
  app_pid=
}

# Every file under a final name in FOLDER is a complete PNG; counts the
# temporary files beside them in leftovers.
check_final_names_complete() {
  local folder=$1 out
  leftovers=0
  for out in "$folder"/*; do
    [ -e "$out" ] || continue
    case $out in
      *.png) [ "$(tail -c 12 "$out" | head -c 8 | tail -c 4)" = IEND ] || fail "$out is incomplete" ;;
      *.part) leftovers=$((leftovers + 1)) ;;
    esac
  done
}

start_program

summary_regex="^转换${count}张图片，用时[0-9.]+秒$"

if [ "$scenario" = overlap ]; then
  # A watcher lists the output folder every few milliseconds for the whole
  # run: no final output name may ever hold a picture still being written.
  python3 "$here/watch_outputs.py" "$root/run/png" "$work/watch.stop" >"$work/watch.log" 2>&1 &
  watcher=$!
  drv setcombo $combo 2
  drv clickctl $batch
  drv browse "$winroot\\run" 15000 || die "no folder browser"
  seen=$(wait_converting $count 2) || die "the run was not seen converting (position ${seen:-none})"
  pass "run converting, $seen of $count done"

  # A second batch: refused before any folder browser shows.
  drv clickctl $batch
  if read_box 10000; then
    [ "$box_text" = "$refusal" ] && pass "a second batch during the run is refused" ||
      fail "second batch box: $box_text"
  else
    fail "no box for a second batch during the run"
    drv browsecancel 3000 >/dev/null
  fi

  # A drop: refused too, and the dropped file is left alone.
  # The refusal box shows while the drop is being delivered, so the drag
  # ends only when the box is closed.
  seen=$(wait_converting $count 1) || fail "the run ended before the drop (position ${seen:-none})"
  drv drop "$winroot\\other\\late.png" &
  drag_pid=$!
  if read_box 10000; then
    [ "$box_text" = "$refusal" ] && pass "a drop during the run is refused" || fail "drop box: $box_text"
  else
    fail "no box for a drop during the run"
  fi
  wait $drag_pid || fail "the drag failed"

  # The first run carries on to its complete summary.
  if read_box 180000; then
    close_explorer
    [[ "$box_text" =~ $summary_regex ]] && pass "summary of the first run: $box_text" ||
      fail "summary of the first run: $box_text"
  else
    die "no summary for the first run"
  fi
  [ "$(drv progress $progress | tr -d '\r')" = "$count $count" ] && pass "progress ends at $count" ||
    fail "progress: $(drv progress $progress)"
  touch "$work/watch.stop"
  if wait "$watcher"; then
    pass "output watcher: $(head -n 1 "$work/watch.log")"
  else
    fail "output watcher: $(cat "$work/watch.log")"
  fi
  [ -z "$(ls "$root/run/png" | grep -v '\.png$')" ] && pass "no temporary file left in png\\" ||
    fail "files left beside the outputs: $(ls "$root/run/png" | grep -v '\.png$' | head -n 5)"
  check_outputs png
  [ "$converted" = "$bases" ] && pass "every picture of the first run converted to png with its source's pixels" ||
    fail "png outputs: $(echo "$converted" | wc -l) of $count"
  [ -e "$root/other/png" ] && fail "the refused drop converted something"
  (cd "$root/run" && sha256sum --quiet -c "$work/sources.sha") && pass "sources unchanged" ||
    fail "a source changed"

  # Once the run is over, a new one is accepted.
  drv drop "$winroot\\other\\late.png" || fail "the drag after the run failed"
  if read_box 30000; then
    close_explorer
    [[ "$box_text" =~ ^转换1张图片，用时[0-9.]+秒$ ]] && pass "a drop after the run converts: $box_text" ||
      fail "drop after the run: $box_text"
  else
    fail "no summary for the drop after the run"
  fi
  [ -f "$root/other/png/late.png" ] || fail "late.png was not converted after the run"

elif [ "$scenario" = format-change ]; then
  drv setcombo $combo 0
  drv clickctl $batch
  drv browse "$winroot\\run" 15000 || die "no folder browser"
  seen=$(wait_converting $count 6) || die "the run was not seen converting (position ${seen:-none})"
  drv setcombo $combo 2
  pass "format switched to png with $seen of $count done"

  if read_box 180000; then
    close_explorer
    [[ "$box_text" =~ $summary_regex ]] && pass "summary: $box_text" || fail "summary: $box_text"
  else
    die "no summary for the run"
  fi
  check_outputs jpg
  as_jpg=$converted
  check_outputs png
  as_png=$converted
  jpg_count=$(printf '%s' "$as_jpg" | grep -c .)
  png_count=$(printf '%s' "$as_png" | grep -c .)
  echo "outputs: $jpg_count jpg, $png_count png"
  [ "$jpg_count" -ge "$seen" ] && pass "the tasks done before the switch wrote jpg ($jpg_count)" ||
    fail "only $jpg_count jpg outputs although $seen were done before the switch"
  [ "$png_count" -ge 1 ] && pass "the tasks after the switch wrote png ($png_count)" ||
    fail "no png output after the switch"
  [ $((jpg_count + png_count)) -eq "$count" ] && pass "jpg + png outputs = $count" ||
    fail "jpg + png outputs = $((jpg_count + png_count)), not $count"
  [ "$(printf '%s\n%s\n' "$as_jpg" "$as_png" | grep . | sort)" = "$bases" ] &&
    pass "each picture converted exactly once" || fail "some picture converted twice or not at all"
  [ -e "$root/run/tif" ] && fail "a tif folder appeared"
elif [ "$scenario" = interrupted-runs ]; then
  # Closing the window while tasks convert ends the program cleanly: the pool
  # stops before the state its tasks use goes away.
  drv setcombo $combo 2
  drv clickctl $batch
  drv browse "$winroot\\run" 15000 || die "no folder browser"
  seen=$(wait_converting $count 2) || die "the run was not seen converting (position ${seen:-none})"
  drv closewin _QX_Form "图片转换by:quibrox" >/dev/null
  if wait_program_end; then
    [ "$program_status" -eq 0 ] && pass "closed during the run ($seen of $count done): exit code 0" ||
      fail "closed during the run: exit code $program_status"
  else
    fail "the program did not end within 30 s of closing its window during a run"
  fi

  # Killed during a run: no final name holds an incomplete picture.
  start_program
  drv setcombo $combo 2
  drv clickctl $batch
  drv browse "$winroot\\run" 15000 || die "no folder browser"
  seen=$(wait_converting $count 8) || die "the second run was not seen converting (position ${seen:-none})"
  kill -KILL "$app_pid"
  wait "$app_pid" 2>/dev/null
  app_pid=
  check_final_names_complete "$root/run/png"
  pass "killed with $seen of $count done: every final name complete, $leftovers temporary file(s) left"

  # The next run into the folder converts everything and clears what the
  # killed one left behind.
  start_program
  drv setcombo $combo 2
  drv clickctl $batch
  drv browse "$winroot\\run" 15000 || die "no folder browser"
  if read_box 180000; then
    close_explorer
    [[ "$box_text" =~ $summary_regex ]] && pass "the next run: $box_text" || fail "the next run: $box_text"
  else
    die "gave up after 180 s waiting for the next run's summary; its outputs were not checked"
  fi
  check_outputs png
  [ "$converted" = "$bases" ] && pass "every picture converted to png with its source's pixels" ||
    fail "png outputs: $(echo "$converted" | grep -c .) of $count"
  left=$(ls "$root/run/png" | grep -v '\.png$')
  [ -z "$left" ] && pass "no temporary file left in png\\" || fail "left in png\\: $(echo "$left" | head -n 5)"
  (cd "$root/run" && sha256sum --quiet -c "$work/sources.sha") && pass "sources unchanged" ||
    fail "a source changed"
else
  echo "unknown scenario $scenario" >&2
  exit 2
fi

# --- The end ----------------------------------------------------------------------------
if [ -n "$app_pid" ]; then
  drv closewin _QX_Form "图片转换by:quibrox" >/dev/null
  if wait_program_end; then
    [ "$program_status" -eq 0 ] || fail "exit code $program_status"
  else
    fail "the program did not end when its window was closed"
  fi
fi

[ -n "$jpeg_decode_note" ] && echo "note: JPEG sources against djpeg's pixels in 8x8 blocks: $jpeg_decode_note"
if [ "$failures" -ne 0 ]; then
  [ -s "$work/driver.log" ] && sed 's/^/  driver: /' "$work/driver.log" >&2
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "PASS: $scenario"
