#!/usr/bin/env bash
# Engine benchmark, in one command:
#
#   bash scripts/bench-engine.sh [--repeat N] [--only jpeg,tiff,png,heic,webp]
#                                [--native-only | --win32-only]
#                                [--deps-dir DIR]
#
# 1. builds bench/engine_bench in two Release trees: build/bench-native (host
#    gcc) and build/bench-win32 (MinGW-w64 i686);
# 2. makes the test photograph once and keeps it in build/bench-data: a
#    6000 x 4000 (24 MP) camera-like JPEG (quality 92, 4:2:0), made with
#    ImageMagick from libjpeg-turbo's test photograph (testorig.jpg, a rose;
#    ImageMagick's built-in rose: picture when the source tree is absent)
#    upscaled, with a seeded plasma fractal laid over it for texture at every
#    scale and Gaussian noise for sensor grain; and from it, resized to
#    4000 x 3000 (12 MP), a HEIC (heif-enc, quality 80) and a lossy WebP
#    (cwebp, quality 80), as a phone or camera would save them;
# 3. runs the benchmark natively, then the 32-bit build under Wine in a
#    prefix of its own (build/bench-wineprefix), whose wineserver it stops at
#    the end without touching the shared prefix other people test in.
#
# The benchmark converts the photograph to JPEG (quality 100, optimized
# Huffman tables), TIFF (24-bit, uncompressed) and PNG (24-bit, interlaced),
# the HEIC to JPEG and the WebP to PNG, once through the engine's loader and
# writers and once through the bare libraries, each run (best of N, default
# 3) in a fresh process, and prints times, megapixels per second, peak memory
# and the engine/bare ratios. --only names the cases to run (default all).
# --deps-dir hands PC_DEPS_DIR to the trees' configure step (where the codec
# libraries are built once; see scripts/build-deps.sh). Figures only: the exit
# status says whether everything built and ran, never whether it was fast.
# On a shared machine wall times mostly measure waiting for a core; the
# processor-time columns are the ones to compare then (the load average is
# printed before each run).
set -Eeuo pipefail
trap 'echo "bench-engine.sh: command failed (status $?) at line $LINENO" >&2' ERR

repo=$(cd "$(dirname "$0")/.." && pwd)
build="$repo/build"
data="$build/bench-data"
repeat=3
only=jpeg,tiff,png,heic,webp
deps_dir=
run_native=1
run_win32=1

while [ $# -gt 0 ]; do
  case "$1" in
    --repeat) repeat=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --deps-dir) deps_dir=$2; shift 2 ;;
    --native-only) run_win32=0; shift ;;
    --win32-only) run_native=0; shift ;;
    -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done

mkdir -p "$data"

# --- build -------------------------------------------------------------------

# Until the top-level CMakeLists.txt adds bench/ itself, the trees get it
# through this project include, which reads bench/CMakeLists.txt once the top
# level has been read (deferred calls may not add subdirectories, hence the
# include) and does nothing when the top level already added the folder.
project_include="$data/add-bench.cmake"
cat >"$project_include" <<EOF
function(pc_bench_add_once)
  if(NOT TARGET engine_bench)
    include("$repo/bench/CMakeLists.txt")
  endif()
endfunction()
cmake_language(DEFER DIRECTORY "\${CMAKE_SOURCE_DIR}" CALL pc_bench_add_once)
EOF

build_tree() {
  local tree=$1
  shift
  [ -z "$deps_dir" ] || set -- "$@" -DPC_DEPS_DIR="$deps_dir"
  echo "=== building $tree (Release)"
  cmake -S "$repo" -B "$build/$tree" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PROJECT_PictureConverter_INCLUDE="$project_include" "$@" \
    >"$build/$tree.configure.log" 2>&1 || { cat "$build/$tree.configure.log"; return 1; }
  # Two cores are shared with others: never more than two jobs.
  cmake --build "$build/$tree" -j2 --target engine_bench \
    >"$build/$tree.build.log" 2>&1 || { tail -n 60 "$build/$tree.build.log"; return 1; }
}

[ "$run_native" = 1 ] && build_tree bench-native
[ "$run_win32" = 1 ] && build_tree bench-win32 \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-mingw-i686.cmake"

# --- the photograph ----------------------------------------------------------

photo="$data/photo-6000x4000.jpg"
make_photo() {
  [ -s "$photo" ] && return 0
  echo "=== making the test photograph (once; about a minute)"
  local work="$data/photo-work"
  rm -rf "$work"
  mkdir -p "$work"
  local seed
  seed=$(find "$build/deps/src/libjpeg-turbo" -path '*/testimages/testorig.jpg' 2>/dev/null |
    head -n 1 || true)
  [ -n "$seed" ] || seed="rose:"
  # ImageMagick's pixel cache spills to disk beyond its memory policy; keep
  # that spill with the rest of the benchmark's files.
  export MAGICK_TEMPORARY_PATH="$work"
  convert -seed 7 -size 6000x4000 plasma:fractal -blur 0x1 "$work/texture.miff"
  convert "$seed" -filter Lanczos -resize '6000x4000!' "$work/texture.miff" \
    -compose SoftLight -composite -attenuate 0.6 +noise Gaussian \
    -sampling-factor 2x2 -quality 92 "$work/photo.jpg"
  mv "$work/photo.jpg" "$photo"
  rm -rf "$work"
}
make_photo

# The 12 MP HEIC and WebP, made once from the photograph through a lossless
# intermediate, with the encoders' default 4:2:0 chroma.
heic="$data/photo-4000x3000.heic"
webp="$data/photo-4000x3000.webp"
make_small_pictures() {
  [ -s "$heic" ] && [ -s "$webp" ] && return 0
  echo "=== making the 12 MP HEIC and WebP (once; a minute or two)"
  local work="$data/small-work"
  rm -rf "$work"
  mkdir -p "$work"
  export MAGICK_TEMPORARY_PATH="$work"
  convert "$photo" -filter Lanczos -resize '4000x3000!' -quality 10 "PNG24:$work/photo.png"
  heif-enc -q 80 -o "$work/photo.heic" "$work/photo.png" >"$work/heif-enc.log" 2>&1 ||
    { cat "$work/heif-enc.log"; return 1; }
  cwebp -quiet -q 80 "$work/photo.png" -o "$work/photo.webp"
  mv "$work/photo.heic" "$heic"
  mv "$work/photo.webp" "$webp"
  rm -rf "$work"
}
make_small_pictures

# Reports engine temporary files a run left behind (there should be none).
check_temp_folder() {
  local folder=$1
  local left
  left=$(find "$folder" -maxdepth 1 -name 'CSWCLASS*' | wc -l)
  if [ "$left" -ne 0 ]; then
    echo "!!! $left engine temporary file(s) left in $folder"
    return 1
  fi
  echo "temporary folder $folder: no engine files left behind"
}

status=0

print_load() {
  echo "machine load (1, 5, 15 min): $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
}

# --- native ------------------------------------------------------------------

if [ "$run_native" = 1 ]; then
  echo
  echo "=== native"
  mkdir -p "$data/out-native" "$data/tmp-native"
  print_load
  "$build/bench-native/bench/engine_bench" --repeat "$repeat" --only "$only" \
    --temp "$data/tmp-native" --heic "$heic" --webp "$webp" \
    "$photo" "$data/out-native" || status=1
  check_temp_folder "$data/tmp-native" || status=1
fi

# --- win32 under Wine --------------------------------------------------------

if [ "$run_win32" = 1 ]; then
  echo
  echo "=== win32 under Wine"
  export WINEPREFIX="$build/bench-wineprefix"
  # shellcheck source=scripts/wine-env.sh
  source "$repo/scripts/wine-env.sh"
  pc_display_ready
  # Only this prefix's wineserver is stopped; the shared one is left alone.
  trap 'pc_wine_stop; pc_display_stop' EXIT
  pc_wine_warm
  to_windows_path() { printf 'Z:%s' "${1//\//\\}"; }
  mkdir -p "$data/out-win32" "$data/tmp-win32"
  print_load
  wine "$build/bench-win32/bench/engine_bench.exe" --repeat "$repeat" --only "$only" \
    --temp "$(to_windows_path "$data/tmp-win32")" \
    --heic "$(to_windows_path "$heic")" --webp "$(to_windows_path "$webp")" \
    "$(to_windows_path "$photo")" "$(to_windows_path "$data/out-win32")" </dev/null || status=1
  check_temp_folder "$data/tmp-win32" || status=1
fi

exit "$status"
