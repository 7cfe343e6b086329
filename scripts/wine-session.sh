#!/usr/bin/env bash
# Runs a command with one wineserver and one virtual X display kept alive for
# its whole duration, then stops both.
#   scripts/wine-session.sh COMMAND [ARGS...]
# A persistent wineserver makes each Wine process start in a fraction of a
# second; the display lets dialogs run. Never mix runs with and without a
# display in one wineserver session.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=SCRIPTDIR/wine-env.sh
. "$here/scripts/wine-env.sh"

# A free display number unless one is given, so that runs in several
# checkouts at once do not share (and stop) each other's display.
if [ -n "${VARNOKE_DISPLAY:-}" ]; then
    Xvfb "$VARNOKE_DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    display=$VARNOKE_DISPLAY
else
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    xvfb=$!
    read -r number <"$fifo"
    rm -f "$fifo"
    display=:$number
fi
export DISPLAY=$display
cleanup() {
    "$wine_server" -k >/dev/null 2>&1 || true
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
    [ -n "${emulated:-}" ] && unregister_i386_binfmt
    return 0
}
trap cleanup EXIT

# 32-bit Wine on a kernel without 32-bit support: through qemu, for the
# session only.
if [ "$WINEARCH" = win32 ]; then
    # shellcheck source=SCRIPTDIR/i386.sh
    . "$here/scripts/i386.sh"
    if ! runs_i386; then
        echo "wine-session: this kernel runs no 32-bit code; 32-bit Wine runs through qemu (QEMU_CPU=$QEMU_CPU)" >&2
        emulated=1
        register_i386_binfmt
    fi
fi

# The first Wine process creates the prefix if needed. Seen once on a fresh
# machine: a new 32-bit prefix's first process ended with 53 (Wine could not
# load kernel32). A prefix made by a failed start is removed and made once
# more, with Wine's errors on; a second failure shows what Wine and its
# prefix creation printed. The first start stays quiet: the processes it
# leaves for the session inherit its output and its debug channels.
start_log=$(mktemp)
for attempt in 1 2; do
    fresh=0
    [ -f "$WINEPREFIX/system.reg" ] || fresh=1
    status=0
    if [ "$attempt" -eq 1 ]; then
        "$here/scripts/wine.sh" cmd /c exit 0 >/dev/null 2>&1 || status=$?
    else
        WINEDEBUG=err+all "$here/scripts/wine.sh" cmd /c exit 0 >"$start_log" 2>&1 || status=$?
    fi
    [ "$status" -eq 0 ] && break
    echo "wine-session: Wine's first process in $WINEPREFIX ended with $status (attempt $attempt)" >&2
    "$wine_server" -k >/dev/null 2>&1 || true
    timeout 60 "$wine_server" -w >/dev/null 2>&1 || true
    if [ "$attempt" -eq 2 ]; then
        echo "wine-session: Wine does not start here; what it printed last:" >&2
        tail -n 40 "$start_log" "$WINEPREFIX/wineboot.log" >&2 2>/dev/null || true
        rm -f "$start_log"
        exit 1
    fi
    [ "$fresh" -eq 1 ] && rm -rf "$WINEPREFIX"
done
rm -f "$start_log"
"$wine_server" -p >/dev/null 2>&1 || true
"$@"
