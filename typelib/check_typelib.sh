#!/usr/bin/env bash
# Compares a type library, in a .tlb file or embedded in a DLL, with its
# reviewed description:
#   typelib/check_typelib.sh DUMP_TYPELIB.exe FILE.tlb|FILE.dll EXPECTED.txt SmartTagLib.tlb
# DUMP_TYPELIB.exe is the dumper the build made; SmartTagLib.tlb (from
# build_typelib.sh) is what references to the host's types resolve to.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 4 ] || { echo "usage: $0 DUMP_TYPELIB.exe FILE.tlb|FILE.dll EXPECTED.txt SmartTagLib.tlb" >&2; exit 2; }
for f in "$@"; do [ -f "$f" ] || { echo "check_typelib: no such file: $f" >&2; exit 2; }; done
dumper=$1
file=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
expected=$3
host=$(cd "$(dirname "$4")" && pwd)/$(basename "$4")

actual=$(mktemp)
trap 'rm -f "$actual"' EXIT
# Wine sees the Unix file system as drive Z:. The tools are 64-bit programs
# whichever build they serve.
VARNOKE_WINE_ARCH=win64 "$here/scripts/wine.sh" "$dumper" "Z:$file" "Z:$host" > "$actual"
if ! diff -u "$expected" "$actual"; then
    echo "check_typelib: $2 differs from $expected" >&2
    exit 1
fi
