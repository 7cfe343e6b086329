#!/usr/bin/env bash
# What the component does, on the shipped default data.
# usage: demo.sh VARNOKE SAMPLE_TEXT
set -euo pipefail
tool=$1
sample=$2

echo "== The recognizer (varnoke info)"
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
echo "($("$tool" scan "$sample" | wc -l) tags)"
echo
echo "== The verbs a document host offers on a tag (varnoke verbs): ID, caption, name"
"$tool" verbs
echo
echo "== ... in a spreadsheet host, in Traditional Chinese (--locale 1028 --app Excel)"
"$tool" verbs --locale 1028 --app Excel
echo
echo "== ... in Simplified Chinese (--locale 2052 --app Excel)"
"$tool" verbs --locale 2052 --app Excel
echo
first=$("$tool" scan "$sample" | head -n 1)
id=$(printf '%s' "$first" | cut -f3)
echo "== What each verb hands over for $(printf '%s' "$first" | cut -f4) ($id), dry run"
for verb in 0 1 2 3 4; do
    printf '%s\t' "$verb"
    "$tool" invoke "$verb" "$id" --app Excel --dry-run
done
echo
echo "== A document-supplied identifier that is no web address is never opened"
"$tool" invoke 0 'C:\Windows\System32\calc.exe' --data /nonexistent --dry-run 2>&1 || true
