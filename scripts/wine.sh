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
    "$wine_loader" wineboot -i >/dev/null 2>&1
    # Outside a session, the prefix is on disk once its server has ended.
    # Under qemu, Wine's services were seen idle and never ending after
    # wineboot, and the server with them: waited for within bounds, then
    # stopped. A session's server stays, and has the prefix.
    if [ "${VARNOKE_WINE_SESSION:-}" != "$WINEPREFIX" ]; then
        timeout 180 "$wine_server" -w || "$wine_server" -k
    fi
fi
exec "$wine_loader" "$@"
