# bash completion for qob, the command-line tool of Quire Outlook Backup.
# Written with plain compgen, so it also works where the bash-completion package is absent.

_qob_items='data accounts signatures stationery pab options templates preferences contacts all'
_qob_days='Mon Tue Wed Thu Fri Sat Sun'

# Completes the last element of a comma-separated list from the words in $2.
_qob_comma_list() {
    local cur="$1" words="$2" done_part="" last="$1"
    if [[ $cur == *,* ]]; then
        done_part="${cur%,*},"
        last="${cur##*,}"
    fi
    local w
    for w in $(compgen -W "$words" -- "$last"); do
        COMPREPLY+=("$done_part$w")
    done
    # Another name may follow: no space after a whole one.
    compopt -o nospace 2>/dev/null
}

_qob_files() {
    local IFS=$'\n'
    COMPREPLY+=($(compgen -o plusdirs -f -X "!$1" -- "$2"))
    compopt -o filenames 2>/dev/null
}

_qob_dirs() {
    local IFS=$'\n'
    COMPREPLY+=($(compgen -d -- "$1"))
    compopt -o filenames 2>/dev/null
}

# The --prefix given earlier on the line, so that profile names come from the same target system.
# bash splits "--prefix=P" at the "=" (COMP_WORDBREAKS): "--prefix" "=" "P".
_qob_prefix_args() {
    local i
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} == --prefix ]]; then
            [[ ${COMP_WORDS[i + 1]} == = ]] && ((i++))
            printf '%s\n' --prefix "${COMP_WORDS[i + 1]}"
            return
        elif [[ ${COMP_WORDS[i]} == --prefix=?* ]]; then
            printf '%s\n' --prefix "${COMP_WORDS[i]#--prefix=}"
            return
        fi
    done
}

_qob() {
    COMPREPLY=()
    local cur="${COMP_WORDS[COMP_CWORD]}"
    local prev=""
    ((COMP_CWORD > 0)) && prev="${COMP_WORDS[COMP_CWORD - 1]}"
    # "--profile=Se" comes as "--profile" "=" "Se": the option is the word before the "=".
    [[ $prev == = ]] && ((COMP_CWORD > 1)) && prev="${COMP_WORDS[COMP_CWORD - 2]}"
    # "--profile=" with nothing typed yet: the "=" is the current word.
    if [[ $cur == = ]] && ((COMP_CWORD > 0)); then
        prev="${COMP_WORDS[COMP_CWORD - 1]}"
        cur=""
    fi

    # The command words: the first one or two words that are not options or option values.
    local cmd="" sub="" i word skip=0
    for ((i = 1; i < COMP_CWORD; i++)); do
        word="${COMP_WORDS[i]}"
        if ((skip)); then
            # "--items=x" comes as "--items" "=" "x": the value is the word after the "=".
            [[ $word == = ]] || skip=0
            continue
        fi
        case "$word" in
        --prefix | --profile | --items | --description | --password-file | --days | --time | --choose | --drive | --volume-id | --office)
            skip=1
            continue
            ;;
        -*) continue ;;
        esac
        if [[ -z $cmd ]]; then
            cmd="$word"
        elif [[ -z $sub && ($cmd == schedule || $cmd == reg || $cmd == disc) ]]; then
            sub="$word"
        fi
    done

    case "$prev" in
    --items)
        _qob_comma_list "$cur" "$_qob_items"
        return
        ;;
    --days)
        _qob_comma_list "$cur" "$_qob_days"
        return
        ;;
    --office)
        COMPREPLY=($(compgen -W "14.0 15.0 16.0" -- "$cur"))
        return
        ;;
    --prefix | --choose)
        # The prefixes this machine holds, then any folder.
        local IFS=$'\n' found
        found=$(qob prefixes --json 2>/dev/null | sed -n 's/^{"path":"\(\([^"\\]\|\\.\)*\)".*/\1/p')
        [[ -n $found ]] && COMPREPLY+=($(compgen -W "$found" -- "$cur"))
        _qob_dirs "$cur"
        return
        ;;
    --profile)
        local IFS=$'\n' profiles
        profiles=$(qob $(_qob_prefix_args) profiles 2>/dev/null)
        COMPREPLY+=($(compgen -W "$profiles" -- "$cur"))
        return
        ;;
    --password-file)
        _qob_files '*' "$cur"
        return
        ;;
    --time | --description | --volume-id | --drive)
        return
        ;;
    esac

    local commands='sysinfo profiles backup info verify restore schedule reg demo-prefix prefixes disc help'
    local globals='--prefix --quiet --json --help --version'
    if [[ -z $cmd ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "$globals" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        fi
        return
    fi

    local opts="--help" pattern=""
    case "$cmd" in
    profiles) opts+=" --verbose" ;;
    backup)
        opts+=" --profile --items --description --password --password-file --quiet --json"
        pattern='*.qob'
        ;;
    info | verify)
        opts+=" --password --password-file"
        pattern='*.qob'
        ;;
    restore)
        opts+=" --profile --items --password --password-file --abandon --quiet --json"
        pattern='*.qob'
        ;;
    prefixes) opts+=" --json --choose --forget" ;;
    demo-prefix)
        opts+=" --office"
        [[ $cur != -* ]] && _qob_dirs "$cur" && return
        ;;
    schedule | reg | disc)
        if [[ -z $sub ]]; then
            local subs
            case "$cmd" in
            schedule) subs='add show remove' ;;
            reg) subs='export import query' ;;
            disc) subs='drives image write verify erase' ;;
            esac
            COMPREPLY=($(compgen -W "$subs" -- "$cur"))
            return
        fi
        case "$cmd $sub" in
        'schedule add')
            opts+=" --profile --items --days --time --password --password-file"
            pattern='*.qob'
            ;;
        'reg '*)
            if [[ $cur != -* ]]; then
                COMPREPLY=($(compgen -W 'HKEY_CURRENT_USER\\Software\\ HKEY_LOCAL_MACHINE\\Software\\' -- "$cur"))
                _qob_files '*' "$cur"
                return
            fi
            ;;
        'disc image')
            opts+=" --volume-id --verify"
            pattern='*'
            ;;
        'disc write') opts+=" --drive --volume-id --verify --test --finalize --dao" pattern='*' ;;
        'disc verify') opts+=" --drive" pattern='*' ;;
        'disc erase') opts+=" --drive --full" ;;
        esac
        ;;
    esac

    if [[ $cur == -* || -z $pattern ]]; then
        COMPREPLY=($(compgen -W "$opts" -- "$cur"))
        return
    fi
    _qob_files "$pattern" "$cur"
}

complete -F _qob qob
