#!/usr/bin/env bash
# Builds what is missing and runs every test, headless.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/build.sh
BUILD_DIR=${BUILD_DIR:-build}
export QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software
ctest --test-dir "$BUILD_DIR" --output-on-failure -j"$(nproc)"
