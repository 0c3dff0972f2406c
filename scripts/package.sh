#!/usr/bin/env bash
# Builds the download for Windows users: one zip holding the 32-bit program
# (the product for every Windows), the 64-bit program (for very large
# pictures) and a short read-me in Chinese.
#   package.sh [--check]
# The zip is left in build/package/PictureConverter.zip. With --check, each
# program is taken back out of the zip and started under the Wine that runs
# it, until its main window shows; a program this machine cannot run at all
# is reported and skipped.
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

zip_file="$out/PictureConverter.zip"
rm -f "$zip_file"
(cd "$stage" && zip -q -X "$zip_file" PictureConverter.exe PictureConverter-64.exe README.txt)
echo "[package] $zip_file:"
unzip -l "$zip_file"

[ -n "$check" ] || exit 0

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
