#!/usr/bin/env bash
# Runs every fuzz target found in a fuzz build directory for a bounded time.
#   scripts/run_fuzzers.sh BUILD_DIR SECONDS [extra libFuzzer flags]
set -euo pipefail
build=$1; seconds=$2; shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
for bin in "$build"/fuzz/fuzz_*; do
    [ -f "$bin" ] && [ -x "$bin" ] || continue
    name=$(basename "$bin")
    corpus="$root/fuzz-corpus/$name"
    mkdir -p "$corpus"
    seeds=()
    [ -d "$root/fuzz/corpus/$name" ] && seeds=("$root/fuzz/corpus/$name")
    echo "fuzz: $name for ${seconds}s"
    if ! "$bin" -max_total_time="$seconds" -print_final_stats=1 "$@" "$corpus" "${seeds[@]}" \
            >"$build/$name.log" 2>&1; then
        echo "fuzz: $name FAILED"; tail -n 40 "$build/$name.log"; status=1
    else
        grep -E 'stat::number_of_executed_units' "$build/$name.log" || true
    fi
done
exit $status
