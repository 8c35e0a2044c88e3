#!/bin/sh
# Radio updates on the paced wire model with faults on the line: for each
# fault kind, one update of a 40-frame package per seed, and how many ended
# "Update Complete!". Usage: tools/upload-soak.sh [BUILD_DIR] [SEEDS] [RATE] [KINDS]
set -u
build=${1:-build}
seeds=${2:-20}
rate=${3:-0.02}
kinds=${4:-late split drop garbage}
cli="$build/cli/veltra-cli"
make_vfp="$build/cli/veltra-make-vfp"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# 39 frames of 256 bytes and the closing frame that starts the new image.
"$make_vfp" --block 2:9984 --end-frame "$work/radio.vfp" >/dev/null || exit 1

for kind in $kinds; do
    complete=0
    start=$(date +%s)
    failures=""
    seed=1
    while [ "$seed" -le "$seeds" ]; do
        if "$cli" --simulate="r9,wire=real,latency=1,fault=$kind:$rate,seed=$seed" \
               update radio "$work/radio.vfp" >"$work/out" 2>&1 \
           && grep -q "Update Complete!" "$work/out"; then
            complete=$((complete + 1))
        else
            failures="$failures seed $seed: $(grep -v '^progress' "$work/out" | tail -1);"
        fi
        seed=$((seed + 1))
    done
    echo "$kind:$rate  complete $complete/$seeds  in $(( $(date +%s) - start )) s${failures:+ --$failures}"
done
