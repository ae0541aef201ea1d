#!/bin/sh
# Installs the build into a temporary prefix and checks what a desktop needs of it: both programs,
# the menu entry (valid by the desktop-entry rules), the icons, the .qob type, the help page, the
# man pages and the shell completions.
# Usage: check-install.sh BUILD_FOLDER [WITH_MAN_PAGES] [WITH_PNG_ICONS]
set -eu
build="$1"
with_man="${2:-1}"
with_png="${3:-1}"
dest="$(mktemp -d)"
trap 'rm -rf "$dest"' EXIT
cmake --install "$build" --prefix "$dest" >/dev/null
status=0
files="bin/quiremail bin/qob share/applications/quire-outlook-backup.desktop
       share/icons/hicolor/scalable/apps/quire-outlook-backup.svg
       share/mime/packages/quire-outlook-backup.xml share/quire-outlook-backup/help/index.html
       share/bash-completion/completions/qob share/zsh/vendor-completions/_qob
       share/fish/vendor_completions.d/qob.fish
       share/doc/quire-outlook-backup/README.md"
if [ "$with_man" = 1 ]; then
    files="$files share/man/man1/qob.1.gz share/man/man1/quiremail.1.gz"
fi
if [ "$with_png" = 1 ]; then
    for size in 16 22 24 32 48 64 128 256; do
        files="$files share/icons/hicolor/${size}x${size}/apps/quire-outlook-backup.png"
    done
fi
for f in $files; do
    if [ ! -s "$dest/$f" ]; then
        echo "not installed: $f"
        status=1
    fi
done
desktop-file-validate "$dest/share/applications/quire-outlook-backup.desktop" || status=1
# The menu entry must start the program that was installed, with the icon that was installed; a
# file opened from the file manager goes to the window, never to the automatic run, which takes
# a bare argument as its command line.
grep -qx 'Icon=quire-outlook-backup' "$dest/share/applications/quire-outlook-backup.desktop" || status=1
grep -qx 'Exec=quiremail --open %f' "$dest/share/applications/quire-outlook-backup.desktop" || status=1
grep -qx 'MimeType=application/x-quire-outlook-backup;' "$dest/share/applications/quire-outlook-backup.desktop" ||
    status=1
grep -q '<glob pattern="\*.qob"/>' "$dest/share/mime/packages/quire-outlook-backup.xml" || status=1
# A PNG of the size its folder names.
if [ "$with_png" = 1 ]; then
    size=$(od -An -tu1 -j16 -N8 "$dest/share/icons/hicolor/48x48/apps/quire-outlook-backup.png" | tr -s ' ')
    [ "$size" = " 0 0 0 48 0 0 0 48" ] || { echo "48x48 icon has the header$size"; status=1; }
fi
# The man pages are gzipped roff that man can lay out, naming their program.
if [ "$with_man" = 1 ]; then
    gzip -dc "$dest/share/man/man1/qob.1.gz" | grep -q '^\.TH "qob" "1"' || { echo "qob.1.gz is not a man page"; status=1; }
    gzip -dc "$dest/share/man/man1/qob.1.gz" | grep -q 'EXIT STATUS' || status=1
fi
"$dest/bin/qob" --help >/dev/null || status=1
exit $status
