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
# status names the registered server and its bitness (regsvr32 writes the
# machine's classes); a 32-bit system has one view, which both names show.
bits=64
[ "${VARNOKE_WINE_ARCH:-win64}" = win32 ] && bits=32
out=$("$wine" "$bin/varnoke.exe" status | tr -d '\r')
dll="Z:${bin//\//\\}\\Varnoke.dll"
for class in "VarnokeST.STRecognizer {1648DD46-CF9C-466B-9179-871133C2A747}" \
             "VarnokeST.STAction {2AF9659D-545C-460B-8F55-CFCB34662697}"; do
    case "$out" in
        *"registration (machine, 64-bit view): $class: server $dll ($bits-bit)"*) ;;
        *) echo "FAIL: status, $class registered: $out"; status=1 ;;
    esac
done
"$wine" regsvr32 /s /u "Z:$bin/Varnoke.dll" || { echo "FAIL: unregistration"; status=1; }
# Unregistered: the error says what to do.
err=$(printf 'x' | "$wine" "$bin/varnoke.exe" scan --com 2>&1 >/dev/null)
case "$err" in
    *"not registered: run regsvr32 Varnoke.dll or the installer"*) ;;
    *) echo "FAIL: unregistered component, no hint: $err"; status=1 ;;
esac
case "$("$wine" "$bin/varnoke.exe" status)" in
    *"registration (machine, 64-bit view): VarnokeST.STAction {2AF9659D-545C-460B-8F55-CFCB34662697}: not registered"*) ;;
    *) echo "FAIL: status after unregistration"; status=1 ;;
esac
exit $status
