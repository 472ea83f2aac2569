#!/usr/bin/env bash
# Renders the main window into PNG files for review: the locked window, then
# every tab unlocked at the initial 1183 x 720 and filling a 1920 x 1080
# screen, under a virtual X server, with a fresh settings store; then, on a
# virtual line with three transmitters, the trend, the line statistics and
# the traffic log while polling.
#
#   scripts/screenshots.sh [OUTDIR]      (default: BUILD_DIR/screenshots)
#   BUILD_DIR=build-x scripts/screenshots.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-build}
case "$build" in /*) ;; *) build="$root/$build" ;; esac
out=$(realpath -m "${1:-$build/screenshots}")

source "$root/scripts/deps.sh"
tesmar_install_deps run
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j2 --target tesmar tesmar-sim

work=$(mktemp -d "${TMPDIR:-/tmp}/tesmar-shots.XXXXXX")
sim_pid=""
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/config" "$out"
cd "$work"
"$build/sim/tesmar-sim" --devices 1,2,5 --baud 1200 --sensor two-gauge \
    --duplicate-every 7 --link "$work/ttyTESMAR" >"$work/ready" 2>/dev/null &
sim_pid=$!
for _ in $(seq 1 100); do [ -s "$work/ready" ] && break; sleep 0.1; done
TESMAR_PORT="$work/ttyTESMAR" XDG_CONFIG_HOME="$work/config" TESMAR_SCREENSHOT_DIR="$out" \
    xvfb-run -a -s "-screen 0 1920x1080x24" "$build/app/tesmar" 2>/dev/null
echo "screenshots in $out"
