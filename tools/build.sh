#!/usr/bin/env bash
# Installs what is missing, then configures (once) and builds incrementally.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
BUILD_DIR=${BUILD_DIR:-build}
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$BUILD_DIR" -j"$(nproc)"
