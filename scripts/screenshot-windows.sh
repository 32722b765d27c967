#!/usr/bin/env bash
# Takes docs/window-win.png: the Windows program's transfer window during a
# download from a simulated computer, under Wine on a virtual X display.
# Wine's own desktop (explorer /desktop=...) draws the title bar.  Needs the
# Linux build (build/, for talvek-sim) and the Windows build (build-win/).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
command -v import >/dev/null || {
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends imagemagick
}
export WINEPREFIX=${WINEPREFIX:-$root/build-win/wine}
export WINEDEBUG=-all
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
    rm -f "$WINEPREFIX/dosdevices/com9"
    rm -rf "$work"
}
trap cleanup EXIT
cmake/wine-run.sh cmd /c exit 0 </dev/null >/dev/null 2>&1 || true

Xvfb :239 -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=:239
for _ in $(seq 100); do [ -S /tmp/.X11-unix/X239 ] && break; sleep 0.1; done
build/talvek-sim --type 2 --dives 12 --seed 3 --link "$WINEPREFIX/dosdevices/com9" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "$WINEPREFIX/dosdevices/com9" ] && break; sleep 0.1; done
mkdir -p "$work/talvek-dl"
# The window (300 x 100) is centred on a 400 x 200 Wine desktop.
(cd "$work" && exec "$root/cmake/wine-run.sh" explorer /desktop=talvek,400x200 \
    "$root/build-win/talvek-dl.exe" -p=COM9 -f=x.xml -v=2 -um -dv=2 </dev/null >/dev/null 2>&1) &
pids+=($!)
for _ in $(seq 300); do
    grep -q "Downloading Dive 4" "$work/talvek-dl/CDBLOG.txt" 2>/dev/null && break
    sleep 0.1
done
sleep 0.3
import -window root "$work/root.png"
mkdir -p docs
# The Wine desktop is the screen's top left 400 x 200; the window in its middle.
convert "$work/root.png" -crop 300x100+50+50 +repage docs/window-win.png
echo "screenshot: docs/window-win.png"
