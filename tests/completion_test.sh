#!/usr/bin/env bash
# Runs the bash completion functions as bash would and checks what they offer.
#   tests/completion_test.sh COMPLETION_FILE BINARY_DIR MAKE_STORE
set -uo pipefail
completion=$1
export PATH="$2:$PATH"
make_store=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$make_store" "$work/node" 12 0 block_missing=3 torrent_missing=10 >/dev/null
touch "$work/other.ini"
mkdir -p "$work/elsewhere"
# shellcheck source=/dev/null
source "$completion"

failures=0
# offers "expected words" INDEX FUNCTION WORD...: completes word INDEX.
offers() {
    local expected=$1 index=$2 function=$3
    shift 3
    COMP_WORDS=("$@")
    COMP_CWORD=$index
    COMPREPLY=()
    "$function"
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort -V | tr '\n' ' ' | sed 's/ $//')
    if [[ $got != "$expected" ]]; then
        echo "FAIL: ${COMP_WORDS[*]}: offered '$got', expected '$expected'"
        failures=$((failures + 1))
    else
        echo "ok: ${COMP_WORDS[*]} -> $got"
    fi
}

cd "$work/elsewhere" || exit 1
settings="$work/node/settings.ini"
offers "diff dump report schema stats verify --help --version" 1 _chainscan chainscan ""
offers "--against" 2 _chainscan chainscan diff --ag
offers "$work/other.ini" 3 _chainscan chainscan diff --against "$work/oth"
offers "--help --version" 1 _chainscan chainscan --
# The words chainscan's own parser takes for an option, as its help lists
# them ("--format TEXT:{jsonl,csv,sql}"), sorted as offers sorts them.
words_of() {
    chainscan "$1" --help | sed -n "s/^ *$2 [A-Z]*:{\([^}]*\)}.*/\1/p" | tr ',' '\n' | sort -V | tr '\n' ' ' | sed 's/ $//'
}
format_words=$(words_of dump --format)
engine_words=$(words_of schema --for)
table_words=$(words_of dump --csv-table)
if [[ $format_words != "csv jsonl sql" || $engine_words != "duckdb postgresql sqlite" ||
      $table_words != "blocks torrents torrent_pieces" ]]; then
    echo "FAIL: the help lists '$format_words', '$engine_words' and '$table_words'"
    failures=$((failures + 1))
fi
offers "$format_words" 3 _chainscan chainscan dump --format ""
offers "--no-progress --no-proof" 2 _chainscan chainscan dump --no-
offers "--jobs --json" 2 _chainscan chainscan verify --j
offers "--follow --for --format" 2 _chainscan chainscan dump --fo
offers "--progress --prometheus" 2 _chainscan chainscan verify --pr
offers "--jobs --json" 2 _chainscan chainscan stats --j
offers "--from" 2 _chainscan chainscan report --fr
offers "$engine_words" 3 _chainscan chainscan schema --for ""
offers "$table_words" 5 _chainscan chainscan dump --format csv --csv-table ""
offers "--table --torrents" 4 _chainscan chainscan schema --for sqlite --t
offers "$engine_words" 5 _chainscan chainscan dump --format sql --for ""
offers "$work/node/settings.ini" 3 _chainscan chainscan verify --config "$work/node/set"
offers "1 10 11" 5 _chainscan chainscan verify --config "$settings" --from 1
offers "0 1 2 4 5 6 7 8 9 10 11" 1 _crestview crestview "" --config "$settings"
offers "" 1 _crestview crestview 3 --config "$settings"
offers "1 10 11" 1 _crestview crestview 1 --config "$settings"
offers "0 1 2 3 4 5 6 7 8 9 11" 1 _swarmview swarmview "" --config "$settings"
offers "--config" 2 _swarmview swarmview 7 --c
offers "$work/other.ini" 3 _crestview crestview 7 --config "$work/oth"
# No settings to be found: nothing to offer, and no complaint.
offers "" 1 _crestview crestview ""
SETTINGS_PATH="$settings" offers "2" 1 _crestview crestview 2

if ((failures > 0)); then
    echo "$failures completion check(s) failed"
    exit 1
fi
echo "all completion checks passed"
