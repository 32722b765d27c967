#!/usr/bin/env bash
# Downloads a full type 2 memory and a typical one (30 dives) from a paced
# simulated computer on a pseudo-terminal, on the real clock, and prints wall
# time, device exchanges, bytes on the wire and the protocol floor.
# Takes about four minutes.  Usage: bench/ring_download.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-bench}
scripts/build.sh "$dir" -DTALVEK_BENCH=ON -DTALVEK_GUI=OFF >/dev/null
bin="$dir/bench/talvek_bench_ring_download"
"$bin" --type 2 --full
"$bin" --type 2 --dives 30
