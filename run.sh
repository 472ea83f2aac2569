#!/usr/bin/env bash
# Builds Tesmar and the virtual transmitter line, starts the line with
# transmitters at the short addresses 1, 2 and 5 on a symlink in a temporary
# directory, and opens Tesmar with that port first in its port list. Closing
# Tesmar stops the line. Without a display Tesmar runs under xvfb-run.
#
# Tesmar keeps its serial settings file (COM.conf.dat) and its data files in
# the directory run.sh is started from.
#
#   ./run.sh                 the demo on the virtual line
#   BUILD_DIR=dir ./run.sh   build somewhere else than ./build
set -euo pipefail
workdir=$(pwd)
cd "$(dirname "$0")"
root=$(pwd)
source scripts/deps.sh
tesmar_install_deps run

build=${BUILD_DIR:-build}
cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j2 --target tesmar-programs

line_dir=$(mktemp -d "${TMPDIR:-/tmp}/tesmar-line.XXXXXX")
sim_pid=""
stop_line() {
    if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$line_dir"
}
trap stop_line EXIT
trap 'exit 130' INT TERM

link="$line_dir/ttyTESMAR"
"$root/$build/sim/tesmar-sim" --devices 1,2,5 --baud 1200 --link "$link" >"$line_dir/ready" &
sim_pid=$!
# The line prints its pseudo-terminal's path once it is up.
for _ in $(seq 1 100); do
    [ -s "$line_dir/ready" ] && break
    if ! kill -0 "$sim_pid" 2>/dev/null; then
        echo "run.sh: tesmar-sim did not start" >&2
        exit 1
    fi
    sleep 0.1
done
if [ ! -s "$line_dir/ready" ]; then
    echo "run.sh: tesmar-sim did not report ready" >&2
    exit 1
fi

echo "Virtual line with transmitters 1, 2 and 5 at 1200 baud: $link"
echo "In Tesmar: type the password, press \"Связать\", then \"Поиск устройств\"."

app=("$root/$build/app/tesmar")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    app=(xvfb-run -a -s "-screen 0 1920x1080x24" "${app[@]}")
fi
cd "$workdir"
TESMAR_PORT="$link" "${app[@]}" "$@"
