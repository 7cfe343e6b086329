# shellcheck shell=bash
# The test scripts' checks (sourced, not run). Each check passes or fails and
# a failure says what; checks_done, the last command, prints "N passed,
# M failed" and succeeds only when nothing failed.
passed=0
failed=0

# check DESCRIPTION COMMAND...: passes when COMMAND succeeds. COMMAND runs
# in a subshell; what it prints is shown, below the FAIL line, only when it fails.
check() {
    local said
    if said=$("${@:2}"); then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        printf 'FAIL: %s\n' "$1"
        [ -z "$said" ] || printf '%s\n' "$said"
    fi
}

# same EXPECTED ACTUAL: the two are equal; otherwise both are shown.
same() {
    [ "$1" = "$2" ] && return 0
    printf '  expected: %q\n  actual:   %q\n' "$1" "$2"
    return 1
}

# holds TEXT PART...: TEXT holds each PART, in this order; otherwise TEXT is shown.
holds() {
    local rest=$1 part
    for part in "${@:2}"; do
        case "$rest" in
            *"$part"*) rest=${rest#*"$part"} ;;
            *) printf '  no %q in: %s\n' "$part" "$1"; return 1 ;;
        esac
    done
}

# The script's last command: the tally, and its status, 0 only when nothing failed.
checks_done() {
    echo "$passed passed, $failed failed"
    return $((failed > 0))
}
