#!/usr/bin/env bash
# Runs one reader's libFuzzer target for a while (clang, ASan and UBSan).
#   scripts/fuzz.sh TARGET [SECONDS]     e.g. scripts/fuzz.sh png 300
# TARGET is the name before _fuzzer.cpp in tests/fuzz. The corpus grows in
# build/fuzz/corpus/TARGET (seeded with tests/fuzz/make_seeds.sh); crash files
# land in build/fuzz/crashes/TARGET: copy one into tests/fuzz/regressions/TARGET
# to keep it as an ordinary test.
set -euo pipefail
target=${1:?usage: scripts/fuzz.sh TARGET [SECONDS]}
seconds=${2:-60}
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
bash scripts/setup.sh

tree="$repo/build/fuzz"
CC=clang CXX=clang++ cmake -S "$repo" -B "$tree" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPC_FUZZ=ON >"$tree.configure.log" 2>&1 ||
  { cat "$tree.configure.log"; exit 1; }
cmake --build "$tree" -j "$(nproc)" --target "${target}_fuzzer"

corpus="$tree/corpus/$target"
crashes="$tree/crashes/$target"
if [ ! -d "$corpus" ]; then
  bash tests/fuzz/make_seeds.sh "$tree/seeds" >/dev/null
  mkdir -p "$corpus"
  cp "$tree/seeds/$target"/* "$corpus"/ 2>/dev/null || true
fi
mkdir -p "$crashes"
regressions="tests/fuzz/regressions/$target"
extra=()
[ -d "$regressions" ] && extra+=("$regressions")
"$tree/tests/fuzz/${target}_fuzzer" -max_total_time="$seconds" -max_len=1048576 -rss_limit_mb=2048 \
  -artifact_prefix="$crashes/" "$corpus" "${extra[@]}"
