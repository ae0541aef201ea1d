#!/usr/bin/env bash
# Builds the .deb from the build folder (into a scratch folder, so a `make deb` result stays),
# checks its fields and contents, has lintian find no error in it, unpacks it into a scratch root and runs both programs from there:
# qob on the command line, quiremail as the weekly task starts it, on a demo target system.
# Exits 77 (skipped) where cpack or the Debian tools are missing.
# Usage: check-deb.sh BUILD_FOLDER
set -uo pipefail
build="$1"
for tool in cpack dpkg-deb dpkg dpkg-shlibdeps; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
status=0
fail() {
    echo "FAIL: $*" >&2
    status=1
}

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log" >&2
    exit 1
fi
deb=$(ls "$scratch"/out/quire-outlook-backup_*.deb 2>/dev/null | head -n 1)
[[ -n $deb ]] || { cat "$scratch/cpack.log" >&2; echo "FAIL: no .deb was made" >&2; exit 1; }

# Fields: the libraries the programs link, found by dpkg-shlibdeps, and cron beside them.
info=$(dpkg-deb -I "$deb")
[[ $(dpkg-deb -f "$deb" Package) == quire-outlook-backup ]] || fail "package name: $(dpkg-deb -f "$deb" Package)"
for field in Version Maintainer Section Description; do
    [[ -n $(dpkg-deb -f "$deb" "$field") ]] || fail "no $field field"
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libzip4 libburn4 libisofs6 libc6 cron; do
    [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
if ldd "$build/quiremail" | grep -q libQt6Widgets; then
    [[ $depends == *libqt6widgets6* ]] || fail "Depends lacks libqt6widgets6: $depends"
fi
[[ $(dpkg-deb -f "$deb" Recommends) == *wine* ]] || fail "wine is not recommended"

# Contents: everything in its place under /usr.
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for f in ./usr/bin/qob ./usr/bin/quiremail ./usr/share/applications/quire-outlook-backup.desktop \
    ./usr/share/mime/packages/quire-outlook-backup.xml \
    ./usr/share/icons/hicolor/scalable/apps/quire-outlook-backup.svg \
    ./usr/share/quire-outlook-backup/help/index.html ./usr/share/bash-completion/completions/qob \
    ./usr/share/zsh/vendor-completions/_qob ./usr/share/fish/vendor_completions.d/qob.fish \
    ./usr/share/doc/quire-outlook-backup/README.md ./usr/share/doc/quire-outlook-backup/copyright \
    ./usr/share/doc/quire-outlook-backup/changelog.Debian.gz; do
    grep -qx -- "$f" <<<"$contents" || fail "not in the package: $f"
done
if [[ -f $build/man/qob.1.gz ]]; then
    grep -qx -- ./usr/share/man/man1/qob.1.gz <<<"$contents" || fail "not in the package: qob.1.gz"
fi
# Nothing outside /usr, and nothing owned by the builder.
outside=$(grep -v -e '^\./$' -e '^\./usr/' <<<"$contents")
[[ -z $outside ]] || fail "outside /usr: $outside"
owners=$(dpkg-deb -c "$deb" | awk '$2 != "root/root"')
[[ -z $owners ]] || fail "not owned by root: $owners"

# lintian, Debian's own package checker: no error (its warnings are shown for the reader). Where it
# is missing it is skipped, except in CI, which installs it through scripts/bootstrap.sh.
if command -v lintian >/dev/null; then
    if ! lintian_out=$(lintian --fail-on error "$deb" 2>&1); then
        fail "lintian finds errors: $lintian_out"
    elif [[ -n $lintian_out ]]; then
        echo "lintian: $lintian_out"
    fi
elif [[ ${CI:-} == true ]]; then
    fail "lintian is missing (scripts/bootstrap.sh installs it)"
else
    echo "note: lintian is missing; the package was not checked by it"
fi
# The copyright names the licence of LICENSE, the GPL version 3 or later.
copyright=$(dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/doc/quire-outlook-backup/copyright)
grep -q '^License: GPL-3+$' <<<"$copyright" || fail "the copyright file names no GPL-3+ licence"
grep -q 'GNU GENERAL PUBLIC LICENSE' "$(dirname "$0")/../../LICENSE" &&
    grep -q 'Version 3, 29 June 2007' "$(dirname "$0")/../../LICENSE" || fail "LICENSE is not the GPL version 3"
[[ $(dpkg-deb -f "$deb" Version) == *-* ]] || fail "the version has no Debian revision: changelog.Debian.gz is wrong"

# Unpacked, the programs run from their new place.
root="$scratch/root"
dpkg -x "$deb" "$root" || exit 1
qob="$root/usr/bin/qob"
out=$("$qob" --version 2>&1) || fail "the unpacked qob does not run: $out"
grep -q "^qob (Quire Outlook Backup) " <<<"$out" || fail "qob --version printed: $out"
export QUIRE_HOME="$scratch/home"
mkdir -p "$QUIRE_HOME"
"$qob" demo-prefix "$scratch/prefix" >/dev/null || fail "qob demo-prefix failed"
WINEPREFIX="$scratch/prefix" DBUS_SESSION_BUS_ADDRESS= \
    "$root/usr/bin/quiremail" " sf=Outlookxm=111111111ps=bf=$scratch/weekly.qob" >"$scratch/run.log" 2>&1 ||
    fail "the automatic run failed: $(cat "$scratch/run.log")"
# In "new file" mode (the default) the run stamps the name with the time.
written=$(ls "$scratch"/weekly*.qob 2>/dev/null | head -n 1)
if [[ -z $written ]]; then
    fail "the automatic run wrote no backup"
else
    WINEPREFIX="$scratch/prefix" "$qob" info "$written" >/dev/null 2>&1 || fail "qob info cannot read $written"
fi
# It kept how it ended where the window looks at its next start.
grep -q '^lastwhole=1' "$QUIRE_HOME/autorun.dat" || fail "the run's end is not in autorun.dat"
# Installed, the program keeps the user's files in the user's data folder, not among the
# executables, even where it may write there (root, or this unpacked copy).
HOME="$scratch/user" XDG_DATA_HOME= env -u QUIRE_HOME "$qob" prefixes --choose "$scratch/prefix" >/dev/null 2>&1 ||
    fail "qob prefixes --choose failed"
[[ -f $scratch/user/.local/share/quire-outlook-backup/settings.dat ]] ||
    fail "settings.dat is not in the user's data folder"
[[ ! -e $root/usr/bin/settings.dat ]] || fail "settings.dat was written beside the installed programs"
exit $status
