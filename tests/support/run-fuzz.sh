#!/bin/sh
# Builds one libFuzzer target with clang (ASan, UBSan) from sources of the tree
# and runs it for a bounded time over its committed corpus.
# usage: run-fuzz.sh CLANGXX SOURCE_DIR WORK_DIR SECONDS CORPUS MAX_LEN SOURCE...
#   CORPUS and each SOURCE are relative to SOURCE_DIR; the first SOURCE holds
#   the target, whose file name (less .cpp) names the program.
# OSTREL_FUZZ_SECONDS overrides SECONDS. Exit 77 when this clang cannot build
# fuzz targets at all (the test is then skipped).
#
# The plain and the sanitized suite run the very same target (it is built here
# with its own flags, whatever the build), so both share what lies under
# ${OSTREL_CACHE:-~/.cache/ostrel}/fuzz: the program, keyed by a hash of its
# preprocessed sources, flags and compiler, and the inputs that found new
# coverage, which every later run starts from.
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

flags="-std=c++17 -g -O1 -Wall -Wextra -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined"
includes="-I$src -I$src/tools/track -I$src/tools/capture"
cache=${OSTREL_CACHE:-${HOME:-/tmp}/.cache/ostrel}/fuzz
units="$cache/$name-units"
mkdir -p "$work" "$units" || exit 1

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
# A header change changes the preprocessed text, so the key follows it.
# shellcheck disable=SC2086
key=$( { "$clangxx" --version; echo "$flags"; for file in $sources; do
           "$clangxx" $flags $includes -E "$file" || echo "unpreprocessable $file"; done; } 2>&1 |
       sha256sum | cut -c1-16)
target="$cache/$name-$key"
if [ ! -x "$target" ]; then
    # shellcheck disable=SC2086
    if ! "$clangxx" $flags $includes $sources -o "$target.$$"; then
        rm -f "$target.$$"
        echo "cannot build the fuzz target $name" >&2
        exit 1
    fi
    mv "$target.$$" "$target" || exit 1
    # Programs of older sources are of no further use.
    find "$cache" -maxdepth 1 -name "$name-*" ! -name "$name-$key" ! -name "$name-units" -type f -delete
fi

# New units go to the shared folder and any crashing input to the work folder;
# the committed corpus is only read.
exec "$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/" "$units" "$corpus"
