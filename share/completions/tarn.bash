# SPDX-License-Identifier: GPL-3.0-or-later
# bash completion for tarn: its options, macro files (*.mcr) and folders, and
# any file after --trace.

_tarn() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    if [[ $prev == --trace ]]; then
        COMPREPLY=($(compgen -f -- "$cur"))
    elif [[ $cur == -* ]]; then
        compopt +o filenames 2>/dev/null
        COMPREPLY=($(compgen -W $'--help\n--version\n--edit\n--check\n--stop\n--batch\n--trace\n--verbose\n-h\n-V\n-v\n--' -- "$cur"))
    else
        COMPREPLY=($(compgen -f -X '!*.mcr' -- "$cur") $(compgen -d -- "$cur"))
    fi
}
complete -F _tarn tarn
