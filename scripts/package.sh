#!/usr/bin/env bash
# Builds the Debian package of talvek-dl and talvek-sim with CPack:
#   build-package/talvek-dl_<version>_<arch>.deb
# Its dependencies (the Qt 6 runtime libraries among them) are read from the
# executables by dpkg-shlibdeps.  Usage: scripts/package.sh [BUILD_DIR]
# (an existing tree, such as the tested build, is packed as it is built).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-package}
scripts/setup.sh
# CPack's Debian generator needs file and dpkg-shlibdeps.
missing=()
for p in dpkg-dev file; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
if [ ! -f "$dir/CMakeCache.txt" ]; then
  # A tree of its own holds the product alone: CPack builds all of a tree.
  cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DTALVEK_TESTS=OFF >/dev/null
fi
cmake --build "$dir" -j"$(nproc)" --target talvek-dl talvek-sim
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/talvek-dl_*.deb
