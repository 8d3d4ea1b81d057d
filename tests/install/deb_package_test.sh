#!/usr/bin/env bash
# The Debian packages that cpack built: their dependencies, their files, and
# the tool's binary unpacked into a temporary root answering -h exactly as the
# built one does.
#   deb_package_test.sh PACKAGE_DIR BUILT_TOOL
set -uo pipefail
dir=$1 built_tool=$2
root=$(mktemp -d) || exit 1
trap 'rm -rf "$root"' EXIT
failures=0 checked=0

fail() { echo "FAIL: $*"; ((failures++)); }

one_deb() {
    local found=("$dir"/"$1"_*.deb)
    if ((${#found[@]} != 1)) || [[ ! -f ${found[0]} ]]; then
        echo "FAIL: expected one $1 package in $dir, found: ${found[*]}"
        exit 1
    fi
    printf '%s' "${found[0]}"
}
tool_deb=$(one_deb kv7update-tool)
sim_deb=$(one_deb zelnic-sim)

# package | field | text the field must contain (empty: must not have the field)
fields=(
    "$tool_deb|Depends|libc6"
    "$tool_deb|Depends|libstdc++6"
    "$tool_deb|Section|admin"
    "$sim_deb|Depends|libfuse3-3"
    "$sim_deb|Depends|libstdc++6"
)
for f in "${fields[@]}"; do
    IFS='|' read -r deb field want <<<"$f"
    ((checked++))
    got=$(dpkg-deb -f "$deb" "$field")
    [[ $got == *"$want"* ]] || fail "${deb##*/} $field is '$got', lacks '$want'"
done

# package | the files it must hold, exactly
contents=(
    "$tool_deb|./usr/sbin/kv7update_tool ./usr/share/bash-completion/completions/kv7update_tool ./usr/share/man/man8/kv7update_tool.8.gz"
    "$sim_deb|./usr/sbin/zelnic-sim ./usr/share/bash-completion/completions/zelnic-sim ./usr/share/man/man8/zelnic-sim.8.gz"
)
for c in "${contents[@]}"; do
    IFS='|' read -r deb want <<<"$c"
    ((checked++))
    got=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort | tr '\n' ' ')
    [[ $got == "$want " ]] || fail "${deb##*/} holds '$got', expected '$want'"
done

((checked++))
dpkg-deb -x "$tool_deb" "$root" || { echo "FAIL: dpkg-deb -x $tool_deb"; exit 1; }
installed=$("$root/usr/sbin/kv7update_tool" -h)
rc=$?
expected=$("$built_tool" -h)
if ((rc != 0)); then
    fail "installed kv7update_tool -h ended with status $rc"
elif [[ $installed != "$expected" || $installed != Usage:* ]]; then
    fail "installed kv7update_tool -h printed something else than the built one:"
    diff <(echo "$expected") <(echo "$installed")
fi
echo "$((checked - failures)) passed, $failures failed"
((failures == 0))
