#!/usr/bin/env bash
# Builds the type libraries and the COM declarations for one architecture:
#   typelib/build_typelib.sh i686|x86_64 OUTDIR
# Leaves in OUTDIR: VarnokeST.tlb (our library, written by make_typelib.exe
# from widl's compilation of component/varnoke.idl), SmartTagLib.tlb (the
# host's library, for tests: on a real machine the host registers its own),
# smarttaglib.h, varnoke.h, smarttaglib_i.c and varnoke_i.c.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

case ${1:-} in
    i686) syskind=win32 ;;
    x86_64) syskind=win64 ;;
    *) echo "usage: $0 i686|x86_64 OUTDIR" >&2; exit 2 ;;
esac
[ $# -eq 2 ] || { echo "usage: $0 i686|x86_64 OUTDIR" >&2; exit 2; }
arch=$1
mkdir -p "$2"
out=$(cd "$2" && pwd)

# -L"$out": importlib("SmartTagLib.tlb") must find the host library of this
# architecture, built first.
widl=("$arch-w64-mingw32-widl" -I/usr/include/wine/wine/windows -I"$here/hostapi"
      -L/usr/lib/x86_64-linux-gnu/wine/x86_64-windows -L"$out")
host_idl=$here/hostapi/smarttaglib.idl
own_idl=$here/component/varnoke.idl
"${widl[@]}" -t -o "$out/SmartTagLib.tlb" "$host_idl"
"${widl[@]}" -h -o "$out/smarttaglib.h" "$host_idl"
"${widl[@]}" -u -o "$out/smarttaglib_i.c" "$host_idl"
"${widl[@]}" -t -o "$out/widl_varnoke.tlb" "$own_idl"
"${widl[@]}" -h -o "$out/varnoke.h" "$own_idl"
"${widl[@]}" -u -o "$out/varnoke_i.c" "$own_idl"

# The generator is a 64-bit program for both architectures (Wine here runs
# 64-bit code only); it is rebuilt when its source or the COM plumbing it
# includes is newer.
generator=$out/make_typelib.exe
source=$here/typelib/make_typelib.cpp
plumbing=$here/adapters/win32/com/com_ptr.h
if [ ! -f "$generator" ] || [ "$source" -nt "$generator" ] || [ "$plumbing" -nt "$generator" ]; then
    x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -Wall -Wextra -Werror -static -municode -I"$here" \
        -o "$generator.tmp$$" "$source" -loleaut32 -lole32 -luuid
    mv -f "$generator.tmp$$" "$generator"
fi

# Wine sees the Unix file system as drive Z:. Written under another name
# and moved, so a failed run never leaves a library behind for the build.
rm -f "$out/VarnokeST.tlb.tmp"
"$here/scripts/wine.sh" "$generator" "$syskind" "Z:$out/SmartTagLib.tlb" "Z:$out/widl_varnoke.tlb" \
    "Z:$out/VarnokeST.tlb.tmp"
mv -f "$out/VarnokeST.tlb.tmp" "$out/VarnokeST.tlb"
