# bash completion for velnora-ctl
_velnora_ctl()
{
    local cur prev words cword
    _init_completion || return

    local commands="status scan connect disconnect leg auto pattern period strength wake wifi update watch"
    local globals="--chair --scan-time --verbose --help --version"

    case $prev in
        --chair | --scan-time | --timeout)
            return
            ;;
    esac

    # The command and its arguments, options left out.
    local i command="" args=()
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --chair | --scan-time | --timeout) ((i++)) ;;
            -*) ;;
            *)
                if [[ -z $command ]]; then
                    command=${words[i]}
                else
                    args+=("${words[i]}")
                fi
                ;;
        esac
    done

    if [[ $cur == -* ]]; then
        local options=$globals
        case $command in
            status | watch) options+=" --json" ;;
            scan) options+=" --timeout" ;;
        esac
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    case $command in
        "")
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
            ;;
        leg)
            case ${#args[@]} in
                0) COMPREPLY=($(compgen -W "left right" -- "$cur")) ;;
                1) COMPREPLY=($(compgen -W "up down toggle" -- "$cur")) ;;
            esac
            ;;
        auto)
            ((${#args[@]} == 0)) && COMPREPLY=($(compgen -W "on off" -- "$cur"))
            ;;
        pattern)
            ((${#args[@]} == 0)) && COMPREPLY=($(compgen -W "sit-to-stand stiltas round-trip" -- "$cur"))
            ;;
        wifi)
            ((${#args[@]} == 0)) && COMPREPLY=($(compgen -W "list join" -- "$cur"))
            ;;
        update)
            ((${#args[@]} == 0)) && _filedir zip
            ;;
    esac
} &&
    complete -F _velnora_ctl velnora-ctl
