#!/usr/bin/env bash
# The tags Writer has the extension's recognizer commit in a document:
#   scripts/writer-scan.sh FILE
# Sets up a private user profile in a temporary folder (removed afterwards),
# installs the extension there with unopkg, has Writer open FILE (anything
# it opens: .odt, .fodt, .docx, .txt read as UTF-8), waits until Writer has
# run recognition over every paragraph of every part it recognizes in and
# prints one line per tag, PRODUCTID<TAB>TEXT, in document order: the body
# (its tables in place), the headers, the footers, the footnotes, the
# endnotes and the text frames. Exit 0 when Writer ran; 1 with a message when
# it did not (or not over every paragraph in time), 2 for a wrong call.
# VARNOKE_OXT names the package (default: build/Varnoke.oxt, from make oxt);
# "bundled" installs none and uses the extension the office bundles (the
# Linux package's).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -ne 1 ]; then
    echo "usage: writer-scan.sh FILE" >&2
    exit 2
fi
oxt=${VARNOKE_OXT:-$here/../build/Varnoke.oxt}
if [ "$oxt" != bundled ] && [ ! -f "$oxt" ]; then
    echo "writer-scan: no extension package at $oxt (run make oxt)" >&2
    exit 2
fi
if [ ! -x /usr/lib/libreoffice/program/soffice ] || [ ! -x /usr/bin/python3 ]; then
    echo "writer-scan: Writer or Python-UNO is missing (scripts/setup.sh writer)" >&2
    exit 2
fi
# The driver bounds each step; this bounds the whole, whatever happens.
status=0
timeout -k 10 300 /usr/bin/python3 "$here/writer_office.py" scan "$1" "$oxt" || status=$?
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "writer-scan: the office did not finish within 300 s" >&2
    exit 1
fi
exit "$status"
