#!/usr/bin/env bash
# Takes docs/report.png: the report of a download from a simulated type 2
# computer (talvek-sim, five dives) by talvek-dl with -report, rendered by
# headless Chromium.  Needs a built tree (scripts/build.sh) and chromium
# (scripts/setup.sh installs it).  Takes about 20 s: the download is real.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$(mktemp -d)
sim=""
cleanup() {
    if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

build/talvek-sim --type 2 --dives 5 --seed 3 >"$work/port" 2>"$work/sim.log" &
sim=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -n 1 "$work/port")
(cd "$work" && QT_QPA_PLATFORM=offscreen "$root/build/talvek-dl" -p="$port" -f=dives.xml \
    -v=2 -um -dv=2 -report=dives.html -cdblog=trace)

chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/profile" --hide-scrollbars --force-device-scale-factor=1 \
    --window-size=1000,1150 --screenshot="$work/report.png" "file://$work/dives.html" \
    2>"$work/chromium.log"
mkdir -p docs
cp "$work/report.png" docs/report.png
echo "screenshot: docs/report.png"
