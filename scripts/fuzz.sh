#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) into build-fuzz/ and
# runs each for SECONDS (default 30), starting from the corpus that
# fuzz/make_corpus.sh writes and from what earlier runs found. Fails on the
# first crash or sanitizer report; the input that caused it is left in
# build-fuzz/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
out="$root/build-fuzz"

CC=clang CXX=clang++ cmake -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORLENTA_FUZZ=ON -DORLENTA_TESTS=OFF >/dev/null
targets=$(sed -n 's/^orlenta_fuzzer(\([a-z_]*\) .*/\1/p' "$root/fuzz/CMakeLists.txt")
# shellcheck disable=SC2086
cmake --build "$out" --target $targets

"$root/fuzz/make_corpus.sh" "$out/corpus-start"

for target in $targets; do
    corpus="$out/corpus/$target"
    mkdir -p "$corpus"
    log="$out/$target.log"
    status=0
    (cd "$out" && "$out/bin/$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus" "$out/corpus-start/$target") >"$log" 2>&1 \
        || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$target: ${runs:-?} runs in $seconds s"
    if [ "$status" -ne 0 ]; then
        grep -E -A20 'ERROR|SUMMARY|deadly signal' "$log" | head -60
        echo "$target found a fault (exit $status); see $log"
        exit 1
    fi
done
