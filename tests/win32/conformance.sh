#!/usr/bin/env bash
# Both backends on one target system: the Linux build (`qob`, Wine-prefix backend, reading the
# prefix's registry files) and the Windows build (`qob.exe` under Wine, Windows backend, reading the
# same prefix through advapi32) back up the same Outlook profile; the two backups must hold the
# same entries with the same bytes (the information file's time, computer and user lines and the
# scratch names of the registry exports aside). Then each restores the Linux backup into the second
# profile of two copies of one prefix: the same registry values and the same files must result.
# Usage: conformance.sh LINUX_QOB WINDOWS_QOB_EXE. Exit 77 (skipped) without the Linux program.
set -euo pipefail
linux_qob=$1
windows_qob=$2
if [ ! -x "$linux_qob" ] || ! command -v wine >/dev/null || ! command -v unzip >/dev/null; then
    echo "skipped: needs $linux_qob (make build), wine and unzip"
    exit 77
fi
work=$(mktemp -d /tmp/qob-conformance-XXXXXX)
trap 'WINEPREFIX="$work/prefix-w" wineserver -k >/dev/null 2>&1 || true
      WINEPREFIX="$work/restore-w" wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
mkdir -p "$work/home-l" "$work/home-w"

QUIRE_HOME=$work/home-l "$linux_qob" demo-prefix "$work/prefix" >/dev/null
# The Windows build gets its own copy of the prefix: Wine brings a prefix up to date when it starts.
cp -a "$work/prefix" "$work/prefix-w"
QUIRE_HOME=$work/home-l "$linux_qob" --quiet --prefix "$work/prefix" backup --profile Outlook "$work/linux.qob"

export WINEPREFIX=$work/prefix-w WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine "$windows_qob" --version >/dev/null
# A Windows program under Wine is the Unix user whatever the prefix's registry says, so the demo
# user's AppData and Contacts are given to that user too; the data files are found
# by the absolute paths the profile holds, as on Windows.
me=$(id -un)
for user in "$work/prefix/drive_c/users"/*; do
    name=$(basename "$user")
    if [ "$name" != Public ] && [ "$name" != "$me" ]; then
        for folder in AppData Contacts; do
            if [ -d "$user/$folder" ]; then
                mkdir -p "$WINEPREFIX/drive_c/users/$me/$folder"
                cp -a "$user/$folder/." "$WINEPREFIX/drive_c/users/$me/$folder/"
            fi
        done
    fi
done
home_w=$(winepath -w "$work/home-w" 2>/dev/null)
out_w=$(winepath -w "$work/windows.qob" 2>/dev/null)
QUIRE_HOME=$home_w wine "$windows_qob" --quiet backup --profile Outlook "$out_w"

mkdir -p "$work/l" "$work/w"
unzip -qo "$work/linux.qob" -d "$work/l"
unzip -qo "$work/windows.qob" -d "$work/w"

info() { # the information file without the lines that differ by run, scratch names made alike
    grep -v -E '^(BackupTime|BackupComputer|BackupLogonUser)=' "$1/quirebox.dat" | sed -E 's/qb[a-z][0-9a-f]+\.tmp/SCRATCH/g'
}
status=0
if ! diff <(info "$work/l") <(info "$work/w"); then
    echo "FAIL: the information files differ"
    status=1
fi
value() { grep -m1 "^$2=" "$1/quirebox.dat" | cut -d= -f2- | tr -d '\r'; }
# Registry exports, by the key that names them.
for key in BackupConfig BackupAccounts BackupConfigsetting; do
    l=$(value "$work/l" "$key")
    w=$(value "$work/w" "$key")
    if [ -n "$l$w" ] && ! cmp -s "$work/l/$l" "$work/w/$w"; then
        echo "FAIL: $key differs ($l, $w)"
        diff <(tr -d '\0' <"$work/l/$l") <(tr -d '\0' <"$work/w/$w") | head -20 || true
        status=1
    fi
done
# Every other entry, by name (companions sit in folders).
l_count=0
while IFS= read -r -d '' f; do
    name=${f#"$work/l/"}
    l_count=$((l_count + 1))
    case "$name" in quirebox.dat | qb*.tmp) continue ;; esac
    if ! cmp -s "$f" "$work/w/$name"; then
        echo "FAIL: $name differs or is missing from the Windows backup"
        status=1
    fi
done < <(find "$work/l" -type f -print0)
w_count=$(find "$work/w" -type f | wc -l)
if [ "$l_count" != "$w_count" ]; then
    echo "FAIL: $l_count entries from Linux, $w_count from Windows"
    status=1
fi
[ "$status" -eq 0 ] && echo "conformance: both backups hold the same $l_count entries"

# The restores. Both start from one prefix that Wine has run in (so its registry names the Wine
# user's folders, which qob.exe's %UserProfile% is too), the Wine server stopped before each copy
# and before the Linux program reads or writes it.
wineserver -w
cp -a "$WINEPREFIX" "$work/restore-w"
cp -a "$WINEPREFIX" "$work/restore-l"
mkdir -p "$work/home-r"
backup_w=$(winepath -w "$work/linux.qob" 2>/dev/null)
home_r=$(winepath -w "$work/home-r" 2>/dev/null)
WINEPREFIX=$work/restore-w QUIRE_HOME=$home_r wine "$windows_qob" --quiet restore --profile Second "$backup_w" ||
    {
        echo "FAIL: qob.exe restore exit $?"
        status=1
    }
WINEPREFIX=$work/restore-w wineserver -w
QUIRE_HOME=$work/home-r "$linux_qob" --quiet --prefix "$work/restore-l" restore --profile Second "$work/linux.qob" ||
    {
        echo "FAIL: qob restore exit $?"
        status=1
    }
# The registry of each, read the same way (the Linux program's export of the prefix's files):
# the restored profile, its accounts and Outlook's options.
export_key() { # prefix key out
    QUIRE_HOME=$work/home-r "$linux_qob" --quiet --prefix "$1" reg export "$2" "$3" >/dev/null
}
restored_keys=("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\15.0\\Outlook\\Profiles\\Second"
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\15.0\\Outlook\\Options")
n=0
for key in "${restored_keys[@]}"; do
    n=$((n + 1))
    export_key "$work/restore-l" "$key" "$work/reg-l-$n.txt"
    export_key "$work/restore-w" "$key" "$work/reg-w-$n.txt"
    if ! cmp -s "$work/reg-l-$n.txt" "$work/reg-w-$n.txt"; then
        echo "FAIL: the restored registry differs under $key"
        diff <(tr -d '\0' <"$work/reg-l-$n.txt") <(tr -d '\0' <"$work/reg-w-$n.txt") | head -20 || true
        status=1
    fi
done
# The restored profile must not be what it was before: the comparison above proves nothing of an
# untouched key.
export_key "$WINEPREFIX" "${restored_keys[0]}" "$work/reg-before.txt"
if cmp -s "$work/reg-before.txt" "$work/reg-l-1.txt"; then
    echo "FAIL: the restore left the second profile as it was"
    status=1
fi
# Files: the users' folders and Office's shared ones, with their contents; times aside, and the
# temporary folders aside too (the Windows build keeps its run locks in %TEMP%).
tree() { # every file below drive_c but Windows' own folder and the temporary ones, with a digest
    (cd "$1/drive_c" && find . \( -path ./windows -o -path './users/*/Temp' -o -path './users/*/AppData/Local/Temp' \) \
        -prune -o -type f -print0 | sort -z | xargs -0 -r sha1sum)
}
if ! diff <(tree "$work/restore-l") <(tree "$work/restore-w") >"$work/tree.diff"; then
    echo "FAIL: the restored files differ"
    head -20 "$work/tree.diff"
    status=1
fi
[ "$status" -eq 0 ] && echo "conformance: both restores leave the same registry and files"
exit "$status"
