#!/usr/bin/env bash
# Whole-program benchmark: a batch of 200 photo-like pictures (1.2 to 1.9
# megapixels, a quarter each JPEG, PNG, TIFF and BMP) converted by the real
# PictureConverter.exe under Wine, operated as a user would (folder browser,
# "批量转换"), and the program's memory after the run.
#
#   scripts/bench-program.sh [jpg|tif|png ...]    (default: jpg png)
#
# Prints, per target: pictures per second from the seconds in the summary box
# and from the wall time the script measures from pressing OK in the folder
# browser to the summary box showing (this includes the program's 200 ms start
# delay and the 1 s grace wait at the end, and the driver's polling), and the
# program's working set, peak working set and pagefile usage after the run.
#
# Builds PictureConverter and pcdriver in build/bench-program-win32, runs in
# its own Wine prefix build/bench-program-wineprefix (whose wineserver it
# stops at the end), and keeps the pictures in build/bench-data/program/ —
# hard links to the ones scripts/bench-pool.sh made when they are there,
# otherwise made here with netpbm.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build="$repo/build/bench-program-win32"
data="$repo/build/bench-data/program"
pictures="$data/pictures"
pictureCount=200
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(jpg png)

# --- build ------------------------------------------------------------------------
if [ ! -f "$build/CMakeCache.txt" ]; then
  echo "[bench-program] configuring $build" >&2
  cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-mingw-i686.cmake" >"$build.configure.log" 2>&1 ||
    { tail -n 30 "$build.configure.log" >&2; exit 1; }
fi
echo "[bench-program] building PictureConverter and pcdriver" >&2
cmake --build "$build" --target PictureConverter pcdriver -j 2 >"$build.build.log" 2>&1 ||
  { grep -E -B2 -A8 'error|Error' "$build.build.log" | head -n 60 >&2; exit 1; }
app=$(find "$build" -name PictureConverter.exe -print -quit)
driver=$(find "$build" -name pcdriver.exe -print -quit)

# --- pictures -----------------------------------------------------------------------
# Photo-like: a crop of ImageMagick plasma:fractal scaled to one of three sizes
# and given gaussian noise, written by cjpeg, pnmtopng, pnmtotiff or ppmtobmp.
make_picture() {
  local bases=$1 out=$2 i=$3
  local sizes=(1280x960 1440x1080 1600x1200)
  local extensions=(jpg png tif bmp)
  local base="$bases/base$((i % 3)).ppm"
  local size=${sizes[$((i % 3))]}
  local extension=${extensions[$((i % 4))]}
  local encode
  case $extension in
    jpg) encode=(cjpeg -quality 90 -optimize) ;;
    png) encode=(pnmtopng) ;;
    tif) encode=(pnmtotiff -truecolor) ;;
    bmp) encode=(ppmtobmp -bpp 24) ;;
  esac
  pamcut -left $(((i * 7) % 160)) -top $(((i * 5) % 120)) -width 480 -height 360 "$base" |
    pamscale -width "${size%x*}" -height "${size#*x}" |
    pamaddnoise -type gaussian -sigma1 3 -seed "$((i + 1))" |
    "${encode[@]}" >"$out/$(printf 'pic_%03d.%s' "$i" "$extension")" 2>/dev/null
}

make_pictures() {
  if [ -f "$pictures/.complete" ]; then
    echo "[bench-program] reusing the pictures in $pictures" >&2
    return
  fi
  local making="$data/pictures.making"
  rm -rf "$making"
  mkdir -p "$making"
  local pool="$repo/build/bench-data/pool/pictures"
  if [ -f "$pool/.complete" ]; then
    echo "[bench-program] linking the pictures of $pool" >&2
    find "$pool" -maxdepth 1 -type f -name 'pic_*' -exec ln {} "$making/" \;
  else
    echo "[bench-program] making $pictureCount pictures" >&2
    local magick=convert
    [ -x /usr/bin/convert ] && magick=/usr/bin/convert
    local seed
    for seed in 0 1 2; do
      "$magick" -seed "$((seed + 2))" -size 640x480 plasma:fractal -blur 0x1 -depth 8 \
        "ppm:$making/base$seed.ppm"
    done
    export -f make_picture
    seq 0 $((pictureCount - 1)) |
      xargs -P 2 -I{} bash -c 'set -eo pipefail; make_picture "$1" "$2" "$3"' _ "$making" "$making" {}
    rm -f "$making"/base*.ppm
  fi
  [ "$(find "$making" -type f -name 'pic_*' | wc -l)" -eq "$pictureCount" ] ||
    { echo "expected $pictureCount pictures in $making" >&2; exit 1; }
  touch "$making/.complete"
  rm -rf "$pictures"
  mv "$making" "$pictures"
}
make_pictures

# --- run ------------------------------------------------------------------------------
export WINEPREFIX="$repo/build/bench-program-wineprefix"
source "$repo/scripts/wine-env.sh"
pc_display_ready
pc_wine_prefix_ready
pc_wine_warm || true
app_pid=
finish() {
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then kill "$app_pid" 2>/dev/null || true; fi
  rm -f "$WINEPREFIX/drive_c/benchpics"
  pc_wine_stop
  pc_display_stop
}
trap finish EXIT

# The folder browser reaches only the prefix's own drives: a link in drive C.
ln -sfn "$pictures" "$WINEPREFIX/drive_c/benchpics"
drv() { wine "$driver" "$@" </dev/null 2>/dev/null; }
box=信息：
combo=0x16010004
batch=0x16010003

wine "$app" </dev/null >/dev/null 2>&1 &
app_pid=$!
drv boxtext "$box" 30000 >/dev/null || { echo "the program did not start" >&2; exit 1; }
drv clickbox "$box" >/dev/null
drv waitwin _QX_Form 5000 >/dev/null
sleep 1
read -r ws0 peak0 page0 <<<"$(drv memory PictureConverter.exe | tr -d '\r')"
mb() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg), processors: $(nproc)"
echo "pictures: $pictureCount in $pictures ($(du -shL "$pictures" | cut -f1)), working set at start: $(mb "$ws0") MB"
printf '%-6s %8s %8s %10s %10s | %8s %8s %8s\n' target pictures "box s" "box pic/s" "wall pic/s" "ws MB" "peak MB" "page MB"
for target in "${targets[@]}"; do
  case $target in jpg) index=0 ;; tif) index=1 ;; png) index=2 ;; *) echo "bad target $target" >&2; exit 2 ;; esac
  rm -rf "${pictures:?}/$target"
  drv setcombo $combo $index
  drv clickctl $batch
  drv browse 'C:\benchpics' 15000 >/dev/null || { echo "no folder browser" >&2; exit 1; }
  started=$(date +%s.%N)
  text=$(drv boxtext "$box" 900000 | tr -d '\r') || { echo "no summary for $target" >&2; exit 1; }
  ended=$(date +%s.%N)
  drv clickbox "$box" >/dev/null
  if drv waitwin ExplorerWClass 5000 >/dev/null; then
    while drv closewin ExplorerWClass >/dev/null; do sleep 0.3; done
  fi
  [[ "$text" =~ ^转换([0-9]+)张图片，用时([0-9.]+)秒 ]] || { echo "unexpected summary: $text" >&2; exit 1; }
  converted=${BASH_REMATCH[1]}
  seconds=${BASH_REMATCH[2]}
  [ "$converted" -eq "$pictureCount" ] || echo "note: the summary says: ${text//$'\n'/ | }" >&2
  sleep 1
  read -r ws peak page <<<"$(drv memory PictureConverter.exe | tr -d '\r')"
  awk -v t="$target" -v n="$converted" -v s="$seconds" -v w="$(echo "$ended - $started" | bc)" \
    -v ws="$ws" -v peak="$peak" -v page="$page" 'BEGIN {
      printf "%-6s %8d %8.2f %10.2f %10.2f | %8.1f %8.1f %8.1f\n", t, n, s, n / s, n / w,
        ws / 1048576, peak / 1048576, page / 1048576 }'
  rm -rf "${pictures:?}/$target"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
drv closewin _QX_Form "图片转换by:quibrox" >/dev/null || true
for _ in $(seq 1 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
