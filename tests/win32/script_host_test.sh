#!/usr/bin/env bash
# Runs script_host_test.vbs under Wine's cscript against a fresh, registered
# copy of the DLL and checks what it echoed and what reached the shell.
#   tests/win32/script_host_test.sh BUILD_DIR
set -euo pipefail
# shellcheck source=SCRIPTDIR/common.sh
. "$(dirname "$0")/common.sh"
# shellcheck source=SCRIPTDIR/../checks.sh
. "$(dirname "$0")/../checks.sh"
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

run=$(prepare_folder "$build" script_run)
cp "$here/script_host_test.vbs" "$run/"
cat > "$run/script-actions.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<ActionList>
  <ActionUrl><ActionName>A</ActionName><URL>https://script.example/a/</URL></ActionUrl>
  <ActionUrl><ActionName>B</ActionName><URL>https://script.example/b/</URL></ActionUrl>
</ActionList>
XML
dll=$(winpath "$run/Varnoke.dll")

host_was_registered=false
host_library_registered && host_was_registered=true
cleanup() {
    "$wine" regsvr32 /u /s "$dll" >/dev/null 2>&1 || true
    $host_was_registered || "$wine" "$build/bin/test_host.exe" --unregister-host-library >/dev/null 2>&1 || true
    restore_url_handler
}
install_url_handler "$run"
trap cleanup EXIT
# The host application's library: late binding resolves the host's
# interface types through it.
"$wine" "$build/bin/test_host.exe" --register-host-library "$(winpath "$run/SmartTagLib.tlb")"
"$wine" regsvr32 /s "$dll"

status=0
output=$("$wine" cscript //nologo "$(winpath "$run/script_host_test.vbs")" \
    "$(winpath "$run/varnokeL.xml")" "$(winpath "$run/script-actions.xml")" | tr -d '\r') || status=$?
printf '%s\n' "$output"

has_output() { grep -Fxq -- "$1" <<<"$output"; }

check "cscript exit status $status" test "$status" -eq 0
for line in "created:_STRecognizer,_STAction" "stock-load-literal:Empty" "stock-load-variable:Empty" "recognize-without-site:done" \
             "recognizer-progid-error:438" "action-verbcount-error:438" "action-load:Empty" \
             "invoked:done" "SENTINEL-OK"; do
    check "the script echoed \"$line\"" has_output "$line"
done

# Two addresses, in either order (each browser start is its own process);
# verb 7 opens nothing.
expected=$'https://report.example.com/company/\nhttps://script.example/b/'
log=$run/record_url.log
for _ in $(seq 50); do
    [ -f "$log" ] && [ "$(wc -l < "$log")" -ge 2 ] && break
    sleep 0.1
done
sleep 0.3
opened=$(sort "$log" 2>/dev/null || true)
check "the shell received:
$opened
expected:
$expected" test "$opened" = "$expected"

checks_done
