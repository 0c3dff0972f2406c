#!/usr/bin/env bash
# Shows the main window through the probe program, photographs the whole
# display with ImageMagick's import and closes the window again.
#   screenshot.sh PROBE.exe OUTPUT.png
# Exits 77 (skipped) when there is no display or no import.
set -euo pipefail
probe=$1
output=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../../scripts/wine-env.sh"

if ! command -v import >/dev/null || [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  echo "no display or no import: screenshot skipped" >&2
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
log=$work/probe.log
flag=$work/close.flag
pc_wine_prefix_ready
pc_wine_link_cjk_font
wine "$probe" screenshot "Z:${log//\//\\}" "Z:${flag//\//\\}" </dev/null >/dev/null 2>&1 &
wine_pid=$!

for _ in $(seq 1 300); do
  grep -qx ready "$log" 2>/dev/null && break
  sleep 0.1
done
if ! grep -qx ready "$log" 2>/dev/null; then
  echo "the probe did not show its window" >&2
  kill "$wine_pid" 2>/dev/null || true
  exit 1
fi
sleep 1  # let the window paint
rm -f "$output"
import -display "$DISPLAY" -window root "$output"
touch "$flag"
wait "$wine_pid" || true
test -s "$output"
echo "screenshot: $output"
