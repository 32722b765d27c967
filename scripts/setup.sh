#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test the project.
# Packages already present are skipped; apt-get update runs only when needed.
# Usage: scripts/setup.sh [--fuzz | PACKAGE...]
#   --fuzz: also clang and its libFuzzer; PACKAGE...: those instead of the usual set
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config
libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev
  libxml2-utils libxml2-dev xsltproc
  groff-base
  util-linux
)
given=0
if [ "${1:-}" = "--fuzz" ]; then
  PACKAGES+=(clang libclang-rt-dev)
elif [ $# -gt 0 ]; then
  PACKAGES=("$@")
  given=1
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Chromium renders the HTML report in its browser test (tests/report/).  The
# test skips when Chromium is missing, so a failed install only warns.
if [ "$given" = 0 ] && ! command -v chromium >/dev/null 2>&1; then
  echo "setup: installing chromium (for the report's browser test)"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  if ! DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends chromium; then
    $SUDO apt-get update || true
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends chromium ||
      echo "setup: chromium could not be installed; the report's browser test will be skipped"
  fi
fi
