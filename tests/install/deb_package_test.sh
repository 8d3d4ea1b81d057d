#!/usr/bin/env bash
# The Debian packages that cpack built: dependencies and files of each, and
# the tool unpacked into a temporary root answering -h as the built one does.
#   deb_package_test.sh PACKAGE_DIR BUILT_TOOL
set -uo pipefail
dir=$1 built_tool=$2 failures=0
root=$(mktemp -d) || exit 1
trap 'rm -rf "$root"' EXIT

# package | Depends must name | the files it holds, exactly
cases=(
    "kv7update-tool|libc6 libstdc++6|./usr/sbin/kv7update_tool ./usr/share/bash-completion/completions/kv7update_tool ./usr/share/man/man8/kv7update_tool.8.gz"
    "zelnic-sim|libc6 libstdc++6 libfuse3-3|./usr/sbin/zelnic-sim ./usr/share/bash-completion/completions/zelnic-sim ./usr/share/man/man8/zelnic-sim.8.gz"
    "zelvoctl|libc6 libstdc++6 libssl3 libsqlite3-0 libpq5|./usr/sbin/zelvoctl ./usr/share/bash-completion/completions/zelvoctl ./usr/share/man/man8/zelvoctl.8.gz"
)
for c in "${cases[@]}"; do
    IFS='|' read -r pkg deps files <<<"$c"
    debs=("$dir/${pkg}"_*.deb)
    [[ ${#debs[@]} == 1 && -f ${debs[0]} ]] || { echo "FAIL: not one $pkg package: ${debs[*]}"; exit 1; }
    depends=$(dpkg-deb -f "${debs[0]}" Depends)
    for d in $deps; do
        [[ ", $depends," == *", $d "* || ", $depends," == *", $d,"* ]] || { echo "FAIL: $pkg Depends '$depends' lacks $d"; ((failures++)); }
    done
    got=$(dpkg-deb -c "${debs[0]}" | awk '$1 !~ /^d/ {print $6}' | sort | xargs)
    [[ $got == "$files" ]] || { echo "FAIL: $pkg holds '$got', expected '$files'"; ((failures++)); }
done

dpkg-deb -x "$dir"/kv7update-tool_*.deb "$root" || { echo "FAIL: dpkg-deb -x"; exit 1; }
installed=$("$root/usr/sbin/kv7update_tool" -h)
rc=$?
if ((rc != 0)) || [[ $installed != Usage:* || $installed != "$("$built_tool" -h)" ]]; then
    echo "FAIL: the installed kv7update_tool -h ended with status $rc and printed:"
    echo "$installed"
    ((failures++))
fi
echo "deb packages: $failures failure(s)"
((failures == 0))
