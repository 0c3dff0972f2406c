#!/usr/bin/env bash
# Runs a Windows program through Wine with the project's environment; ctest uses
# it as the cross-compiling emulator. The exit code passes through.
source "$(dirname "$0")/wine-env.sh"
pc_wine_prefix_ready
exec wine "$@"
