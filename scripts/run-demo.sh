#!/usr/bin/env bash
# The main job on a simulated computer: sets up what is missing, builds,
# serves a type 2 computer with a handful of dives on a pseudo-terminal
# (talvek-sim), downloads it with talvek-dl as DCDML in metric units with an
# HTML report, and shows where the files are and what the XML holds.
# Usage: scripts/run-demo.sh [DIVES]      (default 5; every dive adds a few seconds)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dives=${1:-5}

scripts/setup.sh
echo "demo: building (build/) ..."
scripts/build.sh build >/tmp/talvek-demo-build.log 2>&1 || {
    tail -n 30 /tmp/talvek-demo-build.log
    exit 1
}

work=$PWD/demo
mkdir -p "$work"
out=$work/dives.xml
report=$work/dives.html
rm -f "$out" "$report" "$work/port"

build/talvek-sim --type 2 --dives "$dives" --seed 3 >"$work/port" 2>"$work/sim.log" &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    [ -s "$work/port" ] && break
    sleep 0.1
done
port=$(head -n 1 "$work/port")
if [ -z "$port" ]; then
    echo "demo: talvek-sim did not start:" >&2
    cat "$work/sim.log" >&2
    exit 1
fi
echo "demo: simulated type 2 computer with $dives dives on $port"

start=$(date +%s%N)
status=0
(cd "$work" && "$root/build/talvek-dl" -p="$port" -f="$out" -v=2 -um -report="$report" \
    -cdblog=trace) || status=$?
end=$(date +%s%N)

echo
ms=$(((end - start) / 1000000))
echo "talvek-dl exit status: $status   ($((ms / 1000)).$((ms % 1000 / 100)) s)"
echo "trace: $work/trace.txt"
if [ -f "$report" ]; then echo "report: $report (open it in a browser)"; fi
if [ -f "$out" ]; then
    echo "file:  $out ($(wc -c <"$out") bytes, $(grep -o '<dive ' "$out" | wc -l) dives)"
    echo
    head -n 14 "$out"
    echo "..."
fi
exit "$status"
