#!/usr/bin/env bash
# Renders the main window into PNG files for review: the locked window, then
# every tab unlocked at the initial 1183 x 720 and filling a 1920 x 1080
# screen, under a virtual X server, with a fresh settings store.
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
cmake --build "$build" -j2 --target tesmar

work=$(mktemp -d "${TMPDIR:-/tmp}/tesmar-shots.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config" "$out"
cd "$work"
XDG_CONFIG_HOME="$work/config" TESMAR_SCREENSHOT_DIR="$out" \
    xvfb-run -a -s "-screen 0 1920x1080x24" "$build/app/tesmar" 2>/dev/null
echo "screenshots in $out"
