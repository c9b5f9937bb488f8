#!/usr/bin/env bash
# The bash completion of vellumark-cli, loaded as bash-completion loads it, asked for the
# candidates of a few partial command lines on a library of its own.
# Usage: completion_test.sh CLI_FOLDER COMPLETION_FILE
set -uo pipefail
cli_folder=$1
completion=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME=$scratch XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data
export PATH=$cli_folder:$PATH LC_ALL=C.UTF-8

gbk() { printf '%s' "$1" | iconv -f UTF-8 -t GBK; }
library=$scratch/lib
mkdir -p "$library/$(gbk 软件光盘)/$(gbk 办公)" "$library/$(gbk 游戏光盘)" "$scratch/disc"
printf 'E:\\\r\n' >"$library/$(gbk 软件光盘)/$(gbk 工具盘).Cdr"
printf 'F:\\\r\n' >"$library/$(gbk 软件光盘)/$(gbk 字典).CDR"
vellumark-cli map Q "$scratch/disc" >/dev/null || exit 1

source /usr/share/bash-completion/bash_completion
source "$completion"

# The candidates for a command line, the last word being the one completed, one a line.
candidates()
{
    local line=$1
    COMP_LINE=$line
    COMP_POINT=${#line}
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _vellumark_cli vellumark-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort
}

failures=0
expect()
{
    local line=$1 expected=$2 got
    got=$(candidates "$line")
    if [[ $got != "$expected" ]]; then
        printf 'FAIL: %s\n  expected: %s\n  got:      %s\n' "$line" "${expected//$'\n'/ | }" \
            "${got//$'\n'/ | }" >&2
        failures=$((failures + 1))
    fi
}

expect "vellumark-cli re" $'rebuild-icons\nrename\nrename-node'
expect "vellumark-cli --v" "--version"
expect "vellumark-cli --library $library show 软" "软件光盘/"
expect "vellumark-cli --library $library show 软件光盘/" $'软件光盘/办公/\n软件光盘/字典\n软件光盘/工具盘'
expect "vellumark-cli --library $library show 软件光盘/工" "软件光盘/工具盘"
expect "vellumark-cli --library $library list 软件光盘/" "软件光盘/办公/"
expect "vellumark-cli --library $library show 软件光盘\\" $'软件光盘\\办公\\\n软件光盘\\字典\n软件光盘\\工具盘'
expect "vellumark-cli --library $library copy 软件光盘/工具盘 --to 游" "游戏光盘/"
expect "vellumark-cli move x --" $'--help\n--to\n--yes'
expect "vellumark-cli scan --depth " $'1\n2\n3\n4\n5'
expect "vellumark-cli identify " "Q"
# Without --library, the library of the settings: a first use makes its six boxes.
expect "vellumark-cli scan --drive Q --box " $'其它光盘/\n游戏光盘/\n软件光盘/\n重要光盘/\n陈年旧盘/\n音乐光盘/'

if ((failures > 0)); then
    exit 1
fi
echo PASS
