#!/usr/bin/env bash
# Takes the README's screenshots of the program under Wine: docs/window.png
# (the main window) and docs/summary.png (the summary after a batch of seven
# pictures). Windows get frames and caption buttons from a Wine virtual
# desktop, in a copy of the tree's prefix so the test prefix stays without
# one. Uses the 32-bit program where this machine can run it, else the 64-bit
# one. Run after the program is built (scripts/run.sh or scripts/test.sh).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
export PC_WINE_ARCH=win32
source scripts/wine-env.sh
pc_wine_runnable || export PC_WINE_ARCH=win64
tree="$repo/build/$PC_WINE_ARCH"
export WINEPREFIX="$repo/build/screenshots/wineprefix-$PC_WINE_ARCH"
source scripts/wine-env.sh
app="$tree/src/PictureConverter.exe"
driver="$tree/tests/e2e/pcdriver.exe"
[ -f "$app" ] && [ -f "$driver" ] || { echo "build the $PC_WINE_ARCH tree first" >&2; exit 1; }

pc_display_ready
pc_wine_prefix_ready
pc_wine_link_cjk_font
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1

pictures="$WINEPREFIX/drive_c/图片"
rm -rf "$pictures"
mkdir -p "$pictures"
for i in 1 2 3 4 5 6 7; do
  ppmpat -camo -randomseed=$i 640 480 2>/dev/null | pnmtopng >"$pictures/照片$i.png" 2>/dev/null
done

drv() { wine "$driver" "$@" </dev/null 2>/dev/null; }
# shoot NAME: the main window as it shows on the screen, frame included.
shoot() {
  local left top right bottom
  read -r left top right bottom < <(drv rect _QX_Form | tr -d '\r')
  import -display "$DISPLAY" -window root -crop "$((right - left))x$((bottom - top))+$left+$top" \
    +repage "docs/$1.png"
  echo "[screenshots] docs/$1.png"
}

wine "$app" </dev/null >/dev/null 2>&1 &
app_pid=$!
trap 'kill $app_pid 2>/dev/null; wineserver -k; pc_display_stop' EXIT
drv clickbox 信息： 1 30000
drv waitwin _QX_Form 10000 >/dev/null
sleep 1
shoot window

drv setcombo 0x16010004 2
drv clickctl 0x16010003
drv browse 'C:\图片' 15000
drv boxtext 信息： 60000 >/dev/null
# The output folder opens in a file browser window over the program.
drv waitwin ExplorerWClass 5000 >/dev/null && while drv closewin ExplorerWClass >/dev/null; do sleep 0.3; done
sleep 1
shoot summary
drv clickbox 信息：
drv closewin _QX_Form >/dev/null
wait "$app_pid" || true
