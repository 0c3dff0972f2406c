# Shared Wine and display set-up, sourced by the other scripts.
# The ANSI code page comes from the locale's name: zh_CN.UTF-8 gives 936 (GBK),
# the default; PC_WINE_LOCALE=en_US.UTF-8 gives a Western one (1252).
#
# PC_WINE_ARCH says which Wine: win32 (the default) runs the 32-bit programs
# through the 32-bit loader, win64 the 64-bit programs through the 64-bit
# loader, each in a prefix of its own (build/<arch>/wineprefix unless
# WINEPREFIX is set). The loaders are called directly: /usr/bin/wine picks the
# 32-bit one whenever its file exists, even on machines that cannot run it.
# scripts/wine-bin, put first on PATH, makes `wine` and `wineboot` call the
# chosen loader.

pc_repo_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

export PC_WINE_ARCH=${PC_WINE_ARCH:-win32}
# PC_WINE32_LOADER / PC_WINE64_LOADER name another loader (a Wine installed
# elsewhere, or a stand-in that cannot run, to try the test command's path
# for machines without 32-bit support).
case "$PC_WINE_ARCH" in
  win32) pc_wine_loader=${PC_WINE32_LOADER:-/usr/lib/wine/wine} ;;
  win64) pc_wine_loader=${PC_WINE64_LOADER:-/usr/lib/wine/wine64} ;;
  *) echo "PC_WINE_ARCH must be win32 or win64, not '$PC_WINE_ARCH'" >&2; return 2 2>/dev/null || exit 2 ;;
esac
export LC_ALL=${PC_WINE_LOCALE:-zh_CN.UTF-8}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=$PC_WINE_ARCH
export WINELOADER=$pc_wine_loader
export WINEPREFIX=${WINEPREFIX:-$pc_repo_dir/build/$PC_WINE_ARCH/wineprefix}

case ":$PATH:" in
  *":$pc_repo_dir/scripts/wine-bin:"*) ;;
  *) export PATH="$pc_repo_dir/scripts/wine-bin:$PATH" ;;
esac

# Whether this machine can execute the chosen loader at all. Some machines
# cannot run 32-bit programs ("Exec format error"); the answer comes from
# running the loader, never from looking for its file. 0: it runs; 1: the
# machine cannot execute it (exit 126); 2: anything else (a missing loader,
# a loader that fails). The reason is left in pc_wine_unrunnable_reason.
pc_wine_runnable() {
  local out rc
  # In the C locale, so that the shell's own reason reads the same everywhere.
  out=$(export LC_ALL=C; "$pc_wine_loader" --version 2>&1 </dev/null)
  rc=$?
  pc_wine_unrunnable_reason=
  [ "$rc" -eq 0 ] && return 0
  # The last part of the last line: the system's reason ("Exec format error").
  pc_wine_unrunnable_reason="$pc_wine_loader: $(echo "$out" | tail -n 1 | sed 's/.*: //') (exit $rc)"
  [ "$rc" -eq 126 ] && return 1
  return 2
}

# Creates the Wine prefix once. A lock keeps parallel callers from booting it
# twice; a marker file says the boot completed. Fails when Wine does not boot.
pc_wine_prefix_ready() {
  [ -f "$WINEPREFIX/.pc-ready" ] && return 0
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.pc-ready" ]; then
      echo "[wine] creating $PC_WINE_ARCH prefix $WINEPREFIX" >&2
      rm -rf "$WINEPREFIX"
      if ! wineboot -i </dev/null >"$WINEPREFIX.boot.log" 2>&1; then
        echo "[wine] wineboot failed in $WINEPREFIX:" >&2
        tail -n 20 "$WINEPREFIX.boot.log" >&2
        exit 1
      fi
      pc_wine_unmanaged_windows
      pc_wine_caption_font
      wineserver -w
      touch "$WINEPREFIX/.pc-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}

# Caption buttons are drawn with Marlett. This Wine does not load it from its
# own data folder (fonts-wine), so the buttons would read "0 1 r"; a copy in
# the prefix's Fonts folder is found. Only Marlett: other fonts would change
# how the program's texts measure.
pc_wine_caption_font() {
  local marlett=/usr/share/wine/fonts/marlett.ttf
  [ -f "$marlett" ] && cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
  return 0
}

# Without a window manager, Wine waits about 2 s for one whenever a captioned
# window closes; windows it does not hand to a manager close at once.
pc_wine_unmanaged_windows() {
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
}

# Windows links East Asian fonts to the dialog font (Tahoma), so Chinese texts
# show under any code page; Wine links fonts it does not have. This links the
# installed CJK font instead, for pictures of the windows. Wine rewrites the
# links when the code page changes, so it is called before each picture,
# after Wine has started in the chosen locale.
pc_wine_link_cjk_font() {
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v Tahoma /t REG_MULTI_SZ /f \
    /d 'wqy-microhei.ttc,WenQuanYi Micro Hei\0SIMSUN.TTC,SimSun\0GULIM.TTC,Gulim\0MSGOTHIC.TTC,MS UI Gothic' \
    </dev/null >/dev/null 2>&1 || true
}

# Keeps one wineserver running for a whole test run, with its helper processes
# detached from any pipe, so each test does not pay for start-up and linger.
pc_wine_warm() {
  pc_wine_prefix_ready || return 1
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
