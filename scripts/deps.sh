# Installs the Debian packages Tesmar needs when they are missing.
# Source it and call tesmar_install_deps build|run.
tesmar_install_deps() {
    # dpkg-dev (dpkg-shlibdeps), file and desktop-file-utils make and check
    # the Debian package; python3 writes the main window's form at configure
    # time. libqcustomplot-dev draws the live trend: chosen over Qt Charts by
    # measuring fifteen lines of a shift's worth of points (72,000 each),
    # about 15-25 ms and 17 MB per frame against 5 s and 324 MB.
    local want=(cmake make g++ python3 qtbase5-dev libqt5serialport5-dev libqcustomplot-dev clang
                libclang-rt-14-dev dpkg-dev file desktop-file-utils)
    # The calibration history: Qt SQL's SQLite and PostgreSQL drivers, and
    # the PostgreSQL server its tests start in a temporary folder.
    want+=(libqt5sql5-sqlite libqt5sql5-psql postgresql)
    # The GUI tests deliver the wheel through Qt's platform interface, as a
    # desktop does (its header is among Qt's private development files).
    want+=(qtbase5-private-dev)
    if [ "${1:-build}" = run ]; then
        # The save-readiness marks are drawn as strokes; fonts-symbola keeps
        # the other symbols of the texts (the stability tick ✓) the same on
        # every machine the screenshots are taken on.
        # qttranslations5-l10n has Qt's own dialogs and buttons in Russian.
        want+=(xvfb xauth fonts-symbola qttranslations5-l10n)
    fi
    local missing=()
    for p in "${want[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
