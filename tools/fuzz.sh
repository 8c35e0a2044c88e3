#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (into build-fuzz) and runs each for
# FUZZ_SECONDS (60) from its seed corpus in tests/fuzz/corpus/. New inputs go
# to a scratch folder, so the committed corpus changes only by hand. A crash
# ends the run with an error and leaves its input in build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
BUILD_DIR=${BUILD_DIR:-build-fuzz}
SECONDS_EACH=${FUZZ_SECONDS:-60}
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  CXX=clang++ cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRA_FUZZ=ON -DBUILD_TESTING=ON
fi
targets=(package replies profile setup)
cmake --build "$BUILD_DIR" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
for t in "${targets[@]}"; do
  scratch=$(mktemp -d)
  log="$BUILD_DIR/fuzz_$t.log"
  echo "== fuzz_$t: $SECONDS_EACH s"
  rc=0
  (cd "$BUILD_DIR" && "./tests/fuzz/fuzz_$t" -max_total_time="$SECONDS_EACH" -print_final_stats=1 \
     -close_fd_mask=1 "$scratch" "../tests/fuzz/corpus/$t") >"$log" 2>&1 || rc=$?
  grep -E '^#[0-9]+[[:space:]]+DONE|^stat::(number_of_executed_units|peak_rss_mb)|ERROR|SUMMARY' "$log" || true
  rm -rf "$scratch"
  if [ "$rc" -ne 0 ]; then
    tail -40 "$log"
    exit "$rc"
  fi
done
