#!/usr/bin/env bash
# What the component does, on the shipped default data.
# usage: demo.sh VARNOKE SAMPLE_TEXT
set -euo pipefail
tool=$1
sample=$2

echo "== The recognizer ($(basename "$tool") info)"
"$tool" info
echo
echo "== Its name in Traditional and Simplified Chinese"
"$tool" info --locale 1028 | sed -n 2p
"$tool" info --locale 2052 | sed -n 2p
echo
echo "== The sample text"
cat "$sample"
echo
echo "== Tags committed for it: START, LENGTH (UTF-16 code units), ProductID, matched text"
"$tool" scan "$sample"
echo
echo "== $("$tool" scan "$sample" | wc -l) tags"
