# Sourced by the package tests: each check passes or fails on its own, every
# failure says what was wanted, and the test ends with the count.
passed=0
failed=0

# check WHAT COMMAND...: passes when the command succeeds.
check() {
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $what" >&2
    fi
}

# check_equal WHAT EXPECTED ACTUAL
check_equal() {
    if [ "$2" = "$3" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        printf 'FAILED: %s\n  expected: %s\n  actual:   %s\n' "$1" "$2" "$3" >&2
    fi
}

# Ends the test with the count; fails when any check failed.
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
