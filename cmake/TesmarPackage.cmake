# The Debian package: cpack -G DEB in the build directory (scripts/package.sh).
# Its dependencies on Debian's own Qt 5 runtime packages are derived from the
# installed programs by dpkg-shlibdeps; only what no library link shows is
# listed by hand.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tesmar)
set(CPACK_PACKAGE_VERSION ${TESMAR_VERSION_FULL})
set(CPACK_PACKAGE_VENDOR Vornik)
set(CPACK_PACKAGE_CONTACT "Vornik" CACHE STRING "Maintainer of the Debian package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Service and calibration tool for HART pressure transmitters")
set(CPACK_PACKAGE_DESCRIPTION "\
Tesmar finds HART pressure transmitters on a serial line, trims, configures
and polls them, computes their temperature-compensation coefficients and moves
their configuration between the device and files. It comes with tesmar-sim,
a virtual line of simulated transmitters on a pseudo-terminal.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own dialogs and standard buttons speak Russian only with Qt's
# translations, and the calibration history's own database is SQLite through
# Qt SQL, a plugin: no library link shows either. (The save-readiness marks
# are drawn as strokes, so no symbol font is needed.) The libraries found by
# dpkg-shlibdeps are appended to this list.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qttranslations5-l10n, libqt5sql5-sqlite")
# The PostgreSQL driver serves a lab's shared database: apt installs it with
# Tesmar unless told not to, so choosing the shared database needs no hunt
# for a package.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libqt5sql5-psql)
set(CPACK_STRIP_FILES ON)
# Installing takes the programs as built and builds nothing else:
# scripts/package.sh builds just the two installed programs first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
