#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix (64-bit,
# or 32-bit with VARNOKE_WINE_ARCH=win32),
# creating the prefix on first use.
#   scripts/wine.sh PROGRAM.exe [ARGS...]
# Environment: VARNOKE_WINEPREFIX (scripts/wine-env.sh).
# Keep one wineserver for a whole test phase (scripts/wine-session.sh): each
# process then starts in a fraction of a second instead of seconds.
set -euo pipefail
# shellcheck source=SCRIPTDIR/wine-env.sh
. "$(dirname "$0")/wine-env.sh"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    "$wine_loader" wineboot -i >"$WINEPREFIX/wineboot.log" 2>&1   # kept for a failed start
    "$wine_server" -w
fi
exec "$wine_loader" "$@"
