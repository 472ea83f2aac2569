#!/usr/bin/env bash
# Builds Tesmar and runs every test, then builds the Debian package and tries
# it unpacked. Installs missing Debian packages first.
#   ./test.sh                 build + all tests + a short fuzzing run
#   FUZZ_SECONDS=0 ./test.sh  skip the fuzzing run
#   TESMAR_TEST_LOAD=1 ./test.sh  run the tests with every core kept busy
#                             (scripts/load_test.sh), as on a machine that is never idle
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
tesmar_install_deps build

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
if [ "${TESMAR_TEST_LOAD:-0}" != 0 ]; then
    scripts/load_test.sh build
else
    (cd build && ctest --output-on-failure -j"$jobs")
fi

# The Debian package of this build, unpacked and tried without installing it.
deb=$(BUILD_DIR=build scripts/package.sh | tail -n 1)
scripts/check_package.sh "$deb"

# Fuzzing: the byte parsers under ASan + UBSan, a bounded run per target.
fuzz_seconds=${FUZZ_SECONDS:-30}
if [ "$fuzz_seconds" -gt 0 ] && [ -d fuzz ] && [ -f fuzz/CMakeLists.txt ]; then
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTESMAR_GUI=OFF -DTESMAR_FUZZ=ON -DTESMAR_SANITIZE=ON >/dev/null
    cmake --build build-fuzz -j"$jobs" --target tesmar_fuzzers
    scripts/run_fuzzers.sh build-fuzz "$fuzz_seconds"
fi
echo "test.sh: all tests passed"
