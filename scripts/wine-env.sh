# shellcheck shell=bash
# The project's Wine (sourced by wine.sh and wine-session.sh): 64-bit, in the
# checkout's own prefix, quiet, without the .NET and HTML engines.
# Environment: VARNOKE_WINEPREFIX (default: build-wine/prefix in the checkout).
export WINEPREFIX=${VARNOKE_WINEPREFIX:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build-wine/prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=win64
