#!/bin/sh
# Runs one test binary offscreen in a fresh temporary working directory with a
# settings store of its own, and removes the directory afterwards.
set -u
bin="$1"; shift
work=$(mktemp -d "${TMPDIR:-/tmp}/tesmar-test.XXXXXX") || exit 1
mkdir -p "$work/config" "$work/home"
cd "$work" || exit 1
QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" HOME="$work/home" "$bin" "$@"
rc=$?
cd / && rm -rf "$work"
exit $rc
