#!/usr/bin/env bash
# The Windows installer under Wine, in a prefix of its own: a silent install for the current user
# and one for all users, each checked for its files, Start menu entry, the .qob association, the
# uninstall entry and the installed programs' --version, the all-users one also for the double-click
# of a .qob and for file names outside the ANSI code page; then the silent uninstall of each must
# remove the program files and keys and keep what the user made there (settings.dat, brlog.dat, a
# backup), leave a .qob association that another program took since alone, and remove the
# start-up entry only when it names this installation.
# Usage: installer.sh SETUP_EXE VERSION. Exit 77 (skipped) without Wine.
set -euo pipefail
setup=$1
version=$2
if ! command -v wine >/dev/null || ! command -v wineserver >/dev/null; then
    echo "skipped: needs wine"
    exit 77
fi
work=$(mktemp -d /tmp/qob-installer-XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all
# No menu entries or file types of the Linux desktop for what is installed in a test prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
wineboot --init >/dev/null 2>&1
# Wine's null display driver from the start: the installed quiremail.exe opens its window with no X
# server, and no process of the prefix was started on another driver.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w

failures=0
fail() {
    echo "FAIL [$mode]: $*"
    failures=$((failures + 1))
}
# The data of one registry value ("" when it or its key is missing); "(Default)" for the unnamed one.
regvalue() {
    local out
    if [ "$2" = "(Default)" ]; then
        out=$(wine reg query "$1" /ve 2>/dev/null) || return 0
    else
        out=$(wine reg query "$1" /v "$2" 2>/dev/null) || return 0
    fi
    printf '%s\n' "$out" | tr -d '\r' | grep -F "    $2    " | sed -E 's/^ +[^ ].*    REG_[A-Z_]+    //' || true
}
haskey() { wine reg query "$1" >/dev/null 2>&1; }

# A double-click of a .qob: the desktop's "open" of the file (start.exe, ShellExecuteEx) through the
# association the install made, for names with spaces and characters outside the ANSI code page;
# the installed quiremail.exe must show that very file on its restore tab (the window's trace says
# what the tab shows). The window runs on Wine's null display: no X server needed. Run for the
# all-users install only: Wine 8 does not merge HKCU\Software\Classes into HKEY_CLASSES_ROOT, so
# it finds no per-user association (Windows does; the per-user keys are checked above).
double_click_and_names() {
    local dir=$1
    mkdir -p "$c/demo"
    wine "$dir/qob.exe" demo-profile 'C:\demo' >/dev/null 2>&1 || fail "qob.exe demo-profile failed"
    local names=('C:\My backups\Outlook 2026.qob' 'C:\Почта\Копия メール.qob')
    for name in "${names[@]}"; do
        local unix trace shown=""
        unix=$(winepath -u "$name" 2>/dev/null)
        mkdir -p "$(dirname "$unix")"
        wine "$dir/qob.exe" --quiet backup --profile Outlook --items accounts "$name" >/dev/null 2>&1 ||
            fail "qob.exe could not back up into $name"
        trace=$work/trace.txt
        rm -f "$trace"
        QUIRE_WINDOW_TRACE=$(winepath -w "$trace" 2>/dev/null) wine start "$name" >/dev/null 2>&1 ||
            fail "start of $name failed"
        for _ in $(seq 1 300); do
            if [ -f "$trace" ]; then
                shown=$(tr -d '\r' <"$trace" | sed -n 's/^open //p' | head -1)
                [ -z "$shown" ] || break
            fi
            sleep 0.2
        done
        [ "$shown" = "$name" ] || fail "the double-click of $name showed [$shown] on the restore tab"
        wine taskkill /f /im quiremail.exe >/dev/null 2>&1 || true
        wineserver -w
    done

    # The same names through the other programs: qob.exe reads, images and restores the backup, and
    # the weekly task's command line (as the task scheduler hands it over) writes into a folder of
    # such a name. Each failed before: the ANSI argv, or the string made a path byte by byte.
    local name='C:\Почта\Копия メール.qob'
    wine "$dir/qob.exe" info "$name" >"$work/info.txt" 2>&1 || fail "qob.exe info $name: $(cat "$work/info.txt")"
    wine "$dir/qob.exe" --quiet disc image 'C:\Почта\Диск メール.iso' "$name" >/dev/null 2>&1 ||
        fail "qob.exe disc image of $name failed"
    [ -s "$c/Почта/Диск メール.iso" ] || fail "no disc image under its own name"
    wine "$dir/qob.exe" --quiet restore "$name" --profile Second --items accounts >/dev/null 2>&1 ||
        fail "qob.exe restore of $name failed"
    wine "$dir/quiremail.exe" ' sf=Outlookxm=010000000ps=bf=C:\Почта\Еженедельно メール.qob' >/dev/null 2>&1 ||
        fail "the weekly task's run into C:\Почта failed"
    local weekly
    weekly=$(find "$c/Почта" -name 'Еженедельно メール*.qob' | head -1)
    [ -n "$weekly" ] || fail "the weekly task's run left no backup in C:\Почта"
    wine "$dir/qob.exe" verify "$(winepath -w "$weekly" 2>/dev/null)" >/dev/null 2>&1 ||
        fail "qob.exe verify refused the weekly run's backup"
    rm -rf "$c/demo" "$c/My backups" "$c/Почта"
}

run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
catchup='Quire Outlook Backup (missed weekly backup)'
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\QuireOutlookBackup'
c=$WINEPREFIX/drive_c
user=$(id -un)

# mode | option | root | install folder | Start menu folder
cases=(
    "per-user|/CurrentUser|HKCU|users/$user/AppData/Local/Programs/Quire Outlook Backup|users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
    "all-users|/AllUsers|HKLM|Program Files/Quire Outlook Backup|ProgramData/Microsoft/Windows/Start Menu/Programs"
)
for row in "${cases[@]}"; do
    IFS='|' read -r mode option root folder menu <<<"$row"
    dir=$c/$folder
    windir=$(winepath -w "$dir" 2>/dev/null | tr -d '\r')
    wine "$setup" /S "$option" || fail "the silent install exited $?"
    wineserver -w

    for f in qob.exe quiremail.exe uninstall.exe README.md help/index.html; do
        [ -f "$dir/$f" ] || fail "$f was not installed into $folder"
    done
    [ -f "$c/$menu/Quire Outlook Backup.lnk" ] || fail "no Start menu entry in $menu"
    [ "$(regvalue "$root\\Software\\Classes\\.qob" "(Default)")" = QuireOutlookBackup.qob ] ||
        fail ".qob is not associated under $root"
    expected="\"$windir\\quiremail.exe\" --open \"%1\""
    got=$(regvalue "$root\\Software\\Classes\\QuireOutlookBackup.qob\\shell\\open\\command" "(Default)")
    [ "$got" = "$expected" ] || fail "open command is [$got], expected [$expected]"
    [ "$(regvalue "$root\\$uninstall_key" InstallLocation)" = "$windir" ] || fail "no uninstall entry under $root"
    for program in quiremail qob; do
        out=$(wine "$dir/$program.exe" --version 2>/dev/null | tr -d '\r')
        [ "$out" = "$program (Quire Outlook Backup) $version" ] || fail "installed $program.exe --version said [$out]"
    done

    [ "$mode" != all-users ] || double_click_and_names "$dir"

    # What the user made in the program folder, and the start-up entry as the settings window writes it.
    echo "[General]" >"$dir/settings.dat"
    echo "log" >"$dir/brlog.dat"
    echo "backup" >"$dir/Outlook.qob"
    wine reg add "$run_key" /v "Quire Outlook Backup" /d "\"$windir\\quiremail.exe\"" /f >/dev/null 2>&1
    # ... and the logon entry a weekly task adds to make up missed runs.
    wine reg add "$run_key" /v "$catchup" /d "\"$windir\\quiremail.exe\" --catch-up" /f >/dev/null 2>&1
    wine "$dir/uninstall.exe" /S || fail "the silent uninstall exited $?"
    # The uninstaller copies itself away and runs from there: wait for it.
    wineserver -w

    for f in qob.exe quiremail.exe uninstall.exe README.md help/index.html; do
        [ ! -e "$dir/$f" ] || fail "$f is still there after the uninstall"
    done
    for f in settings.dat brlog.dat Outlook.qob; do
        [ -f "$dir/$f" ] || fail "the uninstall removed the user's $f"
    done
    [ ! -e "$c/$menu/Quire Outlook Backup.lnk" ] || fail "the Start menu entry is still there"
    for key in "$root\\Software\\Classes\\.qob" "$root\\Software\\Classes\\QuireOutlookBackup.qob" \
        "$root\\$uninstall_key"; do
        if haskey "$key"; then fail "$key is still there"; fi
    done
    [ -z "$(regvalue "$run_key" "Quire Outlook Backup")" ] || fail "the start-up entry is still there"
    [ -z "$(regvalue "$run_key" "$catchup")" ] || fail "the catch-up entry is still there"
    rm -rf "$dir"
done

# What is not ours stays: a .qob association another program took after the install, and a
# start-up entry that names another copy of the program.
mode=foreign
dir=$c/users/$user/AppData/Local/Programs/Quire\ Outlook\ Backup
wine "$setup" /S /CurrentUser || fail "the silent install exited $?"
wineserver -w
wine reg add 'HKCU\Software\Classes\.qob' /ve /d Other.Program /f >/dev/null 2>&1
wine reg add "$run_key" /v "Quire Outlook Backup" /d '"D:\portable\quiremail.exe"' /f >/dev/null 2>&1
wine reg add "$run_key" /v "$catchup" /d '"D:\portable\quiremail.exe" --catch-up' /f >/dev/null 2>&1
wine "$dir/uninstall.exe" /S || fail "the silent uninstall exited $?"
wineserver -w
[ "$(regvalue 'HKCU\Software\Classes\.qob' "(Default)")" = Other.Program ] ||
    fail "the uninstall took .qob from the program that owns it now"
[ "$(regvalue "$run_key" "Quire Outlook Backup")" = '"D:\portable\quiremail.exe"' ] ||
    fail "the uninstall removed another copy's start-up entry"
[ "$(regvalue "$run_key" "$catchup")" = '"D:\portable\quiremail.exe" --catch-up' ] ||
    fail "the uninstall removed another copy's catch-up entry"
if haskey 'HKCU\Software\Classes\QuireOutlookBackup.qob'; then fail "our file type is still there"; fi
[ ! -e "$dir" ] || fail "the empty install folder is still there"

if [ "$failures" -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
echo "installer: per-user, all-users and foreign-entry cases passed"
