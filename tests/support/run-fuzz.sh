#!/bin/sh
# Builds one libFuzzer target with clang (ASan, UBSan) from sources of the tree
# and runs it for a bounded time over its committed corpus.
# usage: run-fuzz.sh CLANGXX SOURCE_DIR WORK_DIR SECONDS CORPUS MAX_LEN SOURCE...
#   CORPUS and each SOURCE are relative to SOURCE_DIR; the first SOURCE holds
#   the target, whose file name (less .cpp) names the program.
# OSTREL_FUZZ_SECONDS overrides SECONDS. Exit 77 when this clang cannot build
# fuzz targets at all (the test is then skipped).
set -u
if [ $# -lt 7 ]; then
    echo "usage: run-fuzz.sh CLANGXX SOURCE_DIR WORK_DIR SECONDS CORPUS MAX_LEN SOURCE..." >&2
    exit 2
fi
clangxx=$1
src=$2
work=$3
seconds=${OSTREL_FUZZ_SECONDS:-$4}
corpus=$src/$5
max_len=$6
shift 6

name=$(basename "$1" .cpp)
sources=""
for file in "$@"; do
    sources="$sources $src/$file"
done

mkdir -p "$work/new-units" || exit 1
target="$work/$name"
flags="-std=c++17 -g -O1 -Wall -Wextra -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined"

# Skipped only when clang cannot build a fuzz target at all; a target that
# does not compile is a failure.
probe="$work/probe.cpp"
printf '%s\n' '#include <cstddef>' '#include <cstdint>' \
    'extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }' > "$probe"
# shellcheck disable=SC2086
if ! "$clangxx" $flags "$probe" -o "$work/probe" 2>/dev/null; then
    echo "$clangxx cannot build fuzz targets (libFuzzer or the sanitizers missing)" >&2
    exit 77
fi

# The sources are paths inside the tree, without spaces; word splitting is meant.
# shellcheck disable=SC2086
if ! "$clangxx" $flags -I"$src" -I"$src/tools/track" -I"$src/tools/capture" $sources -o "$target"; then
    echo "cannot build the fuzz target $name" >&2
    exit 1
fi

# New units and any crashing input go to the work folder; the committed
# corpus is only read.
exec "$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/" "$work/new-units" "$corpus"
