#!/usr/bin/env bash
# Installs what is missing, then configures (once) and builds incrementally.
# SANITIZE=address,undefined builds with those sanitizers (into build-sanitize
# unless BUILD_DIR says otherwise).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
SANITIZE=${SANITIZE:-}
if [ -n "$SANITIZE" ]; then
  BUILD_DIR=${BUILD_DIR:-build-sanitize}
else
  BUILD_DIR=${BUILD_DIR:-build}
fi
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRA_SANITIZE="$SANITIZE"
fi
cmake --build "$BUILD_DIR" -j"$(nproc)"
