#!/bin/sh
# Builds the track-file fuzz target with clang (libFuzzer, ASan, UBSan) and runs
# it for a bounded time over the committed corpus.
# usage: run-fuzz.sh CLANGXX SOURCE_DIR WORK_DIR [SECONDS]
# Exit 77 when this clang cannot build fuzz targets (the test is then skipped).
set -u
clangxx=$1
src=$2
work=$3
seconds=${4:-30}
seconds=${OSTREL_FUZZ_SECONDS:-$seconds}

mkdir -p "$work/new-units" || exit 1
target="$work/track_load_fuzz"

if ! "$clangxx" -std=c++17 -g -O1 -Wall -Wextra \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$src" -I"$src/tools/track" \
    "$src/tests/sync/fuzz/TrackLoadFuzz.cpp" "$src/sync/SyncTrackStore.cpp" \
    "$src/sync/SyncTrackNames.cpp" "$src/tools/track/TrackFormat.cpp" \
    -o "$target"; then
    echo "cannot build the fuzz target with $clangxx" >&2
    exit 77
fi

# New units go to the work folder; the committed corpus is only read.
exec "$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 "$work/new-units" "$src/tests/sync/fuzz-corpus"
