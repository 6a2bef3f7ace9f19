#!/usr/bin/env bash
# The screenshot script on a machine without a virtual display server: it
# says what to install and fails before it builds or starts anything.
#   screenshots_script_test.sh SCREENSHOTS-SCRIPT
set -uo pipefail
. "$(dirname "$0")/checks.sh"
script=$(realpath "$1")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Only what the script needs before it looks for the display server.
mkdir "$work/bin"
ln -s "$(command -v dirname)" "$work/bin/dirname"

env -i PATH="$work/bin" HOME="$work" /bin/bash "$script" /bin/true >"$work/out" 2>"$work/err"
status=$?
check "fails without a display server (exit status $status)" [ "$status" -ne 0 ]
check "names the missing server" grep -q 'missing: xvfb-run Xvfb xauth' "$work/err"
check "says what to install" grep -q 'apt-get install xvfb xauth' "$work/err"
check "takes no picture" [ ! -s "$work/out" ]
finish
