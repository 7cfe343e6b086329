#!/usr/bin/env bash
# Checks a built Varnoke.dll as a file, without running it (the 32-bit build
# cannot run on these machines): machine type, exports, imports, version.
# usage: dll_static_check.sh DLL i686|x86_64
set -u
dll=$1
arch=$2
objdump=$arch-w64-mingw32-objdump
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

headers=$("$objdump" -p "$dll") || { echo "FAIL: objdump cannot read $dll"; exit 1; }

case $arch in
    i686) want_format="pei-i386" ;;
    x86_64) want_format="pei-x86-64" ;;
esac
"$objdump" -f "$dll" | grep -q "file format $want_format" || fail "not a $want_format file"

# Exactly the four server exports, undecorated.
exports=$(printf '%s\n' "$headers" | awk '/\[Ordinal\/Name Pointer\] Table/{on=1;next} on&&/^[ \t]*\[/{print $NF} on&&/^$/{on=0}' | sort | tr '\n' ' ')
[ "$exports" = "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ] ||
    fail "exports are: $exports"

# Only system DLLs: the C and C++ runtimes are linked in.
imports=$(printf '%s\n' "$headers" | sed -n 's/^[ \t]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
for dllname in $imports; do
    case $dllname in
        kernel32.dll|user32.dll|advapi32.dll|ole32.dll|oleaut32.dll|shell32.dll|msvcrt.dll|gdi32.dll|comctl32.dll|winhttp.dll) ;;
        api-ms-win-*) ;;
        *) fail "imports a non-system DLL: $dllname" ;;
    esac
done

# The version resource: each key followed by its value.
strings16=$(strings -el "$dll")
for pair in "CompanyName=Varnoke" "ProductName=VarnokeST" "FileVersion=1.00" "ProductVersion=1.00" \
            "InternalName=Varnoke" "OriginalFilename=Varnoke.dll"; do
    key=${pair%%=*} value=${pair#*=}
    printf '%s\n' "$strings16" | grep -A1 -x "$key" | sed -n 2p | grep -qx "$value" ||
        fail "version resource: $key is not $value"
done
printf '%s\n' "$strings16" | grep -qx "OLESelfRegister" || fail "version resource: no OLESelfRegister"
printf '%s\n' "$strings16" | grep -qx "040904B0" || fail "version resource: no 0409/1200 block"

if [ "$failures" -ne 0 ]; then echo "$failures failed"; exit 1; fi
echo "static checks of $dll: all passed"
