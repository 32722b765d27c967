#!/usr/bin/env bash
# Takes docs/window.png: the transfer window during a download from a
# simulated computer, on a virtual X display (Xvfb).  Needs a built tree
# (scripts/build.sh); installs xvfb and imagemagick when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
for p in xvfb xauth imagemagick; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        SUDO=""
        [ "$(id -u)" -ne 0 ] && SUDO="sudo"
        $SUDO apt-get update
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends \
            xvfb xauth imagemagick
        break
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/shot.sh" <<INNER
#!/bin/bash
"$root/build/talvek-sim" --type 2 --dives 12 --seed 3 >"$work/port" &
sim=\$!
for _ in \$(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
"$root/build/talvek-dl" -p=\$(head -n 1 "$work/port") -f="$work/x.xml" -v=2 -um -dv=2 \
    -cdblog="$work/trace" &
dl=\$!
for _ in \$(seq 300); do grep -q "Downloading Dive 4" "$work/trace.txt" 2>/dev/null && break; sleep 0.1; done
import -window root "$work/root.png"
kill \$dl; wait \$dl || true
kill \$sim; wait \$sim || true
INNER
chmod +x "$work/shot.sh"
# The window (300 x 100) is centred on a 400 x 200 screen.
xvfb-run -a -s "-screen 0 400x200x24" "$work/shot.sh"
mkdir -p docs
convert "$work/root.png" -crop 300x100+50+50 +repage docs/window.png
echo "screenshot: docs/window.png"
