#!/usr/bin/env bash
# Batch-conversion benchmark: 200 pictures converted through the GDI+ Picture
# object on the completion-port worker pool with 1, 2 and 6 workers, under Wine.
#
#   scripts/bench-pool.sh [pool_bench options, e.g. --repeat 2 --targets jpg,png]
#
# Builds the pool_bench target in build/bench-pool-win32 (configured once and
# reused), makes the pictures once into build/bench-data/pool/pictures, and
# runs the benchmark in its own Wine prefix build/bench-pool-wineprefix, whose
# wineserver it stops at the end. The figures are also kept in
# build/bench-pool-win32/pool_bench.log.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build="$repo/build/bench-pool-win32"
data="$repo/build/bench-data/pool"
pictures="$data/pictures"
pictureCount=200
# Bump when the picture recipe below changes, so cached pictures are remade.
recipe="pool-pictures v2: $pictureCount pictures, netpbm crops + pamscale + gaussian noise 3"

# --- build -----------------------------------------------------------------
# bench/CMakeLists.txt includes bench/pool_bench.cmake once the top directory
# adds bench/. Until then this hook, run at the end of the top directory,
# includes the fragment itself; with the target already defined it does nothing.
build_bench() {
  mkdir -p "$build"
  local hook="$build/pool-bench-hook.cmake"
  local hookText='# Written by scripts/bench-pool.sh.
function(pc_pool_bench_when_missing)
  if(NOT TARGET pool_bench)
    include("${CMAKE_SOURCE_DIR}/bench/pool_bench.cmake")
  endif()
endfunction()
cmake_language(DEFER CALL pc_pool_bench_when_missing)'
  # Rewritten only when different, so an unchanged hook does not re-run CMake.
  if [ ! -f "$hook" ] || [ "$(cat "$hook")" != "$hookText" ]; then
    printf '%s\n' "$hookText" >"$hook"
  fi
  if ! grep -q '^CMAKE_PROJECT_PictureConverter_INCLUDE' "$build/CMakeCache.txt" 2>/dev/null; then
    echo "[bench-pool] configuring $build" >&2
    cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-mingw-i686.cmake" \
      -DCMAKE_PROJECT_PictureConverter_INCLUDE="$hook" >"$build/configure.log" 2>&1 ||
      { cat "$build/configure.log" >&2; exit 1; }
  fi
  echo "[bench-pool] building pool_bench" >&2
  cmake --build "$build" --target pool_bench -j 2 >"$build/build.log" 2>&1 ||
    { grep -E -B2 -A8 'error|Error' "$build/build.log" | head -n 60 >&2; exit 1; }
  benchExe=$(cat "$build/pool_bench_path.txt")
  [ -f "$benchExe" ] || { echo "pool_bench.exe not found in $build" >&2; exit 1; }
}

# --- pictures ----------------------------------------------------------------
# Photo-like content from two real photographs shipped with libjpeg-turbo's
# sources (testorig.ppm, nightshot_iso_100.bmp) and three ImageMagick
# plasma:fractal images: each picture is a crop of one of them, scaled with
# pamscale to 1280x960, 1440x1080 or 1600x1200 (1.2 to 1.9 megapixels) and
# given gaussian noise, then written as JPEG (cjpeg, quality 90), PNG
# (pnmtopng), uncompressed RGB TIFF (pnmtotiff) or 24-bit BMP (ppmtobmp), a
# quarter each.
make_bases() {
  local bases=$1
  local testimages
  testimages=$(find "$repo/build/deps/src" -path '*/testimages/testorig.ppm' -print -quit)
  [ -n "$testimages" ] || { echo "libjpeg-turbo's testimages not found under build/deps/src" >&2; exit 1; }
  testimages=$(dirname "$testimages")
  cp "$testimages/testorig.ppm" "$bases/base0.ppm"
  bmptoppm "$testimages/nightshot_iso_100.bmp" >"$bases/base1.ppm" 2>/dev/null
  # The real ImageMagick, not a stand-in earlier on PATH.
  local magick=convert
  [ -x /usr/bin/convert ] && magick=/usr/bin/convert
  local seed
  for seed in 2 3 4; do
    # -depth 8: ImageMagick's Q16 build would write 16-bit samples.
    "$magick" -seed "$seed" -size 640x480 plasma:fractal -blur 0x1 -depth 8 "ppm:$bases/base$seed.ppm"
  done
}

# make_picture BASES OUT INDEX
make_picture() {
  local bases=$1 out=$2 i=$3
  local sizes=(1280x960 1440x1080 1600x1200)
  local extensions=(jpg png tif bmp)
  local base="$bases/base$((i % 5)).ppm"
  local size=${sizes[$((i % 3))]}
  local extension=${extensions[$((i % 4))]}
  local dims baseWidth baseHeight
  dims=$(pamfile -size "$base")
  baseWidth=${dims% *}
  baseHeight=${dims#* }
  # A 4:3 crop of 70..100 % of the base's width, at a position that varies.
  local cropWidth=$((baseWidth * (70 + (i * 37) % 31) / 100))
  local cropHeight=$((cropWidth * 3 / 4))
  [ "$cropHeight" -le "$baseHeight" ] || cropHeight=$baseHeight
  local left=$(((i * 53) % (baseWidth - cropWidth + 1)))
  local top=$(((i * 29) % (baseHeight - cropHeight + 1)))
  local name
  name=$(printf 'pic_%03d.%s' "$i" "$extension")
  local encode
  case $extension in
    jpg) encode=(cjpeg -quality 90 -optimize) ;;
    png) encode=(pnmtopng) ;;
    tif) encode=(pnmtotiff -truecolor) ;;
    bmp) encode=(ppmtobmp -bpp 24) ;;
  esac
  pamcut -left "$left" -top "$top" -width "$cropWidth" -height "$cropHeight" "$base" |
    pamscale -width "${size%x*}" -height "${size#*x}" |
    pamaddnoise -type gaussian -sigma1 3 -seed "$((i + 1))" |
    "${encode[@]}" >"$out/$name" 2>/dev/null
}

make_pictures() {
  if [ -f "$pictures/.complete" ] && [ "$(cat "$pictures/.complete")" = "$recipe" ]; then
    echo "[bench-pool] reusing the pictures in $pictures" >&2
    return
  fi
  echo "[bench-pool] making $pictureCount pictures in $pictures" >&2
  local work="$data/pictures.making"
  rm -rf "$work" "$data/bases"
  mkdir -p "$work" "$data/bases"
  make_bases "$data/bases"
  export -f make_picture
  seq 0 $((pictureCount - 1)) |
    xargs -P 2 -I{} bash -c 'set -eo pipefail; make_picture "$1" "$2" "$3"' _ "$data/bases" "$work" {}
  [ "$(find "$work" -type f | wc -l)" -eq "$pictureCount" ] ||
    { echo "some pictures were not made" >&2; exit 1; }
  printf '%s\n' "$recipe" >"$work/.complete"
  rm -rf "$pictures"
  mv "$work" "$pictures"
}

# --- run -----------------------------------------------------------------------
run_bench() {
  # A prefix of its own: stopping its wineserver disturbs no one else's tests.
  export WINEPREFIX="$repo/build/bench-pool-wineprefix"
  source "$repo/scripts/wine-env.sh"
  pc_wine_prefix_ready
  # wineserver -p fails when this prefix's server already runs, which is fine.
  pc_wine_warm || true
  trap pc_wine_stop EXIT
  local winFolder="Z:${pictures//\//\\}"
  echo "[bench-pool] running $(basename "$benchExe") under Wine" >&2
  # The machine is shared: the load shows how much of its 2 cores the runs got.
  (
    echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
    rc=0
    wine "$benchExe" "$winFolder" "$@" </dev/null 2>&1 || rc=$?
    echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
    exit "$rc"
  ) | tee "$build/pool_bench.log"
  return "${PIPESTATUS[0]}"
}

build_bench
make_pictures
run_bench "$@"
