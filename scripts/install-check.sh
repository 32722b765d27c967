#!/usr/bin/env bash
# CI: builds the Debian package, installs it on this machine with apt, and
# runs the installed program: --version, the manual page, and downloads from
# the installed simulator in DCDML and UDDF, each file checked with xmllint.
# Removes the package again at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# The tree the tests ran on, so the package holds the tested build (and CI
# builds nothing more for it).
deb=$(scripts/package.sh build | tail -1)
echo "install-check: installing $deb"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "$root/$deb"
if ! dpkg-query -W -f='${Status}' groff-base 2>/dev/null | grep -q "install ok installed"; then
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends groff-base
fi

work=$(mktemp -d)
sim_pid=""
cleanup() {
  cd "$root"
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove -y talvek-dl >/dev/null || true
}
trap cleanup EXIT

test -x /usr/bin/talvek-dl && test -x /usr/bin/talvek-sim
test -f /usr/share/doc/talvek-dl/README.md
version=$(/usr/bin/talvek-dl --version)
echo "install-check: $version"
[[ "$version" == "Talvek XML Downloader "* ]]

# The manual page renders without a warning.
page=/usr/share/man/man1/talvek-dl.1
warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
if [ -n "$warnings" ]; then echo "$warnings"; exit 1; fi
rendered=$(groff -man -Tutf8 -P-cbou "$page")
grep -q "^EXIT STATUS" <<<"$rendered"

cd "$work"
/usr/bin/talvek-sim --type 2 --dives 2 --link "$work/dc2" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do [ -e "$work/dc2" ] && break; sleep 0.1; done
/usr/bin/talvek-dl -p="$work/dc2" -f="$work/dives.xml" -v=2 -um -dv=2
/usr/bin/talvek-dl -p="$work/dc2" -f="$work/dives.uddf" -uddf -dv=2
xmllint --noout --schema "$root/docs/dcdml-metric.xsd" "$work/dives.xml"
xmllint --noout --schema "$root/docs/uddf/uddf_3.2.3.xsd" "$work/dives.uddf"
echo "install-check: installed talvek-dl downloaded $(grep -c '<dive ' "$work/dives.xml") dives"
