#!/usr/bin/env bash
# Runs a Windows program under 64-bit Wine in the project's own prefix,
# creating the prefix on first use.
#   scripts/wine.sh PROGRAM.exe [ARGS...]
# Environment: VARNOKE_WINEPREFIX (default: build-wine/prefix in the checkout).
# Keep one wineserver for a whole test phase (scripts/wine-session.sh): each
# process then starts in a fraction of a second instead of seconds.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${VARNOKE_WINEPREFIX:-$here/build-wine/prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=win64
wine=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    "$wine" wineboot -i >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
fi
exec "$wine" "$@"
