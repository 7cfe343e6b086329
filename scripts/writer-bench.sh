#!/usr/bin/env bash
# What the Writer extension costs the office's CPU, with and without it:
#   scripts/writer-bench.sh [--runs N] [--only paragraph|pages] [--tags N]
# Generates one paragraph of TAGS names (default 5,000) in as many runs and
# about 300 ordinary pages, has Writer load and recognize each from a fresh
# private profile, RUNS times (default 5) with build/Varnoke.oxt (or
# $VARNOKE_OXT) installed and as many without, and prints the medians of
# soffice.bin's user+sys time and their ratios (scripts/writer_bench.py).
# A measurement, not part of make test; it takes a few minutes.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
oxt=${VARNOKE_OXT:-$here/../build/Varnoke.oxt}
[ -f "$oxt" ] || { echo "writer-bench: no extension package at $oxt (run make oxt)" >&2; exit 2; }
# The tool, when built, is one more argument; otherwise none.
tool=("$here/../build/bin/varnoke")
[ -x "${tool[0]}" ] || tool=()
exec /usr/bin/python3 "$here/writer_bench.py" "$oxt" "$here/../data" "${tool[@]}" "$@"
