# Types each LINE and a TAB into an interactive zsh (on a pseudo-terminal) that loads the
# completion functions of COMPLETION_FOLDER, and prints what each line became, one per line.
# Usage: zsh -f zsh-complete.zsh COMPLETION_FOLDER LINE...
zmodload zsh/zpty || exit 1
folder=$1
shift
zpty -b z "zsh -f -i"
zpty -w z "PS1='%% '; fpath=(${(q)folder} \$fpath); autoload -Uz compinit; compinit -u -D; unsetopt beep"
for line in "$@"; do
    zpty -w -n z "$line"$'\t'
    # The completed line, printed by the shell itself; the quotes keep the marker out of the echo.
    zpty -w -n z $'\C-a'"print -r -- RES''ULT:"$'\C-e\n'
    out=""
    zpty -r z out $'*RESULT:*\r*' || { print "no answer for: $line"; exit 1 }
    out=${out##*RESULT:}
    print -r -- "${out%%$'\r'*}"
done
zpty -d z
