#!/usr/bin/env bash
# The completion offers, for -d, -slot and -i, exactly the interfaces, PCI
# addresses and positions of the controllers the tool supports: run inside the
# simulator, with a virtual function and a foreign function to leave out.
# Needs root and /dev/fuse (the simulator says so and the test fails).
#   completion_devices_test.sh ZELNIC_SIM COMPLETION
set -uo pipefail
sim=$1 completion=$2
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT

cat >"$work/config" <<'CFG'
order reverse
stray notes.txt
card 0000:03:00.0 device=0x8308
function 0000:03:00.0
iface eth0
iface eth1
function 0000:03:00.1 device=0x8309
iface vf0
card 0001:05:00.0 device=0x8208
iface enp5s0
function 0001:05:00.1 vendor=0x1234
iface foreign0
CFG

# words typed after the command name | candidates expected, in order
cases=(
    "-d ''|eth0 eth1 enp5s0"
    "--dev e|eth0 eth1 enp5s0"
    "-d en|enp5s0"
    "-slot ''|0000:03:00.0 0001:05:00.0"
    "--slot 0001|0001:05:00.0"
    "-i ''|0 1 2"
)

script='source "$1"; shift
for c in "$@"; do
    eval "COMP_WORDS=(kv7update_tool ${c%%|*})"
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _kv7update_tool
    printf "%s|%s\n" "${c%%|*}" "${COMPREPLY[*]}"
done'
out=$("$sim" run --config "$work/config" --state "$work/state" -- \
    bash -c "$script" completion "$completion" "${cases[@]}" 2>"$work/err")
rc=$?
if ((rc != 0)); then
    echo "FAIL: the simulator run ended with status $rc:"
    cat "$work/err"
    exit 1
fi

failures=0
for c in "${cases[@]}"; do
    words=${c%%|*}
    want="$words|${c#*|}"
    got=$(grep -F -x -- "$want" <<<"$out") || {
        echo "FAIL: kv7update_tool $words: expected '${c#*|}', got '$(grep -F -- "$words|" <<<"$out" | head -1 | cut -d'|' -f2)'"
        ((failures++))
    }
done
echo "$((${#cases[@]} - failures)) passed, $failures failed"
((failures == 0))
