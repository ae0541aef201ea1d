#!/bin/sh
# Installs the build into a temporary prefix and checks what a desktop needs of it: both programs,
# the menu entry (valid by the desktop-entry rules), the icon, the .qob type and the help page.
set -eu
build="$1"
dest="$(mktemp -d)"
trap 'rm -rf "$dest"' EXIT
cmake --install "$build" --prefix "$dest" >/dev/null
status=0
for f in bin/quiremail bin/qob share/applications/quire-outlook-backup.desktop \
         share/icons/hicolor/scalable/apps/quire-outlook-backup.svg \
         share/mime/packages/quire-outlook-backup.xml share/quire-outlook-backup/help/index.html; do
    if [ ! -s "$dest/$f" ]; then
        echo "not installed: $f"
        status=1
    fi
done
desktop-file-validate "$dest/share/applications/quire-outlook-backup.desktop" || status=1
# The menu entry must start the program that was installed, with the icon that was installed.
grep -qx 'Icon=quire-outlook-backup' "$dest/share/applications/quire-outlook-backup.desktop" || status=1
grep -q '^Exec=quiremail' "$dest/share/applications/quire-outlook-backup.desktop" || status=1
"$dest/bin/qob" --help >/dev/null || status=1
exit $status
