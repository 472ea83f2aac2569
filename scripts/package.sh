#!/usr/bin/env bash
# Builds the Debian package of Tesmar with CPack: tesmar and tesmar-sim, the
# desktop entry and the icons. Its dependencies on Debian's Qt 5 runtime
# packages are derived from the programs by dpkg-shlibdeps; the version is the
# project version plus the commit. Prints the path of the package last.
#
#   scripts/package.sh                        (build directory: build)
#   BUILD_DIR=build-release scripts/package.sh
#
# Install it with: sudo apt install ./build/package/tesmar_<version>_<arch>.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-build}
case "$build" in /*) ;; *) build="$root/$build" ;; esac

source "$root/scripts/deps.sh"
tesmar_install_deps build

cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" --target tesmar-programs >&2
out="$build/package"
mkdir -p "$out"
rm -f "$out"/tesmar_*.deb
(cd "$build" && cpack -G DEB -B "$out" >&2)
debs=("$out"/tesmar_*.deb)
[ -f "${debs[0]}" ] || { echo "package.sh: cpack made no package" >&2; exit 1; }
echo "${debs[0]}"
