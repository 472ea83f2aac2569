#!/usr/bin/env bash
# Builds the virtual transmitter line and starts it with transmitters at the
# short addresses 1, 2 and 5, on a symlink in a temporary directory. Open
# that path as the serial port in Tesmar (or any HART master). Ctrl-C stops.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
tesmar_install_deps run

cmake -S . -B build >/dev/null
cmake --build build -j2 --target tesmar-sim

dir=$(mktemp -d "${TMPDIR:-/tmp}/tesmar-line.XXXXXX")
trap 'rm -rf "$dir"' EXIT
link="$dir/line"

echo "Virtual line with transmitters 1, 2 and 5 at 1200 baud: $link"
echo "Press Ctrl-C to stop."
build/sim/tesmar-sim --devices 1,2,5 --baud 1200 --link "$link" >/dev/null || true
