#!/usr/bin/env bash
# Registers Varnoke.dll with regsvr32 as a set-up would, checks the keys it
# wrote, unregisters it and checks the registry is exactly as before: no key
# or value mentioning our identifiers is left, nothing else changed, and the
# host library's keys (registered first, as the host application does) are
# untouched throughout.
#   tests/win32/registry_check.sh BUILD_DIR
set -euo pipefail
# shellcheck source=SCRIPTDIR/common.sh
. "$(dirname "$0")/common.sh"
# shellcheck source=SCRIPTDIR/../checks.sh
. "$(dirname "$0")/../checks.sh"
build=$(cd "$1" && pwd)

run=$(prepare_folder "$build" registry_run)
dll=$(winpath "$run/Varnoke.dll")
snapshots=$run/snapshots
mkdir -p "$snapshots"

tab=$'\t'
libid='{C67E85AF-C109-4B53-B9A1-39F6D2188360}'
own_iids=('{2C8DE26F-68BE-4175-8EDE-38C02EC4E634}' '{52100994-9269-4138-81B4-AF5CB162E490}')
# Ours: classes, library, interfaces, records, ProgIDs and the file.
ours='1648DD46-CF9C-466B-9179-871133C2A747|2AF9659D-545C-460B-8F55-CFCB34662697|C67E85AF-C109-4B53-B9A1-39F6D2188360|2C8DE26F-68BE-4175-8EDE-38C02EC4E634|52100994-9269-4138-81B4-AF5CB162E490|2D817803-D056-4F85-A2DF-A2FD1FC57A79|1060C157-CA59-40D5-B887-013CC3276DBD|VarnokeST|Varnoke\.dll'
# The host's: its library and its four interfaces.
host='9B92EB61-CBC1-11D3-8C2D-00A0CC37B591|3C6C0440-A27D-11D3-BD33-D80C46980A07|3B744D8F-B8A5-11D3-B2CF-00500489D6A3|9BF068D0-B735-11D3-B2CF-00500489D6A3|54F37842-CDD7-11D3-B2D4-00500489D6A3'

mentions() { grep -Ei -- "$2" "$snapshots/$1" || true; }
host_keys() { grep -Ei -- "$host" "$snapshots/$1" > "$snapshots/$1.host" || true; }
has_line() { grep -Fxqi -- "$2" "$snapshots/$1"; }  # keys are case-insensitive
# The lines of snapshot B that A lacks (or, with -23, the reverse).
changed() { LC_ALL=C comm "$1" "$snapshots/$2" "$snapshots/$3"; }

host_was_registered=false
host_library_registered && host_was_registered=true
cleanup() {
    "$wine" regsvr32 /u /s "$dll" >/dev/null 2>&1 || true
    $host_was_registered || "$wine" "$build/bin/test_host.exe" --unregister-host-library >/dev/null 2>&1 || true
}
trap cleanup EXIT

"$wine" "$build/bin/test_host.exe" --register-host-library "$(winpath "$run/SmartTagLib.tlb")"
take before
check "the prefix holds none of our keys before registering (a killed run? regsvr32 /u cleans up):
$(mentions before "$ours" | head -5)" test -z "$(mentions before "$ours")"
host_keys before
for iid in 3C6C0440-A27D-11D3-BD33-D80C46980A07 3B744D8F-B8A5-11D3-B2CF-00500489D6A3 \
           9BF068D0-B735-11D3-B2CF-00500489D6A3 54F37842-CDD7-11D3-B2D4-00500489D6A3; do
    check "registering SmartTagLib.tlb created the host's key Interface\\{$iid}" \
        grep -qiF "\\Interface\\{$iid}]" "$snapshots/before.host"
done

status=0
"$wine" regsvr32 /s "$dll" || status=$?
check "regsvr32 succeeds (exit status $status)" test "$status" -eq 0
take registered

# Registering only adds, and only keys that are ours.
check "registering removed or changed these lines:
$(changed -23 before registered | head -5)" test -z "$(changed -23 before registered)"
foreign=$(changed -13 before registered | cut -f1 | grep -Eiv -- "$ours" || true)
check "registering added keys whose path is not ours:
$(head -5 <<<"$foreign")" test -z "$foreign"
host_keys registered
check "registering changed the host's keys" cmp -s "$snapshots/before.host" "$snapshots/registered.host"

classes='HKEY_LOCAL_MACHINE\Software\Classes'
dll_value=$(printf '%s' "$dll" | sed 's/\\/\\\\/g')
for entry in "$recognizer STRecognizer" "$action STAction"; do
    clsid=${entry% *}
    progid=VarnokeST.${entry#* }
    key="[$classes\\CLSID\\$clsid"
    check "$progid: CLSID default value" has_line registered "$key]${tab}@=\"$progid\""
    check "$progid: InprocServer32 names the DLL" has_line registered "$key\\InprocServer32]${tab}@=\"$dll_value\""
    check "$progid: ThreadingModel Apartment" \
        has_line registered "$key\\InprocServer32]${tab}\"ThreadingModel\"=\"Apartment\""
    check "$progid: CLSID\\ProgID" has_line registered "$key\\ProgID]${tab}@=\"$progid\""
    check "$progid: CLSID\\TypeLib" has_line registered "$key\\TypeLib]${tab}@=\"$libid\""
    check "$progid: CLSID\\VERSION 1.0" has_line registered "$key\\VERSION]${tab}@=\"1.0\""
    check "$progid: the ProgID key" has_line registered "[$classes\\$progid]${tab}@=\"$progid\""
    check "$progid: the ProgID's Clsid" has_line registered "[$classes\\$progid\\Clsid]${tab}@=\"$clsid\""
done
check "TypeLib registered as version 1.0" has_line registered "[$classes\\TypeLib\\$libid\\1.0]"
# The library's platform key is the DLL's: win64 or win32.
syskind=${VARNOKE_WINE_ARCH:-win64}
check "TypeLib 1.0, locale 409 (1033), $syskind names the DLL" \
    has_line registered "[$classes\\TypeLib\\$libid\\1.0\\409\\$syskind]${tab}@=\"$dll_value\""
libkey="[$classes\\TypeLib\\$libid"
other_versions=$(grep -Fi -- "$libkey\\" "$snapshots/registered" | grep -Fvi -e "$libkey\\1.0]" -e "$libkey\\1.0\\" || true)
check "no TypeLib version but 1.0:
$other_versions" test -z "$other_versions"
for iid in "${own_iids[@]}"; do
    check "interface $iid is marshalled through our library" \
        has_line registered "[$classes\\Interface\\$iid\\TypeLib]${tab}@=\"$libid\""
    check "interface $iid uses the automation marshaller" \
        has_line registered "[$classes\\Interface\\$iid\\ProxyStubClsid32]${tab}@=\"{00020424-0000-0000-C000-000000000046}\""
done

status=0
"$wine" regsvr32 /u /s "$dll" || status=$?
check "regsvr32 /u succeeds (exit status $status)" test "$status" -eq 0
take unregistered

check "left behind after unregistering:
$(mentions unregistered "$ours" | head -5)" test -z "$(mentions unregistered "$ours")"
check "register + unregister changed the registry; before -> after:
$(diff "$snapshots/before" "$snapshots/unregistered" | head -8)" cmp -s "$snapshots/before" "$snapshots/unregistered"
host_keys unregistered
check "unregistering changed the host's keys" cmp -s "$snapshots/before.host" "$snapshots/unregistered.host"

checks_done
