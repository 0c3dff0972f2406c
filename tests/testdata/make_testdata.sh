#!/usr/bin/env bash
# Makes the pictures the tests read, written at test time by other programs
# (Debian's ImageMagick, netpbm, libjpeg-turbo and libtiff tools); nothing of it
# is committed. Runs every make_*.sh beside this script with the output folder.
#   make_testdata.sh OUT_DIR
set -euo pipefail
out=${1:?usage: make_testdata.sh OUT_DIR}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
stamp="$out/.made"
# Regenerate only when a generator changed since the last run.
if [ -f "$stamp" ] && [ -z "$(find "$here" -name 'make_*.sh' -newer "$stamp")" ]; then
  exit 0
fi
for script in "$here"/make_*.sh; do
  [ "$(basename "$script")" = make_testdata.sh ] && continue
  bash "$script" "$out"
done
touch "$stamp"
