#!/usr/bin/env bash
# Installs what is missing, then configures (once) and builds incrementally.
# SANITIZE=address,undefined builds with those sanitizers (into build-sanitize
# unless BUILD_DIR says otherwise).
# QT=6 builds with Qt 6 instead (into build-qt6).
set -euo pipefail
cd "$(dirname "$0")/.."
QT=${QT:-5}
export QT
bash tools/deps.sh
SANITIZE=${SANITIZE:-}
base=build
if [ "$QT" != 5 ]; then base=build-qt$QT; fi
if [ -n "$SANITIZE" ]; then
  BUILD_DIR=${BUILD_DIR:-$base-sanitize}
else
  BUILD_DIR=${BUILD_DIR:-$base}
fi
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRA_SANITIZE="$SANITIZE" \
    -DVELTRA_QT="$QT"
elif [ "$(sed -n 's/^VELTRA_QT:STRING=//p' "$BUILD_DIR/CMakeCache.txt")" != "$QT" ] \
     && ! { [ "$QT" = 5 ] && ! grep -q '^VELTRA_QT:' "$BUILD_DIR/CMakeCache.txt"; }; then
  echo "$BUILD_DIR is configured for another Qt; set BUILD_DIR to build with Qt $QT" >&2
  exit 1
fi
cmake --build "$BUILD_DIR" -j"$(nproc)"
