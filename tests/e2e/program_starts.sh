#!/usr/bin/env bash
# The program starts as a user sees it: the start-up message box, then the
# main window; closing the main window ends the program with exit code 0 (the
# runtime's hidden owner window exists all the while).
#   program_starts.sh PictureConverter.exe pcdriver.exe
set -u
app=$1
driver=$2
source "$(dirname "$0")/../../scripts/wine-env.sh"
pc_display_ready || exit 1
pc_wine_prefix_ready

work=$(mktemp -d)
app_pid=
cleanup() {
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
    kill "$app_pid" 2>/dev/null
    wait "$app_pid" 2>/dev/null
  fi
  rm -rf "$work"
  pc_display_stop
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  [ -s "$work/app.log" ] && sed 's/^/  app: /' "$work/app.log" >&2
  exit 1
}

wine "$app" </dev/null >"$work/app.log" 2>&1 &
app_pid=$!

found=$(wine "$driver" waitwin _QX_HideOwner 20000 </dev/null 2>"$work/driver.log") ||
  fail "no _QX_HideOwner window appeared: $(cat "$work/driver.log")"
echo "hidden owner window: $found"

box_text=$(wine "$driver" boxtext 信息： 30000 </dev/null 2>"$work/driver.log" | tr -d '\r') ||
  fail "no start-up message box: $(cat "$work/driver.log")"
[ "$box_text" = "支持图片文件拖入直接转换" ] || fail "start-up box text: $box_text"
wine "$driver" clickbox 信息： </dev/null >/dev/null 2>"$work/driver.log" ||
  fail "closing the start-up box failed: $(cat "$work/driver.log")"

wine "$driver" waitwin _QX_Form 10000 </dev/null >/dev/null 2>"$work/driver.log" ||
  fail "no main window: $(cat "$work/driver.log")"
wine "$driver" closewin _QX_Form </dev/null >/dev/null 2>"$work/driver.log" ||
  fail "closewin failed: $(cat "$work/driver.log")"

# Wait up to 20 s for the program to end.
for _ in $(seq 1 200); do
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$app_pid" 2>/dev/null && fail "the program did not end after its main window was closed"
wait "$app_pid"
status=$?
app_pid=
[ "$status" -eq 0 ] || fail "exit code $status, expected 0"
echo "PASS: the program ended with exit code 0"
