#!/usr/bin/env bash
# A package under Wine, as an administrator and a user would use it:
# its registry keys are compared with what regsvr32 writes, each scope
# (per machine, per user) is installed, used by a host-like client through
# COM, upgraded over a refreshed data file and removed; the removal must
# leave no file and no key of ours and keep the host's own keys.
#   tests/win32/msi_check.sh BUILD_DIR MSI_DIR [x64|x86]
# The x64 package runs in the 64-bit prefix (and its run compares the x86
# package's tables with its own), the x86 one in the 32-bit prefix.
set -eEuo pipefail
# A step that fails outside a check (in a function too) says which, instead
# of ending the run silently.
trap 'echo "msi_check: line $LINENO: \"$BASH_COMMAND\" failed (status $?)" >&2' ERR
# shellcheck source=SCRIPTDIR/common.sh
. "$(dirname "$0")/common.sh"
# shellcheck source=SCRIPTDIR/../checks.sh
. "$(dirname "$0")/../checks.sh"
build=$(cd "$1" && pwd)
msi_dir=$(cd "$2" && pwd)
platform=${3:-x64}
msi=$msi_dir/Varnoke-$platform.msi

run=$(prepare_folder "$build" msi_run)
snapshots=$run/snapshots
mkdir -p "$snapshots"

ours='1648DD46-CF9C-466B-9179-871133C2A747|2AF9659D-545C-460B-8F55-CFCB34662697|C67E85AF-C109-4B53-B9A1-39F6D2188360|2C8DE26F-68BE-4175-8EDE-38C02EC4E634|52100994-9269-4138-81B4-AF5CB162E490|VarnokeST|Varnoke'
smart_tag='Software\Microsoft\Office\Common\Smart Tag'
# A recognizer of the host's own, enrolled before we come and kept after.
host_key="$smart_tag\\Recognizers\\{6A1E0B52-0D4C-4E59-9E33-1C1F7D1B9A10}"

# shellcheck disable=SC1003  # the patterns end in a backslash, not an escaped quote
mentions() { grep -Ei -- "$ours" "$snapshots/$1" | grep -Evi 'Installer\\|Uninstall\\' || true; }
# Our class and library keys of a snapshot half, in both views, with the
# classes root and FOLDER (the DLL's folder) replaced by fixed names.
classes() {  # SNAPSHOT ROOT FOLDER
    local folder
    folder=$(printf '%s' "$3" | sed 's/\\/\\\\\\\\/g')
    # shellcheck disable=SC1003  # '\Installer\' ends in a backslash, not an escaped quote
    grep -Ei -- "$ours" "$snapshots/$1" | grep -Fi "[$2\\Software\\Classes\\" |
        grep -Fvi -e "$smart_tag" -e '\Installer\' | sed "s|^\\[$2\\\\Software\\\\Classes|[CLASSES|I; s|$folder|FOLDER|Ig" |
        tr '[:upper:]' '[:lower:]' | LC_ALL=C sort || true
}
has_key() { "$wine" reg query "$1" >/dev/null 2>&1; }
msiexec() { "$wine" msiexec "$@" /qn; }
host_client() {  # FOLDER: the installed tool as a host: both classes by ProgID
    local tool=$1/varnoke.exe out com=--com
    # Wine's HKCR is HKLM's classes alone (Windows merges HKCU's in): there a
    # per-user registration cannot be created through COM, and the tool runs
    # the installed data through its linked-in core instead.
    if ! has_key 'HKCR\VarnokeST.STRecognizer\Clsid'; then
        echo "NOTE: this Wine does not merge HKCU\Software\Classes into HKCR; $tool without --com"
        com=
    fi
    out=$(printf '暻達半導體(2303)今日上漲' | "$wine" "$tool" scan $com 2>&1 | tr -d '\r') || true
    check "scan $com from $1 recognizes the stock: $out" grep -q $'^1\t5\t2303\t' <<<"$out"
    out=$("$wine" "$tool" verbs $com --app Excel --locale 1033 2>&1 | tr -d '\r') || true
    check "verbs $com from $1 lists the verbs, the web query among them: $out" grep -q $'^4\t' <<<"$out"
}

host_was_registered=false
host_library_registered && host_was_registered=true
# Removal in the scope that installed (Wine does not look it up itself).
args=()
cleanup() {
    local package
    for package in "$msi" "${upgrade:-}"; do
        if [ -n "$package" ]; then
            msiexec /x "$(winpath "$package")" "${args[@]}" >/dev/null 2>&1 || true
        fi
    done
    "$wine" regsvr32 /u /s "$(winpath "$run/Varnoke.dll")" >/dev/null 2>&1 || true
    "$wine" reg delete "HKCU\\$host_key" /f >/dev/null 2>&1 || true
    "$wine" reg delete "HKLM\\$host_key" /f >/dev/null 2>&1 || true
    $host_was_registered || "$wine" "$build/bin/test_host.exe" --unregister-host-library >/dev/null 2>&1 || true
}
trap cleanup EXIT

check "the package exists: $msi" test -s "$msi"

# The x86 package's tables, against the x64 package's.
table() { msiinfo export "$1" "$2" | tail -n +4 | tr -d '\r'; }
x86=$msi_dir/Varnoke-x86.msi
if [ "$platform" = x64 ]; then
    registry_rows() { table "$1" Registry | cut -f2-5 | LC_ALL=C sort -u; }
    check "x86: the registry rows are the x64 package's, with win32 for win64:
    $(diff <(registry_rows "$msi" | sed 's/\\win64\t/\\win32\t/') <(registry_rows "$x86") | head -5)" \
        cmp -s <(registry_rows "$msi" | sed 's/\\win64\t/\\win32\t/') <(registry_rows "$x86")
    check "x86: every registry row is per user or per machine (HKMU)" \
        test -z "$(table "$x86" Registry | awk -F'\t' '$2 != -1')"
    check "x86: no 64-bit component" test -z "$(table "$x86" Component | awk -F'\t' 'int($4 / 256) % 2')"
    check "x86: the data files are never overwritten" \
        test "$(table "$x86" Component | awk -F'\t' '$6 ~ /ListFile|TableFile/ && int($4 / 128) % 2' | wc -l)" -eq 2
    check "x86: the four files" test "$(table "$x86" File | cut -f3 | LC_ALL=C sort | tr '\n' ' ')" = \
        "Varnoke.dll acturl.xml varnoke.exe varnokeL.xml "
    check "x86: an upgrade removes the old version after installing the new" \
        test "$(table "$x86" InstallExecuteSequence | awk -F'\t' '$1 == "RemoveExistingProducts" {print ($3 > 6600)}')" = 1
fi
# The same package one version later, to upgrade to.
IFS=. read -r major minor patch <<<"$(msiinfo export "$msi" Property | sed -n 's/^ProductVersion\t//p' | tr -d '\r')"
upgrade=$run/upgrade/Varnoke-$platform.msi
BUILD_W64=$build BUILD_W32=$build VARNOKE_MSI_PLATFORMS=$platform VARNOKE_MSI_VERSION="$major.$minor.$((patch + 1))" \
    "$repo/scripts/msi.sh" "$run/upgrade" >/dev/null
"$wine" "$build/bin/test_host.exe" --register-host-library "$(winpath "$run/SmartTagLib.tlb")"
for root in HKCU HKLM; do "$wine" reg add "$root\\$host_key" /v Filename /d host.dll /f >/dev/null; done
take before
check "the prefix holds none of our keys before (a killed run?):
$(mentions before | head -5)" test -z "$(mentions before)"

# What DllRegisterServer writes, per machine.
status=0
"$wine" regsvr32 /s "$(winpath "$run/Varnoke.dll")" || status=$?
if [ "$status" -ne 0 ]; then
    # A second try tells a passing failure of the prefix from a broken registration.
    echo "NOTE: regsvr32 exited $status; once more"
    status=0
    "$wine" regsvr32 /s "$(winpath "$run/Varnoke.dll")" || status=$?
fi
check "regsvr32 registers the DLL (exit status $status)" test "$status" -eq 0
take regsvr32
"$wine" regsvr32 /u /s "$(winpath "$run/Varnoke.dll")"
classes regsvr32 HKEY_LOCAL_MACHINE "$(winpath "$run")" > "$snapshots/reference"
check "regsvr32 wrote the classes" grep -q 'inprocserver32' "$snapshots/reference"

refreshed='<!-- refreshed -->'
for scope in machine user; do
    if [ $scope = machine ]; then
        args=(ALLUSERS=1) root=HKEY_LOCAL_MACHINE short=HKLM
        folder='C:\Program Files\Varnoke'
    else
        args=() root=HKEY_CURRENT_USER short=HKCU
        folder="$(tr -d '\r' <<<"$("$wine" cmd /c echo %LOCALAPPDATA%)")\\Programs\\Varnoke"
    fi
    unix_folder=$("$wine" winepath -u "$folder" 2>/dev/null | tr -d '\r')
    status=0
    msiexec /i "$(winpath "$msi")" "${args[@]}" || status=$?
    check "per-$scope install succeeds (exit status $status)" test "$status" -eq 0
    take "$scope"
    classes "$scope" "$root" "$folder" > "$snapshots/$scope.classes"
    # Wine keeps one view of HKCU\Software\Classes: the 32-bit view's copies
    # of the library keys land on the 64-bit ones there.
    reference=$snapshots/reference
    if [ $scope = user ]; then
        # shellcheck disable=SC1003  # the pattern ends in a backslash, not an escaped quote
        grep -v '^\[classes\\wow6432node\\' "$reference" > "$snapshots/reference.user"
        reference=$snapshots/reference.user
    fi
    check "per-$scope: the package's class keys are regsvr32's; regsvr32 -> package:
$(diff "$reference" "$snapshots/$scope.classes" | head -8)" \
        cmp -s "$reference" "$snapshots/$scope.classes"
    for enrolled in "Recognizers\\$recognizer" "Actions\\$action"; do
        check "per-$scope: enrolled under $short\\...\\$enrolled" has_key "$short\\$smart_tag\\$enrolled"
    done
    for file in Varnoke.dll varnoke.exe varnokeL.xml acturl.xml; do
        check "per-$scope: $folder holds $file" test -f "$unix_folder/$file"
    done
    host_client "$unix_folder"

    # The refresh replaces a data file in place; an upgrade must keep it.
    check "per-$scope: the data folder is writable" test -w "$unix_folder/acturl.xml"
    printf '%s\n' "$refreshed" >> "$unix_folder/acturl.xml"
    status=0
    msiexec /i "$(winpath "$upgrade")" "${args[@]}" || status=$?
    check "per-$scope upgrade succeeds (exit status $status)" test "$status" -eq 0
    check "per-$scope upgrade kept the refreshed acturl.xml" grep -qF -- "$refreshed" "$unix_folder/acturl.xml"
    host_client "$unix_folder"

    status=0
    msiexec /x "$(winpath "$upgrade")" "${args[@]}" || status=$?
    check "per-$scope removal succeeds (exit status $status)" test "$status" -eq 0
    take "$scope.removed"
    check "per-$scope removal left keys of ours:
$(mentions "$scope.removed" | head -5)" test -z "$(mentions "$scope.removed")"
    # Named for the message; a folder that is gone (the passing case) lists nothing.
    left=$(find "$unix_folder" -mindepth 1 -maxdepth 1 -printf '%f ' 2>/dev/null || true)
    check "per-$scope removal left files: $left" test ! -e "$unix_folder"
    for root_short in HKCU HKLM; do
        check "per-$scope removal kept the host's key in $root_short" has_key "$root_short\\$host_key"
    done
done

checks_done
