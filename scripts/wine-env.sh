# Shared Wine and display set-up, sourced by the other scripts.
# The ANSI code page comes from the locale's name: zh_CN.UTF-8 gives 936 (GBK).

pc_repo_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

export LC_ALL=zh_CN.UTF-8
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win32
export WINEPREFIX=${WINEPREFIX:-$pc_repo_dir/build/wineprefix}

# Creates the Wine prefix once. A lock keeps parallel callers from booting it
# twice; a marker file says the boot completed.
pc_wine_prefix_ready() {
  [ -f "$WINEPREFIX/.pc-ready" ] && return 0
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.pc-ready" ]; then
      echo "[wine] creating prefix $WINEPREFIX" >&2
      rm -rf "$WINEPREFIX"
      wineboot -i </dev/null >/dev/null 2>&1
      pc_wine_unmanaged_windows
      wineserver -w
      touch "$WINEPREFIX/.pc-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}

# Without a window manager, Wine waits about 2 s for one whenever a captioned
# window closes; windows it does not hand to a manager close at once.
pc_wine_unmanaged_windows() {
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
}

# Keeps one wineserver running for a whole test run, with its helper processes
# detached from any pipe, so each test does not pay for start-up and linger.
pc_wine_warm() {
  pc_wine_prefix_ready
  (wineserver -p; wine cmd /c exit) </dev/null >/dev/null 2>&1
}

pc_wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
}

# Starts a virtual X display when none is set. Sets pc_started_xvfb=1 then.
pc_display_ready() {
  pc_started_xvfb=
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    # Its own session: a Ctrl-C in the terminal must not end the display
    # under a running program (Xvfb exits on SIGINT).
    setsid Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    pc_xvfb_pid=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 50); do
      xdpyinfo >/dev/null 2>&1 && { pc_started_xvfb=1; return 0; }
      sleep 0.1
    done
    kill "$pc_xvfb_pid" 2>/dev/null || true
  done
  echo "could not start a virtual display (Xvfb)" >&2
  return 1
}

pc_display_stop() {
  if [ -n "${pc_started_xvfb:-}" ] && [ -n "${pc_xvfb_pid:-}" ]; then
    kill "$pc_xvfb_pid" 2>/dev/null || true
    wait "$pc_xvfb_pid" 2>/dev/null || true
  fi
}
