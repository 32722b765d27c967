#!/usr/bin/env bash
# Downloads a full type 2 memory and a typical one (30 dives) from a paced
# simulated computer on a pseudo-terminal, on the real clock, and prints wall
# time, device exchanges, bytes on the wire and the protocol floor (the
# prescribed pauses plus the computer's bytes, echo included, at 10 bits a
# byte) with their ratio.  First through the library (the drivers alone),
# then, when it is built, through the application talvek-dl against
# talvek-sim --pace.  Takes about ten minutes.
# Usage: bench/ring_download.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-bench}
scripts/build.sh "$dir" -DTALVEK_BENCH=ON >/dev/null
bin="$dir/bench/talvek_bench_ring_download"

echo "== through the library"
"$bin" --type 2 --full
"$bin" --type 2 --dives 30

[ -x "$dir/talvek-dl" ] && [ -x "$dir/talvek-sim" ] || exit 0

# One application run; the simulator's frame log gives the exchanges.
app_run() {
    local label=$1
    shift
    local work
    work=$(mktemp -d)
    "$dir/talvek-sim" --type 2 --pace --verbose "$@" >"$work/port" 2>"$work/sim.log" &
    local sim=$!
    for _ in $(seq 100); do
        [ -s "$work/port" ] && break
        sleep 0.1
    done
    local port
    port=$(head -n 1 "$work/port")
    local start end status=0
    start=$(date +%s%N)
    (cd "$work" && QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
        "$OLDPWD/$dir/talvek-dl" -p="$port" -f="$work/out.xml" -v=2 -um) || status=$?
    end=$(date +%s%N)
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
    echo "type 2, $label: talvek-dl exit status $status, $(grep -o '<dive ' "$work/out.xml" 2>/dev/null | wc -l) dives"
    awk -v wall=$(((end - start) / 1000000)) '
        $2 == "host" && $3 == ">" {
            n = NF - 3; frames++; hostBytes += n
            if ($4 == "0F") { ids++; if (!first) first = $1 }
            if ($4 == "05") reads++
        }
        $2 == "sim" && $3 == "<" { replies++; replyBytes += NF - 3; last = $1; lastBytes = NF - 3 }
        END {
            device = replyBytes + hostBytes          # the cable echoes every host byte
            floor = 500 * reads + 100 * ids + 16 * frames + device * 10000 / 9600
            span = last + lastBytes * 10000 / 9600 - first
            printf "  wall time          %10d ms (of which before the first type 2 frame %d ms)\n", wall, first
            printf "  device exchanges   %10d (%d identity, %d reads)\n", replies, ids, reads
            printf "  bytes on the wire  %10d (host %d, computer %d incl. echo)\n", hostBytes + device, hostBytes, device
            printf "  protocol floor     %10.0f ms\n", floor
            printf "  download span      %10.0f ms (first identity to last reply), ratio %.3f\n", span, span / floor
            printf "  after the last reply %8.0f ms (window pauses 1000 + 1500 and exit)\n", wall - first - span
        }' "$work/sim.log"
    rm -rf "$work"
}

echo "== through the application"
app_run "full memory" --fill --seed 1
app_run "typical" --dives 30 --seed 1
