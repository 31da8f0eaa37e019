#!/bin/bash
# The man pages and the bash completion as the build makes them from the
# programs themselves: they render without a warning, the qdxctl page has
# every command, the completion completes; every program says its version.
# usage: docs.sh QDXCTL QDXCTL.1 COMPLETION QDX_VIEWER QDX_VIEWER.1 VERSION
set -u
qdxctl=$1 qdxctl_man=$2 completion=$3 viewer=$4 viewer_man=$5 version=$6
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

for page in "$qdxctl_man" "$viewer_man"; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page: $warnings"
    [ -s "$page.gz" ] && zcat "$page.gz" | cmp -s - "$page" || fail "$page.gz is not $page"
done

# Every command of the program's own list, as a section of the page.
commands=$("$qdxctl" --help | sed -n '/^Commands:/,/^$/p' | awk 'NF > 1 { print $1 }')
[ "$(echo "$commands" | wc -l)" -ge 19 ] || fail "qdxctl --help lists too few commands: $commands"
for command in $commands; do
    grep -q "^\.SS \"$command[ \"]" "$qdxctl_man" || fail "the man page has no section for $command"
done

[ "$("$qdxctl" --version)" = "qdxctl $version" ] || fail "qdxctl --version: $("$qdxctl" --version)"
[ "$("$viewer" -V)" = "QDX_Viewer $version" ] || fail "QDX_Viewer -V: $("$viewer" -V)"

# What bash offers for a line, through the completion function.
offers() {
    bash -c '
        source /usr/share/bash-completion/bash_completion
        source "$0"
        compopt() { :; }  # only inside a real completion
        COMP_WORDS=("${@}"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
        _qdxctl qdxctl "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}"' "$completion" "$@"
}
check() {  # expected words... -- line words...
    local expected=()
    while [ "$1" != -- ]; do expected+=("$1"); shift; done
    shift
    local got
    got=$(offers "$@" | sort | tr '\n' ' ')
    [ "$got" = "$(printf '%s\n' "${expected[@]}" | sort | tr '\n' ' ')" ] || fail "qdxctl ${*:2}<TAB>: '$got'"
}
check grab -- qdxctl gr
check get grab -- qdxctl -w 1 g
check --frames -- qdxctl grab --fr
check 8 16 -- qdxctl grab --depth ""
check exposure= -- qdxctl -c expos
check exposure -- qdxctl get expos
check gamma dp fpn -- qdxctl table get ""
tmp=$(mktemp -d) && touch "$tmp/take.avi" && check "$tmp/take.avi" -- qdxctl repair -- "$tmp/ta"
rm -rf "$tmp"
exit $failed
