#!/usr/bin/env bash
# Runs smoke.exe on a fresh folder holding the DLL, with record_url.exe as
# the browser behind the shell.
#   tests/smoke32/run_smoke.sh BUILD_DIR
set -euo pipefail
# shellcheck source=SCRIPTDIR/../win32/common.sh
. "$(dirname "$0")/../win32/common.sh"
build=$(cd "$1" && pwd)

run=$(prepare_folder "$build" smoke_run)
"$wine" "$build/bin/smoke.exe" "$(winpath "$run/Varnoke.dll")" "$(winpath "$run/SmartTagLib.tlb")" \
    "$(winpath "$run/record_url.exe")" "$(winpath "$run/record_url.log")"
