#!/usr/bin/env bash
# The real quiremail.exe under Wine, started without arguments under Xvfb (with openbox when it is
# installed) on a demo target system and driven by xdotool keys alone: tick every item through the
# item boxes' menu, Backup Now from the File menu, answer the summary; then open a protected backup
# on the restore tab (the file dialog, the password prompt), restore it into the second profile with
# Restore Now, answer the summary; open the disc window from the Tools menu and its erase window,
# quit with Ctrl+Q. Then the Linux qob reads the backup back whole
# (qob verify) and finds every item of the profile in it, the run log says the restore was whole,
# and the window's progress trace shows the job's progress reached it. With SCREENSHOTS=DIR it also
# takes pictures of the windows on the way (scripts/win32-screenshots.sh), the main window also made
# larger; LOGPIXELS=192 runs it at 200 % (Wine's DPI setting), SMOKE_SCREEN sets Xvfb's screen.
# Usage: window_smoke.sh QUIREMAIL_EXE LINUX_QOB. Exit 77 (skipped) without xvfb-run, xdotool, wine
# or the Linux qob (make build).
set -euo pipefail

QUIREMAIL=$(realpath "$1")
QOB=$2
LIMIT=${SMOKE_LIMIT:-90} # seconds any one wait may take before the test fails
TITLE='Quire Outlook Backup'

fail() {
    echo "FAIL: $*" >&2
    if [[ -n "${WORK:-}" && -s "$WORK/quiremail.log" ]]; then
        echo "--- quiremail.exe's output:" >&2
        tail -40 "$WORK/quiremail.log" >&2
    fi
    exit 1
}

wait_for() {
    local what=$1
    shift
    local end=$((SECONDS + LIMIT))
    until "$@"; do
        ((SECONDS < end)) || fail "$what: not within ${LIMIT}s"
        sleep 0.2
    done
}

if [[ -z "${SMOKE_INSIDE:-}" ]]; then
    for tool in xvfb-run xdotool wine winepath; do
        command -v "$tool" >/dev/null || {
            echo "skipped: $tool is not installed"
            exit 77
        }
    done
    [[ -x "$QOB" ]] || {
        echo "skipped: needs the Linux qob at $QOB (make build)"
        exit 77
    }
    SMOKE_INSIDE=1 exec xvfb-run -a -s "-screen 0 ${SMOKE_SCREEN:-1280x1024x24}" "$0" "$QUIREMAIL" "$(realpath "$QOB")"
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/qob-winsmoke.XXXXXX")
# The Linux qob's own program folder; quiremail.exe is given its own below.
export QUIRE_HOME="$WORK/qobhome"
PID=
WM=
cleanup() {
    if [[ -n "$PID" ]] && kill -0 "$PID" 2>/dev/null; then
        kill "$PID" 2>/dev/null || true
    fi
    WINEPREFIX="$WORK/prefix" wineserver -k >/dev/null 2>&1 || true
    [[ -z "$WM" ]] || kill "$WM" 2>/dev/null || true
    [[ -n "${KEEP:-}" ]] || rm -rf "$WORK"
}
trap cleanup EXIT

if command -v openbox >/dev/null; then
    openbox --sm-disable >/dev/null 2>&1 &
    WM=$!
    # Ready once it names the current desktop on the root window, which it does after taking over
    # the screen's window requests: a window mapped while openbox was still starting stayed
    # unmapped at times, and the test waited for it in vain.
    wm_ready() {
        kill -0 "$WM" 2>/dev/null || fail "openbox exited at its start"
        xdotool get_desktop >/dev/null 2>&1
    }
    wait_for "the window manager" wm_ready
fi
# The demo target system is a Wine prefix whose registry files hold the profiles: Wine reads them as
# HKCU when it starts in it. A Windows program under Wine is the Unix user, so the demo user's
# folders are given to that user too; the data files are found by the absolute paths the profile
# holds, as on Windows.
"$QOB" demo-prefix "$WORK/prefix" >/dev/null || fail "qob demo-prefix"
me=$(id -un)
for user in "$WORK/prefix/drive_c/users"/*; do
    name=$(basename "$user")
    if [[ "$name" != Public && "$name" != "$me" ]]; then
        for folder in AppData Contacts; do
            if [[ -d "$user/$folder" ]]; then
                mkdir -p "$WORK/prefix/drive_c/users/$me/$folder"
                cp -a "$user/$folder/." "$WORK/prefix/drive_c/users/$me/$folder/"
            fi
        done
    fi
done
mkdir "$WORK/home"
# Nothing outside the program after the run: no Outlook started, no folder shown.
printf '[General]\r\nrunoutlookafterbackup=0\r\nrunoutlookafterrestore=0\r\nburndvd=0\r\n[Backup]\r\nopenfolderbackup=0\r\n' >"$WORK/home/settings.dat"
export WINEPREFIX="$WORK/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1 || true
if [[ -n "${LOGPIXELS:-}" ]]; then
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$LOGPIXELS" /f >/dev/null 2>&1
    wineserver -w
fi
# A point of a window at 100 %, where it is at the DPI the run uses.
px() { echo $(($1 * ${LOGPIXELS:-96} / 96)); }
# A protected backup of the signatures, made by the Linux qob, for the restore by keyboard.
printf 'smoke-secret\n' >"$WORK/password.txt"
"$QOB" --quiet --prefix "$WORK/prefix" backup --profile Outlook --items signatures \
    --password-file "$WORK/password.txt" "$WORK/protected.qob" >/dev/null 2>&1 || fail "qob backup --password-file"
PROTECTED=$(winepath -w "$WORK/protected.qob" 2>/dev/null)
# The Windows program's own folders, as Windows paths; the Linux qob below keeps its own.
QUIRE_HOME=$(winepath -w "$WORK/home" 2>/dev/null) QUIRE_WINDOW_TRACE=$(winepath -w "$WORK/trace.txt" 2>/dev/null) \
    wine "$QUIREMAIL" >"$WORK/quiremail.log" 2>&1 &
PID=$!

shot() { # name [window]: a picture of the window (the whole screen without one)
    [[ -n "${SCREENSHOTS:-}" ]] || return 0
    sleep 1
    import -window "${2:-root}" "$SCREENSHOTS/$1.png" || fail "screenshot $1"
}
windows() { xdotool search --onlyvisible --name "^$TITLE" 2>/dev/null || true; }
main_window_shown() {
    kill -0 "$PID" 2>/dev/null || fail "quiremail.exe exited before its window appeared"
    MAIN=$(windows | head -1)
    [[ -n "$MAIN" ]]
}
wait_for "the main window" main_window_shown
NAME=$(xdotool getwindowname "$MAIN")
[[ "$NAME" =~ ^"$TITLE "[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "the main window's title is \"$NAME\""
xdotool windowfocus --sync "$MAIN"
shot main-1-backup "$MAIN"
# With the window manager's frame: the title bar's icon and the frame that resizes the window.
[[ -z "${SCREENSHOTS:-}" ]] || import -frame -window "$MAIN" "$SCREENSHOTS/main-0-frame.png" || fail "screenshot main-0-frame"

# Every item: the profile box (Alt+P), Tab to the first item box, the menu key on it opens the item
# boxes' menu, whose first entry is "Select all items".
xdotool key --delay 100 alt+p Tab Menu Down Return
# The File menu (Alt+F is the menu's own key here: no label of the Backup tab takes F), then its
# first entry, "Backup Now".
xdotool key --delay 100 alt+f Return

summary_shown() {
    kill -0 "$PID" 2>/dev/null || fail "quiremail.exe exited during the backup"
    BOX=$(windows | grep -vx "$MAIN" | head -1 || true)
    [[ -n "$BOX" ]]
}
wait_for "the summary box after Backup Now" summary_shown
shot message-backup-completed "$BOX"
xdotool windowfocus --sync "$BOX"
xdotool key Return
box_gone() { ! windows | grep -qx "$BOX"; }
wait_for "the summary box to close on Enter" box_gone

# The restore tab (Ctrl+Tab), Browse (Alt+B): the file dialog takes the protected backup's path,
# the password prompt its password.
xdotool windowfocus --sync "$MAIN"
xdotool key --delay 100 ctrl+Tab alt+b
titled() { # title: the first visible window of that title, in FOUND
    kill -0 "$PID" 2>/dev/null || fail "quiremail.exe exited while waiting for \"$1\""
    FOUND=$(xdotool search --onlyvisible --name "^$1" 2>/dev/null | head -1 || true)
    [[ -n "$FOUND" ]]
}
wait_for "the file dialog of Browse" titled 'Restore Date from a backup file'
xdotool windowfocus --sync "$FOUND"
xdotool type --delay 20 "$PROTECTED"
xdotool key Return
wait_for "the password prompt" titled 'Please enter password'
shot password "$FOUND"
xdotool windowfocus --sync "$FOUND"
xdotool type --delay 20 smoke-secret
xdotool key Return
prompt_gone() { ! xdotool search --onlyvisible --name '^Please enter password' >/dev/null 2>&1; }
wait_for "the password prompt to close on Enter" prompt_gone
# Every item the backup holds (the item boxes' menu from the box before "Restore into profile"),
# into the profile "Second" (Alt+I, Down), then "Restore Now", the File menu's second entry.
xdotool windowfocus --sync "$MAIN"
xdotool key --delay 100 alt+i shift+Tab Menu Down Return alt+i Down
shot main-2-restore "$MAIN"
xdotool key --delay 100 alt+f Down Return
wait_for "the summary box after Restore Now" summary_shown
shot message-restore-completed "$BOX"
xdotool windowfocus --sync "$BOX"
xdotool key Return
wait_for "the restore's summary box to close on Enter" box_gone

# The disc window from the Tools menu (Alt+T, its one entry). Wine has no IMAPI2: a box first says
# the recorders cannot be used and why, and the window offers the image file. Then the erase window
# from its Device menu (Alt+D, the third entry); each window closes on Escape.
sleep 1 # the main window takes keys again once the box is gone, not when it is hidden
xdotool windowfocus --sync "$MAIN"
xdotool key --delay 100 alt+t Return
wait_for "the box that no recorder can be used" summary_shown
[[ "$(xdotool getwindowname "$BOX")" == "$TITLE" ]] || fail "the disc window's first box is \"$(xdotool getwindowname "$BOX")\""
shot message-no-recorder "$BOX"
xdotool windowfocus --sync "$BOX"
xdotool key Return
wait_for "the recorder box to close on Enter" box_gone
wait_for "the disc window" titled 'Backup Outlook Data to CD/DVD'
DISC=$FOUND
xdotool mousemove 0 0 # no tool tip over the picture
shot disc "$DISC"
xdotool windowfocus --sync "$DISC"
xdotool key --delay 100 alt+d Down Down Return
wait_for "the erase window" titled 'Erase Re-Writable CD/DVD'
ERASE=$FOUND
shot erase "$ERASE"
xdotool windowfocus --sync "$ERASE"
xdotool key Escape
gone() { ! xdotool search --onlyvisible --name "^$1" >/dev/null 2>&1; }
wait_for "the erase window to close on Escape" gone 'Erase Re-Writable CD/DVD'
sleep 1
xdotool windowfocus --sync "$DISC"
xdotool key Escape
wait_for "the disc window to close on Escape" gone 'Backup Outlook Data to CD/DVD'

if [[ -n "${SCREENSHOTS:-}" ]]; then
    sleep 1 # the main window takes keys again once the box is gone, not when it is hidden
    xdotool windowfocus --sync "$MAIN"
    # The other two tabs by Ctrl+Tab from the restore tab (keys: the headers' places depend on the
    # DPI's font).
    xdotool key ctrl+Tab
    shot main-3-logs "$MAIN"
    xdotool key ctrl+Tab
    shot main-4-about "$MAIN"
    # The Backup tab again in a larger window: the lists and fields take the room, the buttons
    # keep to the corner. Then back to its size.
    xdotool key ctrl+Tab
    eval "$(xdotool getwindowgeometry --shell "$MAIN")"
    xdotool windowsize --sync "$MAIN" $((WIDTH * 4 / 3)) $((HEIGHT * 5 / 4)) || true
    shot main-5-larger "$MAIN"
    xdotool windowsize --sync "$MAIN" "$WIDTH" "$HEIGHT" || true
    # The about window from the Help menu (Alt+H, then its second entry).
    xdotool key --delay 100 alt+h Down Return
    about_shown() { ABOUT=$(xdotool search --onlyvisible --name '^About Quire Outlook Backup' 2>/dev/null | head -1 || true); [[ -n "$ABOUT" ]]; }
    wait_for "the about window" about_shown
    shot about "$ABOUT"
    xdotool windowfocus --sync "$ABOUT"
    xdotool key Escape
    # The settings window from the Option menu (Alt+O, its second entry), each page by its header.
    sleep 1
    xdotool windowfocus --sync "$MAIN"
    xdotool key --delay 100 alt+o Down Return
    wait_for "the settings window" titled 'Settings'
    SETTINGS=$FOUND
    shot settings-1-general "$SETTINGS"
    # The first page's header, then the arrow keys on the tab control it focused.
    xdotool mousemove --window "$SETTINGS" "$(px 30)" "$(px 20)" click 1
    xdotool key Right
    shot settings-2-backup "$SETTINGS"
    xdotool key Right
    shot settings-3-scheduled-backup "$SETTINGS"
    xdotool windowfocus --sync "$SETTINGS"
    xdotool key Escape
fi

xdotool windowfocus --sync "$MAIN"
xdotool key ctrl+q
exited() { ! kill -0 "$PID" 2>/dev/null; }
wait_for "quiremail.exe to exit after Quit" exited
STATUS=0
wait "$PID" || STATUS=$?
PID=
((STATUS == 0)) || fail "quiremail.exe exited with $STATUS"

mapfile -t BACKUPS < <(find "$WORK/home" -name '*.qob' -type f)
((${#BACKUPS[@]} == 1)) || fail "expected one backup file, found ${#BACKUPS[@]}: ${BACKUPS[*]:-none}"
"$QOB" --prefix "$WORK/prefix" verify "${BACKUPS[0]}" >"$WORK/verify.txt" 2>&1 ||
    fail "qob verify refused the backup: $(cat "$WORK/verify.txt")"
items() { "$QOB" --prefix "$WORK/prefix" info "$1" | grep -i '^items' || true; }
"$QOB" --prefix "$WORK/prefix" backup --quiet --profile Outlook "$WORK/reference.qob" >/dev/null 2>&1 ||
    fail "qob backup of the same profile failed"
[[ "$(items "${BACKUPS[0]}")" == "$(items "$WORK/reference.qob")" && -n "$(items "$WORK/reference.qob")" ]] ||
    fail "the window's backup holds other items than every item of the profile:
$(items "${BACKUPS[0]}")
expected:
$(items "$WORK/reference.qob")"

# The restore into the second profile: the run log's last entry says it was whole.
LAST=$(tr -d '\r' <"$WORK/home/brlog.dat" | grep -v '^$' | tail -1)
[[ "$LAST" == *"Restore Data to Profile Second was Completed!" ]] || fail "the restore's last log entry: $LAST"

[[ -s "$WORK/trace.txt" ]] || fail "the window drew no progress (empty trace)"
PERCENTS=$(tr -d '\r' <"$WORK/trace.txt" | awk '$1 == "progress" { print $2 }' | sort -un | wc -l)
((PERCENTS >= 2)) || fail "the progress panel showed $PERCENTS different percent(s): $(cat "$WORK/trace.txt")"
echo "window smoke: backed up and restored by keyboard, $(basename "${BACKUPS[0]}") verified, $PERCENTS progress steps drawn"
