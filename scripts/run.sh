#!/usr/bin/env bash
# Builds the Windows program and starts it under Wine: the 32-bit program
# where this machine can run it, else the 64-bit one.
# Without a display it starts a virtual one (Xvfb) and says so. Once the
# program is up, a screenshot of the screen is left in build/screenshots/.
# The script returns when the program ends; Ctrl-C closes the program first.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
bash scripts/setup.sh

# The 32-bit program, the product for every Windows, where this machine can
# run 32-bit programs; else the 64-bit one.
export PC_WINE_ARCH=win32
source scripts/wine-env.sh
if pc_wine_runnable; then
  echo "[run] starting the 32-bit program (win32)"
  toolchain=toolchain-mingw-i686.cmake
else
  echo "[run] this machine cannot run 32-bit programs ($pc_wine_unrunnable_reason);" \
    "starting the 64-bit program (win64) instead"
  export PC_WINE_ARCH=win64
  toolchain=toolchain-mingw-x86_64.cmake
fi
tree="$repo/build/$PC_WINE_ARCH"
export WINEPREFIX="$tree/wineprefix"
source scripts/wine-env.sh

echo "[run] building the program"
cmake -S "$repo" -B "$tree" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/$toolchain" >"$repo/build/run.configure.log" 2>&1 ||
  { cat "$repo/build/run.configure.log"; exit 1; }
cmake --build "$tree" -j "$(nproc)" --target PictureConverter pcdriver >"$repo/build/run.build.log" 2>&1 ||
  { tail -n 60 "$repo/build/run.build.log"; exit 1; }

exe="$tree/src/PictureConverter.exe"
driver="$tree/tests/e2e/pcdriver.exe"
# The window that shows the program is up: its main window.
ready_class=_QX_Form

pc_display_ready
if [ -n "$pc_started_xvfb" ]; then
  echo "[run] no display was set: started a virtual display $DISPLAY (Xvfb)"
fi
pc_wine_prefix_ready

echo "[run] starting $exe under Wine"
# A session of its own keeps a Ctrl-C in the terminal from reaching Wine;
# the trap below closes the program instead.
setsid "$pc_wine_loader" "$exe" </dev/null >/dev/null 2>&1 &
app=$!

close_program() {
  echo "[run] closing the program"
  wine "$driver" closewin "$ready_class" >/dev/null 2>&1 || true
}
trap 'close_program' INT TERM

if wine "$driver" waitwin "$ready_class" "" 20000 >/dev/null 2>&1; then
  mkdir -p "$repo/build/screenshots"
  shot="$repo/build/screenshots/run.png"
  sleep 1
  import -display "$DISPLAY" -window root "$shot" && echo "[run] screenshot: $shot"
  echo "[run] the program is running (pid $app); close its window or press Ctrl-C to end it"
else
  echo "[run] the program did not show its window within 20 s" >&2
fi

# A trapped Ctrl-C interrupts wait; wait again until the program has gone,
# then once more for its exit status, which the shell keeps.
while kill -0 "$app" 2>/dev/null; do
  wait "$app" 2>/dev/null || true
done
rc=0
wait "$app" || rc=$?
echo "[run] the program ended with exit code $rc"
pc_wine_stop
pc_display_stop
exit "$rc"
