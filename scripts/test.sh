#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test.
# Usage: scripts/test.sh [--sanitize | --windows]
#   --sanitize  the same tests built with ASan and UBSan (tree build-asan)
#   --windows   the Windows build (build-win, scripts/build-windows.sh): its
#               unit tests under Wine and the end-to-end runs against the
#               Linux build's talvek-sim and talvek-dl (built first if missing)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
if [ "${1:-}" = "--windows" ]; then
  [ -x build/talvek-sim ] && [ -x build/talvek-dl ] || scripts/build.sh build
  # A prefix of this tree's own, made afresh with it.
  export WINEPREFIX="$PWD/build-win/wine"
  # One wine server for the whole run, ended here: nothing of Wine outlives it.
  export TALVEK_WINESERVER_KEEP=1
  trap 'wineserver -k 2>/dev/null || true' EXIT
  scripts/build-windows.sh -DTALVEK_LINUX_BUILD="$PWD/build"
  # A test that fails is run once more: Wine now and then fails to start a
  # program at all (no output, a few hundredths of a second); a fault of
  # ours fails both times, and the Linux trees run every test without this.
  ctest --test-dir build-win --output-on-failure -j"$(nproc)" --repeat until-pass:2
  exit
fi
dir=build
# A tree made by scripts/package.sh leaves the tests out: this one never does.
args=(-DTALVEK_TESTS=ON)
# Most of the long tests wait on a real line rather than compute, so twice as
# many run at once as there are cores; the sanitizer tree computes more.
jobs=$(( $(nproc) * 2 ))
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  args+=(-DTALVEK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  jobs=$(nproc)
fi
scripts/build.sh "$dir" "${args[@]}"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$dir" --output-on-failure -j"$jobs"
