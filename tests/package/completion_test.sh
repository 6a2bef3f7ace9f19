#!/usr/bin/env bash
# What the shell offers at each point of a porvix command line.
#   completion_test.sh COMPLETION-FILE
set -uo pipefail
. "$(dirname "$0")/checks.sh"
. "$1"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && mkdir conf "with space" && touch a.pvx B.PVX notes.txt

# The sorted offers for a command line whose last word is being typed.
offers() {
    local line=$1
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _porvix 2>/dev/null
    printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd '|'
}

cases=(
    "porvix --h|--headless|--help|--home"
    "porvix -I|-I|-IH|-IHS|-IS"
    "porvix --home |conf|with space"
    "porvix --home c|conf"
    "porvix |B.PVX|a.pvx|conf|with space"
    "porvix --headless n|"
    "porvix --send |System"
    "porvix --send COM1 |"
    "porvix --send COM1 [ACT|"
    "porvix --status --|--home|--json"
    "porvix --status --home |conf|with space"
    "porvix --version |"
)
for entry in "${cases[@]}"; do
    line=${entry%%|*}
    check_equal "offers for '$line'" "${entry#*|}" "$(offers "$line")"
done
finish
