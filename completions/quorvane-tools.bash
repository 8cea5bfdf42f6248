# Bash completion for crestview, swarmview and chainscan. Installed once under
# each tool's name; whichever is loaded first registers all three.

# The --config path given anywhere on the line being completed, if any.
_quorvane_config_path() {
    local i
    for ((i = 1; i + 1 < ${#COMP_WORDS[@]}; i++)); do
        ((i == COMP_CWORD)) && continue
        if [[ ${COMP_WORDS[i]} == --config ]]; then
            local path=${COMP_WORDS[i + 1]}
            printf '%s' "${path/#\~/$HOME}"
            return
        fi
    done
}

# Heights of the node's block or torrent directory that begin with $2, found
# through the same settings the tools would read; nothing when there are none.
_quorvane_heights() {
    command -v chainscan >/dev/null 2>&1 || return 0
    local arguments=(complete-heights "$1") config
    config=$(_quorvane_config_path)
    [[ -n $config ]] && arguments+=(--config "$config")
    compgen -W "$(chainscan "${arguments[@]}" 2>/dev/null)" -- "$2"
}

_quorvane_files() {
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$1")
}

# crestview and swarmview: the block number first, then --config PATH.
_quorvane_one_block() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} directory=$1
    COMPREPLY=()
    if [[ $prev == --config ]]; then
        _quorvane_files "$cur"
    elif ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(_quorvane_heights "$directory" "$cur")
    else
        mapfile -t COMPREPLY < <(compgen -W "--config" -- "$cur")
    fi
}

_crestview() { _quorvane_one_block blocks; }
_swarmview() { _quorvane_one_block torrents; }

_chainscan() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local range="--from --to --jobs --config --progress --no-progress --help"
    COMPREPLY=()
    if ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(compgen -W "dump verify stats report diff schema --help --version" -- "$cur")
        return
    fi
    case $prev in
        --config | --against | --metrics-file) _quorvane_files "$cur"; return ;;
        --from | --to) mapfile -t COMPREPLY < <(_quorvane_heights blocks "$cur"); return ;;
        --format) mapfile -t COMPREPLY < <(compgen -W "jsonl csv sql" -- "$cur"); return ;;
        --for) mapfile -t COMPREPLY < <(compgen -W "duckdb postgresql sqlite" -- "$cur"); return ;;
        --csv-table) mapfile -t COMPREPLY < <(compgen -W "blocks torrents torrent_pieces" -- "$cur"); return ;;
        --jobs | --table) return ;;
    esac
    case ${COMP_WORDS[1]} in
        dump) mapfile -t COMPREPLY < <(compgen -W "$range --follow --torrents --no-proof --format --csv-table --for --table --metrics-file" -- "$cur") ;;
        verify) mapfile -t COMPREPLY < <(compgen -W "$range --follow --json --prometheus --metrics-file" -- "$cur") ;;
        stats) mapfile -t COMPREPLY < <(compgen -W "$range --json" -- "$cur") ;;
        report) mapfile -t COMPREPLY < <(compgen -W "$range" -- "$cur") ;;
        diff) mapfile -t COMPREPLY < <(compgen -W "$range --against --json" -- "$cur") ;;
        schema) mapfile -t COMPREPLY < <(compgen -W "--for --table --torrents --help" -- "$cur") ;;
    esac
}

complete -F _crestview crestview
complete -F _swarmview swarmview
complete -F _chainscan chainscan
