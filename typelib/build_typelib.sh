#!/usr/bin/env bash
# Builds the type libraries and the COM declarations for one architecture:
#   typelib/build_typelib.sh i686|x86_64 OUTDIR MAKE_TYPELIB.exe
# MAKE_TYPELIB.exe is the generator the build made (a 64-bit program for
# both architectures: Wine here runs 64-bit code only).
# Leaves in OUTDIR: VarnokeST.tlb (our library, written by make_typelib.exe
# from widl's compilation of component/varnoke.idl), SmartTagLib.tlb (the
# host's library, for tests: on a real machine the host registers its own),
# smarttaglib.h, varnoke.h, smarttaglib_i.c and varnoke_i.c.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

case ${1:-} in
    i686) syskind=win32 ;;
    x86_64) syskind=win64 ;;
    *) echo "usage: $0 i686|x86_64 OUTDIR MAKE_TYPELIB.exe" >&2; exit 2 ;;
esac
[ $# -eq 3 ] || { echo "usage: $0 i686|x86_64 OUTDIR MAKE_TYPELIB.exe" >&2; exit 2; }
arch=$1
mkdir -p "$2"
out=$(cd "$2" && pwd)
generator=$3
[ -f "$generator" ] || { echo "build_typelib: no such generator: $generator" >&2; exit 2; }

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

# Wine sees the Unix file system as drive Z:. Written under another name
# and moved, so a failed run never leaves a library behind for the build.
rm -f "$out/VarnokeST.tlb.tmp"
VARNOKE_WINE_ARCH=win64 "$here/scripts/wine.sh" "$generator" "$syskind" "Z:$out/SmartTagLib.tlb" \
    "Z:$out/widl_varnoke.tlb" "Z:$out/VarnokeST.tlb.tmp"
mv -f "$out/VarnokeST.tlb.tmp" "$out/VarnokeST.tlb"
