#!/usr/bin/env bash
# Runs a Windows program under 64-bit Wine in the project's own prefix,
# creating the prefix on first use.
#   scripts/wine.sh PROGRAM.exe [ARGS...]
# Environment: VARNOKE_WINEPREFIX (scripts/wine-env.sh).
# Keep one wineserver for a whole test phase (scripts/wine-session.sh): each
# process then starts in a fraction of a second instead of seconds.
set -euo pipefail
# shellcheck source=SCRIPTDIR/wine-env.sh
. "$(dirname "$0")/wine-env.sh"
wine=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    "$wine" wineboot -i >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
fi
exec "$wine" "$@"
