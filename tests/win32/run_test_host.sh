#!/usr/bin/env bash
# Runs test_host.exe, the COM host test, on a fresh copy of the DLL and its
# data, with the recording browser behind the shell.
#   tests/win32/run_test_host.sh BUILD_DIR
set -euo pipefail
# shellcheck source=SCRIPTDIR/common.sh
. "$(dirname "$0")/common.sh"
build=$(cd "$1" && pwd)

run=$(prepare_folder "$build" host_run)
install_url_handler "$run"
"$wine" "$build/bin/test_host.exe" "$(winpath "$run/Varnoke.dll")" "$(winpath "$run/SmartTagLib.tlb")" \
    "$(winpath "$run/record_url.log")"
