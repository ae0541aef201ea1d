# The Debian package, built from the build folder with `cpack -G DEB` (`make deb`). It holds what
# `cmake --install` installs, under /usr; the library dependencies are found by dpkg-shlibdeps
# from the programs themselves, so they follow whatever the build linked.
set(QOB_PACKAGE_MAINTAINER "Quire Outlook Backup developers <quire-outlook-backup@localhost>"
    CACHE STRING "The Maintainer field of the .deb")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quire-outlook-backup)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quire Outlook Backup")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "back up and restore the user data of Outlook run under Wine")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Packed without debug information: smaller, and quick to compress.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QOB_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "back up and restore the user data of Outlook run under Wine
 Backs up one Outlook mail profile of a Wine prefix - its registry keys,
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
