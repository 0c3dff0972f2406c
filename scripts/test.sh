#!/usr/bin/env bash
# Builds every tree and runs every test:
#   native       host gcc: the portable code and its tests
#   native-asan  the same under AddressSanitizer and UndefinedBehaviorSanitizer
#   win32        MinGW-w64 i686: the program, the portable tests again and the
#                Windows tests, all run through Wine on a virtual display
# Each tree's ctest summary is printed; the exit status is non-zero when any
# tree failed to build or any test failed.
set -uo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
bash scripts/setup.sh || exit 1

jobs=$(nproc)
build="$repo/build"
failed=()
summaries=()

# Runs ctest in one tree, keeping its closing summary for the end.
run_ctest() {
  local tree=$1; shift
  local out="$build/$tree/ctest.log"
  (cd "$build/$tree" && ctest --output-on-failure "$@") 2>&1 | tee "$out"
  local rc=${PIPESTATUS[0]}
  summaries+=("$tree: $(grep -E 'tests passed|tests failed' "$out" | tail -n 1)")
  [ "$rc" -eq 0 ] || failed+=("$tree tests")
}

configure_and_build() {
  local tree=$1; shift
  echo "=== building $tree"
  if ! cmake -S "$repo" -B "$build/$tree" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >"$build/$tree.configure.log" 2>&1; then
    cat "$build/$tree.configure.log"
    failed+=("$tree configure")
    return 1
  fi
  if ! cmake --build "$build/$tree" -j "$jobs" >"$build/$tree.build.log" 2>&1; then
    grep -E -B2 -A8 'error|Error' "$build/$tree.build.log" | head -n 80
    failed+=("$tree build")
    return 1
  fi
}

mkdir -p "$build"

if configure_and_build native; then
  echo "=== testing native"
  run_ctest native -j "$jobs"
fi

if configure_and_build native-asan -DPC_SANITIZE=ON; then
  echo "=== testing native-asan"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_ctest native-asan -j "$jobs"
fi

if configure_and_build win32 -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-mingw-i686.cmake"; then
  echo "=== testing win32 under Wine"
  # The tree's own Wine prefix, created on first use.
  export WINEPREFIX="$build/win32/wineprefix"
  source scripts/wine-env.sh
  if pc_display_ready; then
    [ -n "$pc_started_xvfb" ] && echo "[wine] started a virtual display $DISPLAY"
    pc_wine_warm
    run_ctest win32 -j "$jobs"
    pc_wine_stop
    pc_display_stop
  else
    failed+=("win32 display")
  fi
fi

echo
echo "=== summary"
for s in "${summaries[@]}"; do echo "$s"; done
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all trees built and passed"
