#!/usr/bin/env bash
# Builds every tree and runs every test:
#   native       host gcc: the portable code and its tests
#   native-asan  the same under AddressSanitizer and UndefinedBehaviorSanitizer
#   win32        MinGW-w64 i686: the program, the portable tests again and the
#                Windows tests, all run through 32-bit Wine on a virtual display
#   win64        the same for x86_64, run through 64-bit Wine
# and then the package command, which starts each program from the zip.
# Both Windows trees are always built. Each is tested under the Wine that runs
# it; a tree whose programs this machine cannot execute at all (some machines
# cannot run 32-bit programs) is reported as not runnable, with the reason,
# and is not a failure. Everything else that goes wrong fails the command.
# The summary at the end names every tree, what ran and the counts.
set -uo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
bash scripts/setup.sh || exit 1

jobs=$(nproc)
build="$repo/build"
failed=()
summaries=()
started=$(date +%s)

# Runs ctest in one tree, keeping its closing summary for the end. Under Wine
# a test now and then dies of Wine itself ("wine client error", a program
# that never starts), so in the Windows trees a failed test runs once more;
# the summary names every test that needed the second run, and a test that
# fails twice fails the tree.
run_ctest() {
  local tree=$1; shift
  local out="$build/$tree/ctest.log"
  local began=$(date +%s)
  local again=()
  case "$tree" in win32|win64) again=(--repeat until-pass:2) ;; esac
  (cd "$build/$tree" && ctest --output-on-failure "${again[@]}" "$@") 2>&1 | tee "$out"
  local rc=${PIPESTATUS[0]}
  local counts retried
  counts=$(grep -E 'tests passed|tests failed' "$out" | tail -n 1)
  retried=$(grep -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .*\*\*\*(Failed|Exception|Timeout)' "$out" |
    sed -E 's/^.*Test +#[0-9]+: ([^ ]+) .*$/\1/' | sort -u | paste -sd ' ' -)
  [ -n "$retried" ] && counts+="; run again after a failure: $retried"
  summaries+=("$tree: ran, ${counts:-no ctest summary} ($(($(date +%s) - began)) s)")
  [ "$rc" -eq 0 ] || failed+=("$tree tests")
}

configure_and_build() {
  local tree=$1; shift
  echo "=== building $tree"
  if ! cmake -S "$repo" -B "$build/$tree" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >"$build/$tree.configure.log" 2>&1; then
    cat "$build/$tree.configure.log"
    failed+=("$tree configure")
    summaries+=("$tree: configure failed")
    return 1
  fi
  if ! cmake --build "$build/$tree" -j "$jobs" >"$build/$tree.build.log" 2>&1; then
    grep -E -B2 -A8 'error|Error' "$build/$tree.build.log" | head -n 80
    failed+=("$tree build")
    summaries+=("$tree: build failed")
    return 1
  fi
}

# Builds one Windows tree and runs its tests under the Wine for its
# architecture, in the tree's own prefix.
windows_tree() {
  local tree=$1 toolchain=$2
  configure_and_build "$tree" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/$toolchain" || return
  export PC_WINE_ARCH=$tree
  export WINEPREFIX="$build/$tree/wineprefix"
  source scripts/wine-env.sh
  local runnable=0
  pc_wine_runnable || runnable=$?
  if [ "$runnable" -eq 1 ]; then
    echo "=== $tree: not runnable on this machine ($pc_wine_unrunnable_reason)"
    summaries+=("$tree: built; not runnable on this machine ($pc_wine_unrunnable_reason)")
    return
  elif [ "$runnable" -ne 0 ]; then
    echo "=== $tree: Wine does not start ($pc_wine_unrunnable_reason)"
    failed+=("$tree wine")
    summaries+=("$tree: built; Wine does not start ($pc_wine_unrunnable_reason)")
    return
  fi
  echo "=== testing $tree under Wine ($pc_wine_loader)"
  if ! pc_display_ready; then
    failed+=("$tree display")
    summaries+=("$tree: no virtual display")
    return
  fi
  [ -n "$pc_started_xvfb" ] && echo "[wine] started a virtual display $DISPLAY"
  if pc_wine_warm; then
    run_ctest "$tree" -j "$jobs"
  else
    failed+=("$tree wine")
    summaries+=("$tree: Wine did not boot in $WINEPREFIX")
  fi
  pc_wine_stop
  pc_display_stop
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

# Each Windows tree runs with the display the caller had (or a new one).
caller_display=${DISPLAY:-}
for tree in win32 win64; do
  case $tree in
    win32) toolchain=toolchain-mingw-i686.cmake ;;
    win64) toolchain=toolchain-mingw-x86_64.cmake ;;
  esac
  if [ -n "$caller_display" ]; then export DISPLAY=$caller_display; else unset DISPLAY; fi
  windows_tree "$tree" "$toolchain"
done

# The download: both programs in one zip, each started from it.
if [ -n "$caller_display" ]; then export DISPLAY=$caller_display; else unset DISPLAY; fi
echo "=== package"
if bash scripts/package.sh --check >"$build/package.log" 2>&1; then
  summaries+=("package: $(grep -E '^\[package\] .*(starts|not runnable)' "$build/package.log" | sed 's/^\[package\] //' | paste -sd ';' -)")
else
  tail -n 30 "$build/package.log"
  failed+=("package")
  summaries+=("package: failed (build/package.log)")
fi

echo
echo "=== summary ($(($(date +%s) - started)) s in all)"
for s in "${summaries[@]}"; do echo "$s"; done
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all trees built; every tree that this machine can run passed"
