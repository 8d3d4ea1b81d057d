#!/usr/bin/env bash
# Every option of a program's usage listing must appear in its man page and be
# offered by its bash completion, so neither falls behind the option table.
#   usage_coverage_test.sh kv7update_tool BINARY MAN.gz COMPLETION
#   usage_coverage_test.sh zelnic-sim     BINARY MAN.gz COMPLETION
#   usage_coverage_test.sh zelvoctl       BINARY MAN.gz COMPLETION
set -uo pipefail
prog=$1 binary=$2 man=$3 completion=$4
failures=0 checked=0

man_text=$(gzip -dc "$man" | sed -e 's/\\f[BIPR]//g' -e 's/\\fC//g' -e 's/\\-/-/g') || {
    echo "FAIL: cannot read $man"
    exit 1
}
# shellcheck source=/dev/null
source "$completion" || { echo "FAIL: cannot source $completion"; exit 1; }
func=$(complete -p "$prog" 2>/dev/null | sed -n 's/.*-F \([^ ]*\) .*/\1/p')
[[ -n $func ]] || { echo "FAIL: $completion registers no function for $prog"; exit 1; }

# Candidates the completion offers for the words given (the last one is being typed).
offered() {
    COMP_WORDS=("$prog" "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    "$func" "$prog" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}"
}

# check WORD "completion candidates"
check() {
    local word=$1 candidates=$2
    ((checked++))
    if ! grep -Eq -- "(^|[^A-Za-z0-9_-])${word}([^A-Za-z0-9_-]|$)" <<<"$man_text"; then
        echo "FAIL: $word is not in the man page $man"
        ((failures++))
    fi
    if ! grep -Fxq -- "$word" <<<"$candidates"; then
        echo "FAIL: $word is not offered by the completion $completion"
        ((failures++))
    fi
}

usage=$("$binary" -h 2>&1)
case $prog in
kv7update_tool)
    # Usage rows: "   v | verbose    ..." (short name may be blank)
    names=$(sed -nE 's/^ +([A-Za-z0-9_-]*) \| ([A-Za-z0-9_-]+) .*/\1 \2/p' <<<"$usage")
    dash=$(offered -)
    for n in $names; do check "-$n" "$dash"; done
    ;;
zelnic-sim)
    # Usage lines: "  zelnic-sim SUBCOMMAND [--option VALUE] ..."
    subs=$(offered "")
    while read -r sub rest; do
        check "$sub" "$subs"
        opts=$(offered "$sub" -)
        for o in $(grep -oE -- '--[a-z][a-z-]*' <<<"$rest"); do check "$o" "$opts"; done
    done < <(sed -nE "s/^ +$prog ([a-z-]+)(.*)/\1 \2/p" <<<"$usage")
    ;;
zelvoctl)
    # "Subcommands:" rows "  list   every ...", then each subcommand's own
    # --help with option rows "  -h,--help ..." or "  --fw TEXT ...".
    option_names() { sed -nE 's/^ +(-[a-z],)?(--[a-z][a-z-]*).*/\2/p'; }
    subs=$(offered "")
    for o in $(option_names <<<"$usage"); do check "$o" "$subs"; done
    for sub in $(sed -n '/^Subcommands:/,$p' <<<"$usage" | sed -nE 's/^ +([a-z]+) .*/\1/p'); do
        check "$sub" "$subs"
        opts=$(offered "$sub" -)
        for o in $("$binary" "$sub" --help | option_names); do check "$o" "$opts"; done
    done
    ;;
*)
    echo "FAIL: no usage format known for $prog"
    exit 1
    ;;
esac

if ((checked < 5)); then
    echo "FAIL: only $checked names found in the usage of $binary:"
    echo "$usage"
    exit 1
fi
echo "$((checked - failures)) passed, $failures failed"
((failures == 0))
