# shellcheck shell=bash
# shellcheck disable=SC2034  # wine_loader and wine_server are the sourcing scripts'
# The project's Wine (sourced by wine.sh and wine-session.sh): in the
# checkout's own prefix, quiet, without the .NET and HTML engines.
# Environment:
#   VARNOKE_WINE_ARCH   win64 (default) or win32: the 32-bit loader in a
#                       32-bit prefix of its own, for the i686 build
#   VARNOKE_WINEPREFIX  the prefix (default build-wine/prefix, or
#                       build-wine/prefix32 for win32)
here_wine=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
case ${VARNOKE_WINE_ARCH:-win64} in
    win64) wine_loader=/usr/lib/wine/wine64 default_prefix=$here_wine/build-wine/prefix ;;
    win32) wine_loader=/usr/lib/wine/wine default_prefix=$here_wine/build-wine/prefix32 ;;
    *) echo "wine-env: VARNOKE_WINE_ARCH must be win64 or win32" >&2; exit 2 ;;
esac
export WINEARCH=${VARNOKE_WINE_ARCH:-win64}
export WINEPREFIX=${VARNOKE_WINEPREFIX:-$default_prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# One server program serves both kinds of client.
wine_server=/usr/lib/wine/wineserver
