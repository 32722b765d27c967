#!/usr/bin/env bash
# cmake --install of the build tree into a scratch prefix puts each file where
# a program's files go, and the manual page renders without a warning.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
status=0
for f in bin/talvek-dl bin/talvek-sim share/man/man1/talvek-dl.1 share/doc/talvek-dl/README.md; do
  if [ ! -e "$prefix/$f" ]; then echo "missing: $f"; status=1; fi
done
[ -x "$prefix/bin/talvek-dl" ] || { echo "talvek-dl is not executable"; status=1; }
out=$("$prefix/bin/talvek-dl" --version)
[[ "$out" == "Talvek XML Downloader "* ]] || { echo "installed --version said: $out"; status=1; }
if command -v groff >/dev/null 2>&1; then
  warnings=$(groff -man -Tutf8 -ww -z "$prefix/share/man/man1/talvek-dl.1" 2>&1)
  if [ -n "$warnings" ]; then echo "$warnings"; status=1; fi
  page=$(groff -man -Tutf8 -P-cbou "$prefix/share/man/man1/talvek-dl.1" 2>/dev/null)
  for section in NAME SYNOPSIS OPTIONS "EXIT STATUS" FILES EXAMPLES; do
    grep -q "^$section" <<<"$page" || { echo "no $section section"; status=1; }
  done
fi
exit $status
