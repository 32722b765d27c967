#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test.
# Usage: scripts/test.sh [--sanitize]   (the sanitizer tree is build-asan)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
dir=build
args=()
# Most of the long tests wait on a real line rather than compute, so twice as
# many run at once as there are cores; the sanitizer tree computes more.
jobs=$(( $(nproc) * 2 ))
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  args=(-DTALVEK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  jobs=$(nproc)
fi
scripts/build.sh "$dir" "${args[@]}"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$dir" --output-on-failure -j"$jobs"
