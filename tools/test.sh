#!/usr/bin/env bash
# Builds what is missing and runs every test, headless.
# SANITIZE=address,undefined runs the same suites built with sanitizers; a
# sanitizer report fails the run.
# QT=6 builds with Qt 6 into build-qt6 and runs the same suites there.
set -euo pipefail
cd "$(dirname "$0")/.."
QT=${QT:-5}
base=build
if [ "$QT" != 5 ]; then base=build-qt$QT; fi
SANITIZE=${SANITIZE:-}
if [ -n "$SANITIZE" ]; then
  BUILD_DIR=${BUILD_DIR:-$base-sanitize}
  # Leaks are judged too; Qt's own, kept until exit, are named in
  # tools/lsan-qt.supp (see tests/CMakeLists.txt for the suites that need a
  # full unwind to match them).
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
  export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tools/lsan-qt.supp:print_suppressions=0}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
else
  BUILD_DIR=${BUILD_DIR:-$base}
fi
export QT BUILD_DIR
bash tools/build.sh
export QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software
ctest --test-dir "$BUILD_DIR" --output-on-failure -j"$(nproc)"
