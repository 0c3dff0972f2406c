#!/usr/bin/env bash
# Runs a Windows program through Wine with the project's environment; ctest uses
# it as the cross-compiling emulator. The exit code passes through.
#   wine-run.sh [win32|win64] PROGRAM ARGS...   (the architecture defaults to
#   PC_WINE_ARCH, else win32)
case "${1:-}" in
  win32|win64) export PC_WINE_ARCH=$1; shift ;;
esac
source "$(dirname "$0")/wine-env.sh"
pc_wine_prefix_ready
exec "$pc_wine_loader" "$@"
