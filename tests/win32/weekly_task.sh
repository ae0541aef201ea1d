#!/usr/bin/env bash
# The weekly backup on Windows from end to end, under Wine, in a prefix of its own: qob.exe registers
# the task through System32's schtasks.exe (a stand-in there, since Wine's has no /query, /end or
# /sc), reads it back, the task's action is started as the task scheduler starts it, and the
# backup it writes is checked; a second registration replaces the first; the logon entry makes up
# a missed run once; removing the task takes its password file and logon entry away too. Names
# with two blanks and outside ASCII on the way.
# Usage: weekly_task.sh QOB_EXE QUIREMAIL_EXE STANDIN_EXE LINUX_QOB. Exit 77 (skipped) without Wine.
set -euo pipefail
qob_exe=$1
quiremail_exe=$2
standin=$3
linux_qob=$4
if ! command -v wine >/dev/null || ! command -v wineserver >/dev/null || [ ! -x "$linux_qob" ]; then
    echo "skipped: needs wine and $linux_qob"
    exit 77
fi
work=$(mktemp -d /tmp/qob-weekly-XXXXXX)
# Wine prefers its own builtin schtasks.exe to a file put in its place unless told otherwise; it
# reads the command line in the locale's character set.
export WINEPREFIX=$work/prefix WINEDEBUG=-all LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;schtasks.exe=n"
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
wineboot --init >/dev/null 2>&1
wineserver -w
cp "$standin" "$WINEPREFIX/drive_c/windows/system32/schtasks.exe"

# The program as installed: both programs in one folder, where the task's password file goes.
prog=$work/Quire
mkdir -p "$prog" "$work/backups/Wöchentlich  Копии"
cp "$qob_exe" "$quiremail_exe" "$prog/"
winpath() { printf 'Z:%s' "${1//\//\\}"; }
qob() { wine "$prog/qob.exe" "$@" 2>&1 | tr -d '\r'; }

run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
catchup_entry() {
    wine reg query "$run_key" /v "Quire Outlook Backup (missed weekly backup)" 2>/dev/null | tr -d '\r' |
        sed -n -E 's/^ +Quire Outlook Backup \(missed weekly backup\) +REG_SZ +//p'
}

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

qob demo-profile 'C:\demo' >/dev/null
printf 's3cret' >"$work/pw.txt"
backup="$work/backups/Wöchentlich  Копии/mail  weekly.qob"

# step | items | days | time | what `schedule show` must say
steps=(
    "first|data|Mon,Fri|21:30|Mon,Fri at 21:30"
    "replaced|data,accounts|Sun|7:05|Sun at 7:05"
)
for row in "${steps[@]}"; do
    IFS='|' read -r step items days time shown <<<"$row"
    out=$(qob schedule add --profile Outlook --items "$items" --days "$days" --time "$time" \
        --password-file "$(winpath "$work/pw.txt")" "$(winpath "$backup")") || fail "[$step] schedule add: $out"
    out=$(qob schedule show) || fail "[$step] schedule show: $out"
    for word in "$shown" "Outlook" "mail  weekly.qob"; do
        [[ $out == *"$word"* ]] || fail "[$step] schedule show does not say [$word]: $out"
    done
    [ -f "$prog/autobackup-password-task" ] || fail "[$step] no password file beside the program"
    [ "$(catchup_entry)" = "\"$(winpath "$prog")\\quiremail.exe\" --catch-up" ] ||
        fail "[$step] the logon entry that makes up missed runs is [$(catchup_entry)]"
done

# The task scheduler starts the action: the automatic run writes a new backup, protected, named
# after the run's time.
wine schtasks /run /tn "Quire Outlook AutoBackup" >/dev/null 2>&1 || fail "the weekly run exited $?"
wineserver -w
made=("$work/backups/Wöchentlich  Копии/mail  weekly-"*.qob)
if [ -f "${made[0]}" ]; then
    backup=${made[0]}
    QUIRE_HOME=$work "$linux_qob" verify --password-file "$work/pw.txt" "$backup" >/dev/null ||
        fail "the weekly run's backup does not verify"
    QUIRE_HOME=$work "$linux_qob" info --password-file "$work/pw.txt" "$backup" >"$work/info.txt" 2>&1 || true
    grep -E -q '^Items: .*accounts' "$work/info.txt" || fail "the second registration's items were not backed up"
    if QUIRE_HOME=$work "$linux_qob" verify "$backup" </dev/null >/dev/null 2>&1; then
        fail "the weekly run's backup opens without the password"
    fi
else
    fail "the weekly run wrote no backup"
fi

# Logon after the machine was off at the task's time: the missed run is made up once, and only once
# (a run in the same minute would write the same file name: the run's own record tells them apart).
lastrun() { sed -n 's/^lastrun=//p' "$prog/autorun.dat"; }
sed -i -E 's/^(registered|lastrun)=.*/\1=1000000000/' "$prog/autorun.dat"
wine "$prog/quiremail.exe" --catch-up >/dev/null 2>&1 || fail "the catch-up run exited $?"
wineserver -w
made=$(lastrun)
[ "$made" != 1000000000 ] || fail "the catch-up did not make up the missed run"
wine "$prog/quiremail.exe" --catch-up >/dev/null 2>&1 || fail "the second catch-up exited $?"
[ "$(lastrun)" = "$made" ] || fail "the catch-up ran again though nothing was missed since"

out=$(qob schedule remove) || fail "schedule remove: $out"
[ -z "$(catchup_entry)" ] || fail "the logon entry stayed after the task was removed"
out=$(qob schedule show) || true
[[ $out == *"at 21:30"* || $out == *"at 7:05"* ]] && fail "the task is still shown after its removal: $out"
[ -e "$prog/autobackup-password-task" ] && fail "the password file stayed after the task was removed"
[ -e "$WINEPREFIX/drive_c/windows/system32/schtasks.exe.task" ] && fail "the task stayed in the scheduler"

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "weekly task: registered, read back, run, replaced and removed"
