#!/usr/bin/env bash
# The shell completions of qob: the bash one, sourced into a plain bash (no bash-completion
# package), completes commands, options, subcommands and item lists; the zsh one parses.
# Usage: check-completion.sh SOURCE_FOLDER
set -uo pipefail
src="$1"
status=0
# shellcheck source=/dev/null
source "$src/data/completion/qob.bash" || exit 1
complete -p qob >/dev/null || { echo "no completion registered for qob"; exit 1; }

# expect "WANTED REPLIES" WORDS...: completes the last word of WORDS.
expect() {
    local wanted="$1"
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _qob 2>/dev/null
    if [[ "${COMPREPLY[*]}" != "$wanted" ]]; then
        echo "FAIL: '$*' completed to '${COMPREPLY[*]}', expected '$wanted'"
        status=1
    fi
}

cd "$(mktemp -d)" || exit 1
trap 'rm -rf "$PWD"' EXIT
touch a.qob b.txt
expect "restore" qob res
expect "data" qob --items d
expect "data" qob restore x.qob --items d
expect "data,signatures data,stationery" qob backup --items data,s
expect "pab preferences" qob --prefix /p restore --items p
expect "add" qob schedule a
expect "Mon,Fri" qob schedule add --days Mon,F
expect "export" qob reg ex
expect "drives" qob disc dr
expect "--volume-id --verify" qob disc image --v
expect "--profile" qob restore a.qob --prof
expect "--json" qob prefixes --j
expect "a.qob" qob info ""
expect "--version" qob --vers

if command -v zsh >/dev/null; then
    zsh -n "$src/data/completion/_qob" || { echo "FAIL: _qob does not parse"; status=1; }
fi
exit $status
