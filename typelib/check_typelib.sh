#!/usr/bin/env bash
# Compares a type library, in a .tlb file or embedded in a DLL, with its
# reviewed description:
#   typelib/check_typelib.sh FILE.tlb|FILE.dll EXPECTED.txt SmartTagLib.tlb
# SmartTagLib.tlb (from build_typelib.sh) is what references to the host's
# types resolve to. dump_typelib.exe is built into that file's folder.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 3 ] || { echo "usage: $0 FILE.tlb|FILE.dll EXPECTED.txt SmartTagLib.tlb" >&2; exit 2; }
for f in "$1" "$2" "$3"; do [ -f "$f" ] || { echo "check_typelib: no such file: $f" >&2; exit 2; }; done
file=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
expected=$2
host_dir=$(cd "$(dirname "$3")" && pwd)
host=$host_dir/$(basename "$3")

# Rebuilt when its source or the COM plumbing it includes is newer.
dumper=$host_dir/dump_typelib.exe
source=$here/typelib/dump_typelib.cpp
plumbing=$here/adapters/win32/com/com_ptr.h
if [ ! -f "$dumper" ] || [ "$source" -nt "$dumper" ] || [ "$plumbing" -nt "$dumper" ]; then
    x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -Wall -Wextra -Werror -static -municode -I"$here" \
        -o "$dumper.tmp$$" "$source" -loleaut32 -lole32 -luuid
    mv -f "$dumper.tmp$$" "$dumper"
fi

actual=$(mktemp)
trap 'rm -f "$actual"' EXIT
# Wine sees the Unix file system as drive Z:.
"$here/scripts/wine.sh" "$dumper" "Z:$file" "Z:$host" > "$actual"
if ! diff -u "$expected" "$actual"; then
    echo "check_typelib: $1 differs from $expected" >&2
    exit 1
fi
