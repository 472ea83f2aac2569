#!/usr/bin/env bash
# Renders Tesmar into PNG files for review, on a virtual X server whose screen
# is 1366 x 768 and then 1024 x 700: the locked window, every tab unlocked
# with the window filling the screen, the message log, every dialog, and,
# on a virtual line with transmitters at 1, 2 and 5, a scan with its progress
# and fill offer, the polling tally, a bulk read, whole and cancelled, and
# the trend, the line statistics and the traffic log while polling, docked
# together as they first open, locked and then unlocked.
# Each size starts with a fresh settings store and working directory.
#
#   scripts/screenshots.sh [OUTDIR]      (default: BUILD_DIR/screenshots)
#   BUILD_DIR=build-x scripts/screenshots.sh
#   SIZES="1920x1080" scripts/screenshots.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-build}
case "$build" in /*) ;; *) build="$root/$build" ;; esac
out=$(realpath -m "${1:-$build/screenshots}")
sizes=${SIZES:-"1366x768 1024x700"}

source "$root/scripts/deps.sh"
tesmar_install_deps run
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j2 --target tesmar-programs

work=$(mktemp -d "${TMPDIR:-/tmp}/tesmar-shots.XXXXXX")
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$out"

for size in $sizes; do
    run="$work/$size"
    mkdir -p "$run/config"
    # A line of its own for every size: the tour changes the devices' state.
    link="$run/ttyTESMAR"
    # The bench is set through a pipe the guided run's tour writes to, as
    # the run asks for temperatures and pressures. Held open for reading
    # and writing here so that neither side waits for the other to open it.
    bench="$run/bench"
    mkfifo "$bench"
    exec 3<>"$bench"
    "$build/sim/tesmar-sim" --devices 1,2,5 --baud 4800 --sensor two-gauge \
        --duplicate-every 7 --link "$link" --control <&3 >"$run/ready" 2>"$run/sim-stderr" &
    sim_pid=$!
    exec 3<&-
    for _ in $(seq 1 100); do
        [ -s "$run/ready" ] && break
        sleep 0.1
    done
    [ -s "$run/ready" ] || { echo "screenshots: tesmar-sim did not start" >&2; cat "$run/sim-stderr" >&2; exit 1; }
    (cd "$run" && XDG_CONFIG_HOME="$run/config" XDG_DATA_HOME="$run/data" TESMAR_PORT="$link" TESMAR_BENCH="$bench" TESMAR_SCREENSHOT_DIR="$out" \
        xvfb-run -a -s "-screen 0 ${size}x24" "$build/app/tesmar" 2>"$run/stderr") || {
        echo "screenshots: tesmar failed at $size" >&2
        cat "$run/stderr" >&2
        exit 1
    }
    grep -i "screenshot" "$run/stderr" >&2 || true
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
done
echo "screenshots in $out"
