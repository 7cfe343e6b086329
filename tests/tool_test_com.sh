#!/usr/bin/env bash
# The tool's cases through COM: registers the DLL beside varnoke.exe, runs
# the cases with --com, and unregisters it again whatever happened.
# usage: tool_test_com.sh BIN_DIR DATA_DIR
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "$1" && pwd)
wine=$here/scripts/wine.sh
"$wine" regsvr32 /s "Z:$bin/Varnoke.dll" || { echo "FAIL: registration"; exit 1; }
"$here/tests/tool_test.sh" "$wine $bin/varnoke.exe" "$2" com
status=$?
"$wine" regsvr32 /s /u "Z:$bin/Varnoke.dll" || { echo "FAIL: unregistration"; status=1; }
# Unregistered: the error says what to do.
err=$(printf 'x' | "$wine" "$bin/varnoke.exe" scan --com 2>&1 >/dev/null)
case "$err" in
    *"not registered: run regsvr32 Varnoke.dll or the installer"*) ;;
    *) echo "FAIL: unregistered component, no hint: $err"; status=1 ;;
esac
exit $status
