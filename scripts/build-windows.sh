#!/usr/bin/env bash
# Cross-builds the Windows program with MinGW-w64 into build-win/ and packs
# build-win/talvek-dl-<version>-win64.zip (talvek-dl.exe, README, LICENSE).
# Installs what is missing first.  Extra arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# The -posix compilers by name: the -win32 thread model has no std::mutex,
# and installing it would flip the unsuffixed alternative.  googletest: the
# sources the tests build GoogleTest from (there is no MinGW package).
PACKAGES=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 cmake ninja-build zip googletest
  wine64 wine xvfb xauth)
scripts/setup.sh "${PACKAGES[@]}"

dir=build-win
generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" "$@"
else
  cmake -S . -B "$dir" "$@" >/dev/null
fi
cmake --build "$dir" -j"$(nproc)"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")
zip="$dir/talvek-dl-$version-win64.zip"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$dir/talvek-dl.exe" "$stage/"
# Notepad wants CR LF.
sed 's/$/\r/' README.md >"$stage/README.txt"
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
rm -f "$zip"
(cd "$stage" && zip -q -X "$root/$zip" talvek-dl.exe README.txt LICENSE.txt)
echo "build-windows: $zip ($(stat -c %s "$dir/talvek-dl.exe") bytes of talvek-dl.exe)"
