# fish completion for qob, the command-line tool of Quire Outlook Backup.

set -l qob_commands sysinfo profiles backup info verify restore schedule reg demo-prefix prefixes disc help
set -l qob_items data accounts signatures stationery pab options templates preferences contacts all

# The --prefix given earlier on the line, so that profile names come from the same target system.
function __qob_prefix_args
    set -l words (commandline -opc)
    for i in (seq (count $words))
        if test "$words[$i]" = --prefix; and test $i -lt (count $words)
            printf '%s\n' --prefix $words[(math $i + 1)]
            return
        else if string match -q -- '--prefix=?*' $words[$i]
            printf '%s\n' --prefix (string replace -- --prefix= '' $words[$i])
            return
        end
    end
end

function __qob_profiles
    qob (__qob_prefix_args) profiles 2>/dev/null
end

# The prefixes qob finds, from its JSON list (one object per line).
function __qob_prefixes
    qob prefixes --json 2>/dev/null | string replace -rf '^\{"path":"((?:[^"\\\\]|\\\\.)*)".*' '$1'
end

# The comma-separated list of names, completed one name at a time.
function __qob_comma_list
    set -l token (commandline -ct)
    set -l done_part (string match -r '^.*,' -- $token)
    for name in $argv
        printf '%s%s\n' "$done_part" $name
    end
end

# Whether the command words so far are exactly $argv: the command, and for the groups (schedule,
# reg, disc) the word after it; options, their values and the operands after them are skipped.
function __qob_words_are
    set -l words (commandline -opc)
    set -e words[1]
    set -l found
    set -l skip 0
    for word in $words
        if test $skip = 1
            set skip 0
            continue
        end
        switch $word
            case --prefix --profile --items --description --password-file --days --time --choose --drive --volume-id
                set skip 1
            case '-*'
            case '*'
                if test (count $found) -eq 0
                    set found $word
                else if test (count $found) -eq 1; and contains -- $found[1] schedule reg disc
                    set -a found $word
                end
        end
    end
    test "$found" = "$argv"
end

function __qob_no_command
    __qob_words_are
end

complete -c qob -f
complete -c qob -l prefix -r -d 'the Wine prefix to work on (folder or name)' -a '(__qob_prefixes)' -F
complete -c qob -l quiet -d 'no progress and no summary'
complete -c qob -l json -d 'one JSON object per event'
complete -c qob -s h -l help -d 'print the usage'
complete -c qob -n __qob_no_command -l version -d 'print the version'

complete -c qob -n __qob_no_command -a sysinfo -d 'Windows version, computer and user name'
complete -c qob -n __qob_no_command -a profiles -d 'the mail profiles of the target system'
complete -c qob -n __qob_no_command -a backup -d 'back up a profile into a .qob file'
complete -c qob -n __qob_no_command -a info -d 'the information lines of a backup'
complete -c qob -n __qob_no_command -a verify -d 'read every entry of a backup back and check it'
complete -c qob -n __qob_no_command -a restore -d 'restore the chosen items into a profile'
complete -c qob -n __qob_no_command -a schedule -d 'the weekly backup'
complete -c qob -n __qob_no_command -a reg -d 'registry export, import and query'
complete -c qob -n __qob_no_command -a demo-prefix -d 'create a small demo target system'
complete -c qob -n __qob_no_command -a prefixes -d 'the Wine prefixes of this machine'
complete -c qob -n __qob_no_command -a disc -d 'write and verify discs and disc images'
complete -c qob -n __qob_no_command -a help -d 'print the usage'

# Options of the commands that back up or read a backup file.
set -l backup_like '__qob_words_are backup; or __qob_words_are restore; or __qob_words_are schedule add'
set -l reads_file '__qob_words_are backup; or __qob_words_are info; or __qob_words_are verify; or __qob_words_are restore; or __qob_words_are schedule add'
complete -c qob -n $backup_like -l profile -x -d 'the mail profile' -a '(__qob_profiles)'
complete -c qob -n $backup_like -l items -x -d 'the items, by name or as nine 0/1 flags' -a "(__qob_comma_list $qob_items)"
complete -c qob -n $reads_file -l password -d 'ask for the password at the terminal'
complete -c qob -n $reads_file -l password-file -r -F -d 'the file whose first line is the password'
complete -c qob -n $reads_file -a '(__fish_complete_suffix .qob)'
complete -c qob -n '__qob_words_are backup' -l description -x -d 'the backup description'
complete -c qob -n '__qob_words_are profiles' -l verbose -d 'also the data files each profile uses'

complete -c qob -n '__qob_words_are prefixes' -l choose -x -d 'remember this prefix (folder or name)' -a '(__qob_prefixes; __fish_complete_directories)'
complete -c qob -n '__qob_words_are prefixes' -l forget -d 'forget the remembered prefix'
complete -c qob -n '__qob_words_are demo-prefix' -a '(__fish_complete_directories)'

complete -c qob -n '__qob_words_are schedule' -a 'add show remove'
complete -c qob -n '__qob_words_are schedule add' -l days -x -d 'the days of the week' -a '(__qob_comma_list Mon Tue Wed Thu Fri Sat Sun)'
complete -c qob -n '__qob_words_are schedule add' -l time -x -d 'the time of day, H:MM'

complete -c qob -n '__qob_words_are reg' -a 'export import query'
complete -c qob -n '__qob_words_are reg export; or __qob_words_are reg import; or __qob_words_are reg query' -F

complete -c qob -n '__qob_words_are disc' -a 'drives image write verify erase'
set -l disc_files '__qob_words_are disc image; or __qob_words_are disc write; or __qob_words_are disc verify'
complete -c qob -n $disc_files -F
complete -c qob -n '__qob_words_are disc write; or __qob_words_are disc verify; or __qob_words_are disc erase' -l drive -x -d 'the drive, as qob disc drives shows it'
complete -c qob -n '__qob_words_are disc image; or __qob_words_are disc write' -l volume-id -x -d 'the disc name'
complete -c qob -n '__qob_words_are disc image; or __qob_words_are disc write' -l verify -d 'read back and compare'
complete -c qob -n '__qob_words_are disc write' -l test -d 'simulate: the laser stays off'
complete -c qob -n '__qob_words_are disc write' -l finalize -d 'close the disc'
complete -c qob -n '__qob_words_are disc write' -l dao -d 'write disc-at-once'
complete -c qob -n '__qob_words_are disc erase' -l full -d 'erase the whole disc'
