#!/usr/bin/env bash
# Tries a built Debian package without installing it: unpacks it into a
# temporary root, checks its files and dependencies, runs the unpacked
# programs (no display needed for --version and --help) and validates the
# desktop entry.
#
#   scripts/check_package.sh build/package/tesmar_<version>_<arch>.deb
set -euo pipefail
deb=$(realpath "$1")
fail() { echo "check_package.sh: $*" >&2; exit 1; }

unpacked=$(mktemp -d "${TMPDIR:-/tmp}/tesmar-deb.XXXXXX")
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"

version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
# qttranslations5-l10n: Qt's dialogs in Russian; libqt5sql5-sqlite: the
# history's database. No library link shows either.
for lib in libqt5core5a libqt5gui5 libqt5widgets5 libqt5serialport5 libqt5sql5 libqt5sql5-sqlite qttranslations5-l10n; do
    grep -Eq "(^|[ ,])$lib( |,|$)" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

# libqt5sql5-psql: the driver of a lab's shared PostgreSQL database.
recommends=$(dpkg-deb -f "$deb" Recommends || true)
grep -Eq "(^|[ ,])libqt5sql5-psql( |,|$)" <<<"$recommends" || fail "Recommends lacks libqt5sql5-psql: '$recommends'"

for f in usr/bin/tesmar usr/bin/tesmar-sim usr/share/applications/tesmar.desktop; do
    [ -f "$unpacked/$f" ] || fail "/$f is not in the package"
done
for size in 16 22 24 32 48 64 128 256; do
    icon="usr/share/icons/hicolor/${size}x${size}/apps/tesmar.png"
    [ -f "$unpacked/$icon" ] || fail "/$icon is not in the package"
    file "$unpacked/$icon" | grep -q "PNG image data, $size x $size" || fail "/$icon is not $size x $size"
done

shown=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$unpacked/usr/bin/tesmar" --version)
[ "$shown" = "tesmar $version" ] || fail "tesmar --version says '$shown', the package is $version"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$unpacked/usr/bin/tesmar" --help | grep -q -- '--profile' \
    || fail "tesmar --help does not list --profile"
"$unpacked/usr/bin/tesmar-sim" --help | grep -q -- '--devices' || fail "tesmar-sim --help does not list --devices"
shown=$("$unpacked/usr/bin/tesmar-sim" --version)
[ "$shown" = "tesmar-sim $version" ] || fail "tesmar-sim --version says '$shown', the package is $version"

desktop-file-validate "$unpacked/usr/share/applications/tesmar.desktop"
echo "check_package.sh: $(basename "$deb") is sound (Depends: $depends; Recommends: $recommends)"
