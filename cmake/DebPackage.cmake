# The Debian package, built from the build folder with `cpack -G DEB` (`make deb`). It holds what
# `cmake --install` installs, under /usr; the library dependencies are found by dpkg-shlibdeps
# from the programs themselves, so they follow whatever the build linked. It passes lintian without
# errors (tests/install/check-deb.sh runs it): a copyright file, a changelog and gzipped man pages.
# A distribution packaging it sets its own maintainer here.
set(QOB_DEB_MAINTAINER "Quire Outlook Backup developers <quire-outlook-backup@users.noreply.example>"
    CACHE STRING "The Maintainer field of the .deb")
# A packaging revision: the package is not "native" to Debian, so its changelog is
# changelog.Debian.gz.
set(QOB_DEB_RELEASE 1 CACHE STRING "The Debian revision of the .deb's version")
set(QOB_DEB_VERSION ${PROJECT_VERSION}-${QOB_DEB_RELEASE})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quire-outlook-backup)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${QOB_DEB_RELEASE})
set(CPACK_PACKAGE_VENDOR "Quire Outlook Backup")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "back up and restore the user data of Outlook run under Wine")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The copyright and the changelog go into the package only, by a script cpack runs in its staging
# install (there CMAKE_INSTALL_PREFIX is still the build's, so the script is told the package's).
set(QOB_DEB_DIR ${CMAKE_SOURCE_DIR}/cmake/deb)
set(QOB_DEB_CHANGELOG ${CMAKE_BINARY_DIR}/deb/changelog)
configure_file(${QOB_DEB_DIR}/changelog.in ${QOB_DEB_CHANGELOG} @ONLY)
configure_file(${QOB_DEB_DIR}/DebDocs.cmake.in ${CMAKE_BINARY_DIR}/deb/DebDocs.cmake @ONLY)
set(CPACK_INSTALL_SCRIPTS ${CMAKE_BINARY_DIR}/deb/DebDocs.cmake)
# Packed without debug information: smaller, and quick to compress.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QOB_DEB_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The body only: cpack puts the summary above it as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Backs up one Outlook mail profile of a Wine prefix - its registry keys,
 PST/OST data files, signatures, stationery, address book, options,
 templates, preferences and contacts - into one .qob file (a zip archive,
 optionally AES-256 protected), and restores it item by item into any
 profile. Includes the window (quiremail), the command-line tool (qob), a
 weekly automatic backup through cron, and writing backups to CD/DVD/BD.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beside the libraries: cron runs the weekly backup.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "cron | cron-daemon")
# Outlook runs under Wine; notify-send announces a failed automatic run on the desktop.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "wine, libnotify-bin")
include(CPack)
