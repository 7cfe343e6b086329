#!/usr/bin/env bash
# A picture of Writer with the extension's tags underlined, taken on a
# virtual display (Xvfb) with the office's window shown:
#   scripts/writer-screenshot.sh OUT.png [FILE] [GEOMETRY]
# FILE defaults to tests/writer/three_scripts.txt; GEOMETRY is the part of
# the 1280x800 screen kept (import -crop), by default the first lines of the
# page at 160%, which docs/writer-tags.png shows. VARNOKE_OXT names the package (default:
# build/Varnoke.oxt). Not part of make test.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:?usage: writer-screenshot.sh OUT.png [FILE] [GEOMETRY]}
file=${2:-$here/../tests/writer/three_scripts.txt}
geometry=${3:-900x150+140+232}
oxt=${VARNOKE_OXT:-$here/../build/Varnoke.oxt}
[ -f "$oxt" ] || { echo "writer-screenshot: no extension package at $oxt (run make oxt)" >&2; exit 2; }
case $out in /*) ;; *) out=$PWD/$out ;; esac
# -ac: the office may run as another user (see writer_office.py), who could
# not read the display's authority file.
timeout -k 10 300 xvfb-run -a -s "-ac -screen 0 1280x800x24" \
    /usr/bin/python3 "$here/writer_office.py" screenshot "$file" "$oxt" "$out" "$geometry"
