#!/usr/bin/env bash
# The shell completions of qob, each run as a user's TAB would: the bash one sourced into a plain
# bash (no bash-completion package), the zsh one in an interactive zsh on a pseudo-terminal, the
# fish one through fish's own `complete -C`. Profile names come from QOB on a demo target system.
# Usage: check-completion.sh SOURCE_FOLDER QOB
set -uo pipefail
src="$1"
qob="$2"
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

expect "--password --password-file" qob info --passw

# The real qob, first on PATH, on a demo target system of two profiles.
mkdir bin home
ln -s "$qob" bin/qob
export PATH="$PWD/bin:$PATH" QUIRE_HOME="$PWD/home"
qob demo-prefix "$PWD/pfx" >/dev/null || { echo "FAIL: qob demo-prefix"; exit 1; }
expect "Second" qob --prefix "$PWD/pfx" restore a.qob --profile S
# The prefix after the command word, and given with "=" (which bash splits into a word of its own).
expect "Outlook" qob backup --prefix "$PWD/pfx" --quiet --profile O
expect "Outlook" qob --prefix = "$PWD/pfx" backup --profile O
expect "Second" qob restore a.qob "--prefix=$PWD/pfx" --profile S
expect "data" qob --prefix = "$PWD/pfx" backup --items d
# An option's value given after "=": bash hands the "=" over as a word of its own.
expect "Second" qob --prefix "$PWD/pfx" restore a.qob --profile = S
expect "Outlook Second" qob --prefix "$PWD/pfx" backup --profile =
expect "data" qob backup --items = d
expect "Mon,Fri" qob schedule add --days = Mon,F

# same "WANTED" "GOT" LINE: one answer of zsh or fish.
same() {
    if [[ "$2" != "$1" ]]; then
        echo "FAIL: '$3' completed to '$2', expected '$1'"
        status=1
    fi
}

if command -v zsh >/dev/null; then
    zsh -n "$src/data/completion/_qob" || { echo "FAIL: _qob does not parse"; status=1; }
    lines=("qob res" "qob restore a.qob --prof" "qob backup --items=data,sig" "qob schedule a" "qob info a"
        "qob disc wr" "qob info --password-f" "qob --prefix $PWD/pfx restore a.qob --profile=Se"
        "qob --prefix=$PWD/pfx backup --profile O" "qob backup --prefix $PWD/pfx --profile O"
        "qob restore a.qob --prefix=$PWD/pfx --profile S" "qob backup --quiet --prefix $PWD/pfx --profile=O"
        "qob schedule add --prefix $PWD/pfx --profile S" "qob backup --quiet --items=da")
    wanted=("qob restore" "qob restore a.qob --profile" "qob backup --items=data,signatures"
        "qob schedule add" "qob info a.qob" "qob disc write" "qob info --password-file"
        "qob --prefix $PWD/pfx restore a.qob --profile=Second" "qob --prefix=$PWD/pfx backup --profile Outlook"
        "qob backup --prefix $PWD/pfx --profile Outlook" "qob restore a.qob --prefix=$PWD/pfx --profile Second"
        "qob backup --quiet --prefix $PWD/pfx --profile=Outlook" "qob schedule add --prefix $PWD/pfx --profile Second"
        "qob backup --quiet --items=data")
    mapfile -t got < <(timeout 60 zsh -f "$src/tests/install/zsh-complete.zsh" "$src/data/completion" "${lines[@]}")
    for i in "${!lines[@]}"; do
        same "${wanted[i]}" "${got[i]:-}" "zsh: ${lines[i]}"
    done
elif [[ ${CI:-} == true ]]; then
    echo "FAIL: zsh is missing (scripts/bootstrap.sh installs it)"
    status=1
fi

# fish: the candidates of the last word, without their descriptions, on one line.
fish_complete() {
    fish --no-config -c "source '$src/data/completion/qob.fish'; complete -C '$1'" | cut -f1 | sort | tr '\n' ' ' |
        sed 's/ $//'
}
if command -v fish >/dev/null; then
    fish --no-execute "$src/data/completion/qob.fish" || { echo "FAIL: qob.fish does not parse"; status=1; }
    same "restore" "$(fish_complete 'qob res')" "fish: qob res"
    same "--profile" "$(fish_complete 'qob restore a.qob --prof')" "fish: qob restore a.qob --prof"
    same "data,signatures data,stationery" "$(fish_complete 'qob backup --items data,s')" "fish: qob backup --items data,s"
    same "add" "$(fish_complete 'qob schedule a')" "fish: qob schedule a"
    same "Mon,Fri" "$(fish_complete 'qob schedule add x.qob --days Mon,F')" "fish: --days Mon,F"
    same "--password --password-file" "$(fish_complete 'qob verify --passw')" "fish: qob verify --passw"
    same "--finalize" "$(fish_complete 'qob disc write --drive /dev/sr0 --fi')" "fish: disc write --fi"
    same "Outlook" "$(fish_complete "qob --prefix $PWD/pfx backup --profile O")" "fish: --profile O"
    same "Second" "$(fish_complete "qob restore a.qob --prefix=$PWD/pfx --profile S")" "fish: --prefix=P --profile S"
    same "--json" "$(fish_complete 'qob prefixes --j')" "fish: qob prefixes --j"
elif [[ ${CI:-} == true ]]; then
    echo "FAIL: fish is missing (scripts/bootstrap.sh installs it)"
    status=1
fi
exit $status
