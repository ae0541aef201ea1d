#!/usr/bin/env bash
# The real quiremail, started without arguments under Xvfb (with the openbox window manager when it
# is installed) on a demo prefix and driven by xdotool keys alone, as a user would: tick every item,
# Backup Now from the File menu, answer the summary; the disc window opens on the new backup: pick
# the image-file drive, write an image, answer "Write Complete!", close it with Escape; quit with
# Ctrl+Q. Then the backup and the image are checked, the window's progress trace is read, and
# nothing temporary may be left. Every wait polls for a condition up to a generous limit.
# Usage: window_backup.sh QUIREMAIL QOB
# Exit 77 (skipped) when xvfb-run or xdotool is missing.
set -euo pipefail

QUIREMAIL=$(realpath "$1")
QOB=$(realpath "$2")
LIMIT=${SMOKE_LIMIT:-60} # seconds any one wait may take before the test fails
TITLE='Quire Outlook Backup'

fail() {
    echo "FAIL: $*" >&2
    if [[ -n "${WORK:-}" && -s "$WORK/quiremail.log" ]]; then
        echo "--- quiremail's output:" >&2
        cat "$WORK/quiremail.log" >&2
    fi
    # What was on the display, and where quiremail waited: a window that never came is otherwise
    # unexplained.
    if [[ -n "${SMOKE_INSIDE:-}" ]]; then
        echo "--- windows on the display:" >&2
        for id in $(xdotool search --name '' 2>/dev/null || true); do
            echo "$id $(xdotool getwindowname "$id" 2>/dev/null || true)" >&2
        done
    fi
    if [[ -n "${PID:-}" ]] && kill -0 "$PID" 2>/dev/null && command -v gdb >/dev/null; then
        echo "--- quiremail's threads:" >&2
        timeout 60 gdb -p "$PID" -batch -ex 'thread apply all bt 12' 2>/dev/null | grep -E '^(#|Thread)' >&2 || true
    fi
    exit 1
}

# Polls `$@` until it succeeds; fails naming `what` when LIMIT seconds pass first.
wait_for() {
    local what=$1
    shift
    local end=$((SECONDS + LIMIT))
    until "$@"; do
        ((SECONDS < end)) || fail "$what: not within ${LIMIT}s"
        sleep 0.1
    done
}

if [[ -z "${SMOKE_INSIDE:-}" ]]; then
    for tool in xvfb-run xdotool; do
        command -v "$tool" >/dev/null || {
            echo "skipped: $tool is not installed (packages xvfb, xauth, xdotool)"
            exit 77
        }
    done
    # The display the window needs, of its own; the rest of this script runs inside it. A window
    # manager, as users have: it places, decorates and focuses new windows (and catches windows that
    # misbehave under one, such as a crash when a modal box closes).
    SMOKE_INSIDE=1 exec xvfb-run -a -s '-screen 0 1280x1024x24' "$0" "$QUIREMAIL" "$QOB"
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/qob-smoke.XXXXXX")
PID=
cleanup() {
    if [[ -n "$PID" ]] && kill -0 "$PID" 2>/dev/null; then
        kill "$PID" 2>/dev/null || true
    fi
    if [[ -n "${WM:-}" ]]; then
        kill "$WM" 2>/dev/null || true
    fi
    [[ -n "${KEEP:-}" ]] || rm -rf "$WORK"
}
trap cleanup EXIT

WM=
if command -v openbox >/dev/null; then
    openbox --sm-disable >/dev/null 2>&1 &
    WM=$!
fi
"$QOB" demo-prefix "$WORK/prefix" >/dev/null || fail "qob demo-prefix"
mkdir "$WORK/home"
# Nothing outside the program: after the run neither Outlook is started (Wine would boot the demo
# prefix) nor the backup's folder shown in the file manager. The disc window opens, as it does by
# default.
printf '[General]\r\nrunoutlookafterbackup=0\r\nburndvd=1\r\n[Backup]\r\nopenfolderbackup=0\r\n' >"$WORK/home/settings.dat"
(cd "$WORK" && find . -type f | sort >"$WORK/before.txt")

# Qt's own dialogs, not the desktop theme's, and no session of the machine running the test.
export WINEPREFIX="$WORK/prefix" QUIRE_HOME="$WORK/home" QUIRE_WINDOW_TRACE="$WORK/trace.txt"
# No session bus either: Qt asks the session bus synchronously at start-up (global menu, tray,
# accessibility), and a bus of the machine's that accepts but never answers held the window back
# for over a minute. The address names a socket that does not exist, so Qt goes on at once.
export QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME= XDG_RUNTIME_DIR="$WORK/runtime"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$WORK/runtime/no-bus"
mkdir -m 700 "$WORK/runtime"
unset WAYLAND_DISPLAY XDG_CURRENT_DESKTOP DBUS_SYSTEM_BUS_ADDRESS AT_SPI_BUS_ADDRESS
"$QUIREMAIL" >"$WORK/quiremail.log" 2>&1 &
PID=$!

# Visible top-level windows whose title begins with our name: the main window (its caption adds the
# version) and any message box on it.
windows() { xdotool search --onlyvisible --name "^$TITLE" 2>/dev/null || true; }
main_window_shown() {
    kill -0 "$PID" 2>/dev/null || fail "quiremail exited before its window appeared"
    MAIN=$(windows | head -1)
    [[ -n "$MAIN" ]]
}
wait_for "the main window" main_window_shown
# The program's name and version, once: no display name added by Qt to the title.
NAME=$(xdotool getwindowname "$MAIN")
[[ "$NAME" =~ ^"$TITLE "[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "the main window's title is \"$NAME\""
# Give the window the keyboard ourselves: without a window manager nothing else does.
xdotool windowfocus --sync "$MAIN"

# Every item: the profile box (Alt+P), Tab to the first item box, the context menu key on it opens
# the item group's menu, whose first entry is "Select all items".
xdotool key --delay 50 alt+p Tab Menu Down Return
# Alt alone puts the menu bar in keyboard mode on "File(&F)"; Down opens it on "Backup Now". (Alt+F
# itself is also the mnemonic of the "Backup file:" label, so it would focus that field first.)
xdotool key --delay 50 alt Down Return

# The summary box: a second window with our title.
summary_shown() {
    kill -0 "$PID" 2>/dev/null || fail "quiremail exited during the backup"
    BOX=$(windows | grep -vx "$MAIN" | head -1 || true)
    [[ -n "$BOX" ]]
}
wait_for "the summary box after Backup Now" summary_shown
xdotool windowfocus --sync "$BOX"
xdotool key Return
box_gone() { ! windows | grep -qx "$BOX"; }
wait_for "the summary box to close on Enter" box_gone

# The disc window, modal, with the new backup in its image. Tab from the folder tree to the drive
# list (tree, file list, volume name, drive); End picks the image-file drive, listed last.
disc_shown() {
    kill -0 "$PID" 2>/dev/null || fail "quiremail exited before the disc window appeared"
    DISC=$(xdotool search --onlyvisible --name '^Backup Outlook Data to CD/DVD' 2>/dev/null | head -1 || true)
    [[ -n "$DISC" ]]
}
wait_for "the disc window after the summary" disc_shown
xdotool windowfocus --sync "$DISC"
xdotool key --delay 100 Tab Tab Tab End alt+w
# The save dialog offers "Outlook Data Backup CD.iso" beside the backup: Enter takes it.
save_shown() {
    kill -0 "$PID" 2>/dev/null || fail "quiremail exited before the save dialog appeared"
    SAVE=$(xdotool search --onlyvisible --name '^Save the Disc Image As' 2>/dev/null | head -1 || true)
    [[ -n "$SAVE" ]]
}
wait_for "the image's save dialog" save_shown
xdotool windowfocus --sync "$SAVE"
xdotool key Return
written_box() {
    kill -0 "$PID" 2>/dev/null || fail "quiremail exited while the image was written"
    BOX=$(windows | grep -vx "$MAIN" | head -1 || true)
    [[ -n "$BOX" ]]
}
wait_for "the \"Write Complete!\" box" written_box
xdotool windowfocus --sync "$BOX"
xdotool key Return
wait_for "the write's box to close on Enter" box_gone
# The program must live on after the box (it once crashed here), and Escape closes the idle window.
sleep 0.5
kill -0 "$PID" 2>/dev/null || fail "quiremail ended after the disc write's box"
xdotool windowfocus --sync "$DISC"
xdotool key Escape
disc_gone() { ! xdotool search --onlyvisible --name '^Backup Outlook Data to CD/DVD' >/dev/null 2>&1; }
wait_for "the disc window to close on Escape" disc_gone

# Quit: Ctrl+Q.
xdotool windowfocus --sync "$MAIN"
xdotool key ctrl+q
exited() { ! kill -0 "$PID" 2>/dev/null; }
wait_for "quiremail to exit after Quit" exited
STATUS=0
wait "$PID" || STATUS=$?
PID=
((STATUS == 0)) || fail "quiremail exited with $STATUS"

# The backup: one new .qob that qob reads back whole, with every item of the profile in it.
mapfile -t BACKUPS < <(find "$WORK" -name '*.qob' -type f)
((${#BACKUPS[@]} == 1)) || fail "expected one backup file, found ${#BACKUPS[@]}: ${BACKUPS[*]:-none}"
"$QOB" --prefix "$WORK/prefix" verify "${BACKUPS[0]}" >"$WORK/verify.txt" 2>&1 ||
    fail "qob verify refused the backup: $(cat "$WORK/verify.txt")"
"$QOB" --prefix "$WORK/prefix" info "${BACKUPS[0]}" >"$WORK/info.txt" 2>&1 || fail "qob info failed"
# qob backup without --items stores every item the profile has: the window must have ticked the same.
"$QOB" --prefix "$WORK/prefix" backup --quiet --profile Outlook "$WORK/reference.qob" >/dev/null 2>&1 ||
    fail "qob backup of the same profile failed"
items() { "$QOB" --prefix "$WORK/prefix" info "$1" | grep -i 'items' || true; }
[[ "$(items "${BACKUPS[0]}")" == "$(items "$WORK/reference.qob")" && -n "$(items "$WORK/reference.qob")" ]] ||
    fail "the window's backup holds other items than every item of the profile:
$(items "${BACKUPS[0]}")
expected:
$(items "$WORK/reference.qob")"
rm -f "$WORK/reference.qob"

# The image: an ISO 9660 file beside the backup that holds it.
ISO="$WORK/home/Outlook Data Backup CD.iso"
[[ -s "$ISO" ]] || fail "no disc image at $ISO"
if command -v xorriso >/dev/null; then
    xorriso -indev "$ISO" -find / -type f 2>/dev/null | grep -q "$(basename "${BACKUPS[0]}")" ||
        fail "the image does not hold $(basename "${BACKUPS[0]}")"
fi

# Progress reached the window while the job ran: at least two different percents were drawn.
[[ -s "$WORK/trace.txt" ]] || fail "the window drew no progress (empty trace)"
PERCENTS=$(awk '$1 == "progress" { print $2 }' "$WORK/trace.txt" | sort -un | wc -l)
((PERCENTS >= 2)) || fail "the progress panel showed $PERCENTS different percent(s):
$(cat "$WORK/trace.txt")"

# Nothing temporary left: every new file is the backup or one of the program folder's own files.
(cd "$WORK" && find . -type f | sort) >"$WORK/after.txt"
LEFT=$(comm -13 "$WORK/before.txt" "$WORK/after.txt" |
    grep -vxE '\./(home/(brlog|settings)\.dat|home/[^/]+\.(qob|iso)|trace\.txt|quiremail\.log|(before|after|verify|info)\.txt)' ||
    true)
[[ -z "$LEFT" ]] || fail "files left behind: $LEFT"
echo "ok: $(basename "${BACKUPS[0]}") and its disc image, $PERCENTS different percents drawn, $(wc -l <"$WORK/trace.txt") redraws"
