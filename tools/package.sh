#!/usr/bin/env bash
# Builds the Debian package (veltra-configurator_VERSION_ARCH.deb) into the
# build folder and prints its path as the last line. Only the programs and
# files the package holds are built, not the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
# CPack finds the programs with `file` and their libraries' packages with
# dpkg-shlibdeps.
bash tools/deps.sh dpkg-dev file
BUILD_DIR=${BUILD_DIR:-build}
# Configured as tools/build.sh does, so the two share one build; configuring
# again also dates the package by the commit being built.
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
else
  cmake -S . -B "$BUILD_DIR" >/dev/null
fi
cmake --build "$BUILD_DIR" -j"$(nproc)" --target deb-contents
out=$(cd "$BUILD_DIR" && cpack -G DEB)
echo "$out"
deb=$(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' <<< "$out")
[ -f "$deb" ] || { echo "package.sh: cpack made no package" >&2; exit 1; }
echo "$deb"
