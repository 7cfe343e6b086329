#!/usr/bin/env bash
# Checks a built Varnoke.dll (or varnoke.exe) as a file, without running it
# (the 32-bit build cannot run on these machines): machine type, exports,
# imports, version resource against VERSION (CMake's project version), and
# for a Release build that it is stripped with its debug file beside it.
# usage: dll_static_check.sh FILE i686|x86_64 VERSION [Release]
set -u
dll=$1
arch=$2
version=$3
config=${4:-}
name=$(basename "$dll")
objdump=$arch-w64-mingw32-objdump
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

headers=$("$objdump" -p "$dll") || { echo "FAIL: objdump cannot read $dll"; exit 1; }

case $arch in
    i686) want_format="pei-i386" ;;
    x86_64) want_format="pei-x86-64" ;;
esac
"$objdump" -f "$dll" | grep -q "file format $want_format" || fail "not a $want_format file"

# The matcher's 32- and 64-byte kernels (AVX2, AVX-512) run in the 64-bit
# build too, where GCC cannot align such a stack slot (the ABI aligns to
# 16): no aligned 32- or 64-byte move may touch the stack. The i686 build
# realigns such frames.
if [ "$arch" = x86_64 ]; then
    spills=$("$objdump" -d --no-show-raw-insn "$dll" |
        grep -E 'vmov(aps|apd|dqa|dqa32|dqa64|ntdq|ntps|ntpd)[[:space:]]+(%[yz]mm[0-9]+,[^(]*\(%r[sb]p\)|[^,]*\(%r[sb]p\),%[yz]mm)' | head -3)
    [ -z "$spills" ] || fail "aligned 32- or 64-byte moves on the stack: $spills"
fi

# Exactly the four server exports, undecorated (the tool exports nothing).
[ "$name" = varnoke.exe ] || {
exports=$(printf '%s\n' "$headers" | awk '/\[Ordinal\/Name Pointer\] Table/{on=1;next} on&&/^[ \t]*\[/{print $NF} on&&/^$/{on=0}' | sort | tr '\n' ' ')
[ "$exports" = "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ] ||
    fail "exports are: $exports"
}

# Only system DLLs: the C and C++ runtimes are linked in.
imports=$(printf '%s\n' "$headers" | sed -n 's/^[ \t]*DLL Name: //p' | tr '[:upper:]' '[:lower:]' | sort -u)
for dllname in $imports; do
    case $dllname in
        kernel32.dll|user32.dll|advapi32.dll|ole32.dll|oleaut32.dll|shell32.dll|msvcrt.dll|gdi32.dll|comctl32.dll|winhttp.dll|bcrypt.dll) ;;
        api-ms-win-*) ;;
        *) fail "imports a non-system DLL: $dllname" ;;
    esac
done

# The version resource: each key followed by its value. The texts give the
# major and the minor in two digits (1.0.0 reads "1.00"); the fixed part
# below all three numbers.
IFS=. read -r major minor patch _ <<<"$version"
text=$(printf '%d.%02d' "$major" "$minor")
strings16=$(strings -el "$dll")
internal=Varnoke
[ "$name" = varnoke.exe ] && internal=varnoke
for pair in "CompanyName=The Varnoke developers" "ProductName=VarnokeST" "FileVersion=$text" \
            "ProductVersion=$text" "InternalName=$internal" "OriginalFilename=$name"; do
    key=${pair%%=*} value=${pair#*=}
    printf '%s\n' "$strings16" | grep -A1 -x "$key" | sed -n 2p | grep -qx "$value" ||
        fail "version resource: $key is not $value"
done
for key in FileDescription LegalCopyright; do
    printf '%s\n' "$strings16" | grep -A1 -x "$key" | sed -n 2p | grep -q . || fail "version resource: no $key"
done
# The fixed part: FILEVERSION as four 16-bit numbers, after the signature.
fixed=$(printf '%04x%04x%04x%04x' "$minor" "$major" 0 "${patch:-0}" | sed 's/\(..\)\(..\)/\2\1/g')
od -An -v -tx1 "$dll" | tr -d ' \n' | grep -q "bd04effe00000100${fixed}" ||
    fail "version resource: the fixed FILEVERSION is not $version"
if [ "$name" != varnoke.exe ]; then
    printf '%s\n' "$strings16" | grep -qx "OLESelfRegister" || fail "version resource: no OLESelfRegister"
fi
printf '%s\n' "$strings16" | grep -qx "040904B0" || fail "version resource: no 0409/1200 block"

if [ "$config" = Release ]; then
    sections=$("$objdump" -h "$dll")
    printf '%s\n' "$sections" | grep -q '\.debug_' && fail "not stripped: it carries .debug sections"
    printf '%s\n' "$sections" | grep -q '\.gnu_debuglink' || fail "no debug link"
    if ! { [ -s "$dll.debug" ] && "$objdump" -h "$dll.debug" | grep -q '\.debug_info'; }; then
        fail "no debug information beside it in $name.debug"
    fi
fi

if [ "$failures" -ne 0 ]; then echo "$failures failed"; exit 1; fi
echo "static checks of $dll: all passed"
