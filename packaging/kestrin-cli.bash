# SPDX-License-Identifier: MIT
# Completion of kestrin-cli's options and of their values in bash; file names everywhere else.
_kestrin_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    case $prev in
    -c | --comments) mapfile -t COMPREPLY < <(compgen -W 'c cpp table custom' -- "$cur") && return ;;
    --format) mapfile -t COMPREPLY < <(compgen -W 'report tsv json' -- "$cur") && return ;;
    --encoding) mapfile -t COMPREPLY < <(compgen -W 'latin1 utf-8' -- "$cur") && return ;;
    -l | --lengths | -n | --top | --begin | --end | -r | --ranges | --threads | --dictionary-bytes | --entry-overhead)
        compopt +o default && return ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '-c --comments --begin --end -i --inside --encoding --game-table
            -l --lengths -n --top --threads --ignore-space --ignore-return --ignore-tab -x --exclude
            --real-savings --dictionary-bytes --keep --entry-overhead --curve --evaluate --show-encoding -o --report --force -t --table -r --ranges --format -y --yes
            -q --quiet -h --help --version' -- "$cur")
    fi
}
complete -o default -F _kestrin_cli kestrin-cli
