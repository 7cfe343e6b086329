#!/usr/bin/env bash
# Runs verb4_test.exe, verb 4 end to end through the registered DLL and its
# real Insert-at dialog, on a fresh folder holding the DLL, the shipped data
# files and the host's type library, in the project's Wine prefix.
#   tests/spreadsheet_standin/run_verb4_test.sh BUILD_DIR
# The dialog needs a display: run it inside scripts/wine-session.sh.
set -euo pipefail
# shellcheck source=SCRIPTDIR/../win32/common.sh
. "$(dirname "$0")/../win32/common.sh"
build=$(cd "$1" && pwd)

if [ -z "${DISPLAY:-}" ]; then
    echo "FAIL no DISPLAY: run under scripts/wine-session.sh" >&2
    exit 1
fi
run=$build/tests/spreadsheet_standin/verb4_run
rm -rf "$run"
mkdir -p "$run"
cp "$build/bin/Varnoke.dll" "$repo/data/varnokeL.xml" "$repo/data/acturl.xml" \
   "$build/generated/SmartTagLib.tlb" "$run/"
"$wine" "$build/bin/verb4_test.exe" "$(winpath "$run/Varnoke.dll")" "$(winpath "$run/SmartTagLib.tlb")"
