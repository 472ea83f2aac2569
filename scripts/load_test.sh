#!/usr/bin/env bash
# Runs the test suite of a build with every core kept busy, as on a
# developer's machine that is never idle: one busy loop per core beside
# `ctest -j<cores>`. The loops end with the script, however it ends.
#   scripts/load_test.sh [BUILD_DIR] [ctest arguments...]
#   scripts/load_test.sh build -R tst_link      only the link's tests
# LOAD_PER_CORE=N runs N loops a core (default 1). Prints how long the run took.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ $# -gt 0 ] && shift
if [ ! -f "$build/CTestTestfile.cmake" ]; then
    echo "load_test.sh: $build is not a configured build (run cmake --build $build first)" >&2
    exit 2
fi
cores=$(nproc 2>/dev/null || echo 2)
per_core=${LOAD_PER_CORE:-1}

loops=()
stop_load() {
    local pid
    for pid in "${loops[@]}"; do
        kill "$pid" 2>/dev/null
    done
    for pid in "${loops[@]}"; do
        wait "$pid" 2>/dev/null
    done
    loops=()
}
trap stop_load EXIT
trap 'exit 130' INT TERM

for ((i = 0; i < cores * per_core; i++)); do
    ( trap - INT TERM; while :; do :; done ) &
    loops+=("$!")
done
echo "load_test.sh: ${#loops[@]} busy loops on $cores cores beside ctest -j$cores" >&2

start=$(date +%s)
(cd "$build" && ctest --output-on-failure -j"$cores" "$@")
rc=$?
echo "load_test.sh: the loaded run took $(($(date +%s) - start)) s (exit $rc)" >&2
exit $rc
