# bash completion for kestrune-cli                         -*- shell-script -*-

_kestrune_cli()
{
    local cur prev words cword
    _init_completion || return

    if ((cword == 1)); then
        COMPREPLY=($(compgen -W 'fix list diff unpack pack info encrypt decrypt
            show --help --version' -- "$cur"))
        return
    fi

    case $prev in
        -o)
            _filedir
            return
            ;;
        --fix-dir)
            _filedir -d
            return
            ;;
        --fix)
            # A name from the fix folder's list, or a path to a fix file.
            if [[ $cur == */* ]]; then
                _filedir '@(fix|txt|wep)'
            else
                local i folder=() names
                for ((i = 2; i < cword - 1; i++)); do
                    [[ ${words[i]} == --fix-dir ]] && folder=(--fix-dir "${words[i + 1]}")
                done
                names=$("$1" list "${folder[@]}" 2>/dev/null)
                local IFS=$'\n'
                COMPREPLY=($(compgen -W "$names" -- "$cur"))
            fi
            return
            ;;
    esac

    local options files
    case ${words[1]} in
        fix) options='--fix --fix-dir --verbose --dry-run' files='@(bin|xml)' ;;
        list) options='--fix-dir' files= ;;
        diff) options='-o --encrypt --partial' files='@(bin|xml)' ;;
        unpack) options='-o' files='bin' ;;
        pack) options='-o' files='xml' ;;
        info) options= files='bin' ;;
        encrypt) options='-o' files='@(fix|txt|wep|plain)' ;;
        decrypt) options='-o' files='@(fix|txt|wep)' ;;
        show) options= files='@(fix|txt|wep)' ;;
        *) return ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
    elif [[ $files ]]; then
        _filedir "$files"
    fi
} &&
    complete -F _kestrune_cli kestrune-cli

# ex: filetype=sh
