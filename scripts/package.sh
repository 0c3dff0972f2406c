#!/usr/bin/env bash
# Builds the download for Windows users: one zip holding the 32-bit program
# (the product for every Windows), the 64-bit program (for very large
# pictures), a short read-me in Chinese and, in licenses/, the licence text of
# every library linked into the programs.
#   package.sh [--check]
# The zip is left in build/package/PictureConverter.zip. With --check, the zip
# must hold every licence text, and each program is taken back out of the zip
# and started under the Wine that runs it, until its main window shows; a
# program this machine cannot run at all is reported and skipped.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
check=
[ "${1:-}" = --check ] && check=1

jobs=$(nproc)
out="$repo/build/package"
stage="$out/stage"
rm -rf "$stage"
mkdir -p "$stage"

build_program() {  # tree toolchain
  local tree=$1 toolchain=$2
  echo "[package] building the $tree program"
  cmake -S "$repo" -B "$repo/build/$tree" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/$toolchain" >"$out/$tree.configure.log" 2>&1 ||
    { cat "$out/$tree.configure.log"; exit 1; }
  cmake --build "$repo/build/$tree" -j "$jobs" --target PictureConverter pcdriver \
    >"$out/$tree.build.log" 2>&1 || { tail -n 60 "$out/$tree.build.log"; exit 1; }
}

build_program win32 toolchain-mingw-i686.cmake
build_program win64 toolchain-mingw-x86_64.cmake
# Debug information stays in the build trees; the download carries none.
i686-w64-mingw32-strip -o "$stage/PictureConverter.exe" "$repo/build/win32/src/PictureConverter.exe"
x86_64-w64-mingw32-strip -o "$stage/PictureConverter-64.exe" "$repo/build/win64/src/PictureConverter.exe"
# Notepad on every Windows reads UTF-8 with a byte-order mark and CR LF.
{ printf '\xEF\xBB\xBF'; sed 's/$/\r/' packaging/readme-zh.txt; } >"$stage/README.txt"

# The licence of every library linked into the programs, as the sources the
# programs were built from state it: the fetched Debian source packages, and
# the MinGW-w64 packages' copyright files for zlib and the runtimes. Each
# becomes one text in licenses/, read in Notepad like the read-me.
deps_dir=$(sed -n 's/^PC_DEPS_DIR:[A-Z]*=//p' "$repo/build/win32/CMakeCache.txt" 2>/dev/null || true)
src=${deps_dir:-$repo/build/deps}/src
mkdir -p "$stage/licenses"
licenses=()
add_license() {  # name-in-the-zip text-file...
  local name=$1 text; shift
  for text in "$@"; do
    [ -s "$text" ] || { echo "[package] licence text for $name missing: $text" >&2; exit 1; }
  done
  {
    printf '\xEF\xBB\xBF'
    for text in "$@"; do
      if [ $# -gt 1 ]; then printf '==> %s <==\n\n' "$(basename "$text")"; fi
      cat "$text"
      echo
    done
  } | sed 's/\r$//; s/$/\r/' >"$stage/licenses/$name"
  licenses+=("licenses/$name")
}
add_license libjpeg-turbo.txt "$src"/libjpeg-turbo/libjpeg-turbo-*/LICENSE.md \
  "$src"/libjpeg-turbo/libjpeg-turbo-*/README.ijg
add_license libpng.txt "$src"/libpng1.6/libpng1.6-*/LICENSE
add_license libtiff.txt "$src"/tiff/tiff-*/LICENSE.md
add_license giflib.txt "$src"/giflib/giflib-*/COPYING
add_license zlib.txt /usr/share/doc/libz-mingw-w64/copyright
add_license libwebp.txt "$src"/libwebp/libwebp-*/COPYING "$src"/libwebp/libwebp-*/PATENTS
add_license libde265.txt "$src"/libde265/libde265-*/COPYING
add_license libheif.txt "$src"/libheif/libheif-*/COPYING
add_license dav1d.txt "$src"/dav1d/dav1d-*/COPYING
add_license mingw-w64-runtime-and-winpthreads.txt /usr/share/doc/mingw-w64-common/copyright
add_license gcc-runtime-libgcc-libstdc++.txt /usr/share/doc/gcc-mingw-w64-base/copyright

zip_file="$out/PictureConverter.zip"
rm -f "$zip_file"
(cd "$stage" && zip -q -X -r "$zip_file" PictureConverter.exe PictureConverter-64.exe README.txt licenses)
echo "[package] $zip_file:"
unzip -l "$zip_file"

[ -n "$check" ] || exit 0

# Every licence text is in the zip and not empty.
for name in "${licenses[@]}"; do
  size=$(unzip -p "$zip_file" "$name" 2>/dev/null | wc -c || true)
  if [ "$size" -le 3 ]; then
    echo "[package] the zip lacks $name" >&2
    exit 1
  fi
done
echo "[package] the zip holds all ${#licenses[@]} licence texts"

# Each program, as unpacked from the zip, starts and shows its main window.
unpacked="$out/unpacked"
rm -rf "$unpacked"
mkdir -p "$unpacked"
unzip -q "$zip_file" -d "$unpacked"
status=0
for arch in win32 win64; do
  case $arch in
    win32) exe="$unpacked/PictureConverter.exe" ;;
    win64) exe="$unpacked/PictureConverter-64.exe" ;;
  esac
  (
    export PC_WINE_ARCH=$arch WINEPREFIX="$repo/build/$arch/wineprefix"
    source scripts/wine-env.sh
    runnable=0
    pc_wine_runnable || runnable=$?
    if [ "$runnable" -eq 1 ]; then
      echo "[package] $(basename "$exe"): not runnable on this machine ($pc_wine_unrunnable_reason)"
      exit 0
    elif [ "$runnable" -ne 0 ]; then
      echo "[package] $(basename "$exe"): Wine does not start ($pc_wine_unrunnable_reason)" >&2
      exit 1
    fi
    pc_display_ready || exit 1
    pc_wine_prefix_ready || exit 1
    driver="$repo/build/$arch/tests/e2e/pcdriver.exe"
    wine "$exe" </dev/null >/dev/null 2>&1 &
    app=$!
    ok=
    # As a user sees it: the start-up box, then the main window.
    if wine "$driver" clickbox 信息： 1 30000 </dev/null >/dev/null 2>&1 &&
       wine "$driver" waitwin _QX_Form "" 10000 </dev/null >/dev/null 2>&1; then
      ok=1
      wine "$driver" closewin _QX_Form </dev/null >/dev/null 2>&1 || true
    fi
    for _ in $(seq 1 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    kill "$app" 2>/dev/null || true
    wineserver -k >/dev/null 2>&1 || true
    pc_display_stop
    if [ -n "$ok" ]; then
      echo "[package] $(basename "$exe") starts under $arch Wine"
    else
      echo "[package] $(basename "$exe") did not show its window under $arch Wine" >&2
      exit 1
    fi
  ) || status=1
done
exit "$status"
