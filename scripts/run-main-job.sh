#!/usr/bin/env bash
# The main job of `make run`. With a display (and a build with windows) it opens the main window on
# the target system; without one (or with WINDOW=0) it shows what the program sees of the target
# system, backs up its first profile with every item through the automatic run, shows the result and
# restores it into the demo's second profile.
set -euo pipefail
build=${1:-build}
build=$(cd "$build" && pwd)
if [ -z "${WINEPREFIX:-}" ]; then
    # No prefix given: a demo target system under the build folder, never the user's ~/.wine.
    export WINEPREFIX="$build/demo-prefix"
    [ -f "$WINEPREFIX/user.reg" ] && grep -q Profiles "$WINEPREFIX/user.reg" || "$build/qob" demo-prefix "$WINEPREFIX" >/dev/null
fi
if [ "${WINDOW:-1}" != 0 ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; } &&
    grep -q '^QOB_BUILD_GUI:BOOL=ON' "$build/CMakeCache.txt"; then
    echo "Opening the main window on $WINEPREFIX (program folder $build; WINDOW=0 make run for the demo without it)"
    QUIRE_HOME="${QUIRE_HOME:-$build}" exec "$build/quiremail"
fi
"$build/qob" sysinfo

export QUIRE_HOME="${QUIRE_HOME:-$build}"
profile=$("$build/qob" profiles | head -1)
backup="$build/demo-backup.qob"
log="$QUIRE_HOME/brlog.dat"
before=0
[ -f "$log" ] && before=$(wc -l <"$log")
"$build/quiremail" " sf=${profile}xm=111111111ps=bf=$backup"
echo "--- run log"
lines=$(tail -n +"$((before + 1))" "$log" | tr -d '\r' | sed '/^$/d')
echo "$lines"
# In "new file" mode (the default) the run stamps the name with the time: take it from the log.
written=$(echo "$lines" | sed -n 's/.* Backup File is //p' | tail -1)
echo "--- qob info $written"
"$build/qob" info "$written"

# On the demo target system, restore the backup into the second profile and show what it changed.
if [ "${WINEPREFIX}" = "$build/demo-prefix" ]; then
    target=$("$build/qob" profiles | sed -n 2p)
    root='HKEY_CURRENT_USER\Software\Microsoft\Office\15.0\Outlook\Profiles'
    "$build/qob" reg export "$root\\$target" "$build/restore-before.txt"
    marker="$build/restore-marker"
    touch "$marker"
    sleep 1
    echo "--- qob restore $written --profile $target"
    "$build/qob" restore "$written" --profile "$target" || true
    "$build/qob" reg export "$root\\$target" "$build/restore-after.txt"
    echo "--- registry of profile $target: values removed (-) and rewritten (+)"
    diff <(tr -d '\r' <"$build/restore-before.txt") <(tr -d '\r' <"$build/restore-after.txt") |
        grep '^[<>]' | sed 's/^</-/; s/^>/+/' | cut -c1-160 || true
    echo "--- data files each profile uses now"
    "$build/qob" profiles --verbose 2>/dev/null
    echo "--- files written by the restore"
    find "$WINEPREFIX/drive_c" -newer "$marker" -type f | sed "s|^$WINEPREFIX/||" | sort
fi
