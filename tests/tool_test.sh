#!/usr/bin/env bash
# The command-line tool, end to end: output formats, exit statuses and messages.
# usage: tool_test.sh "VARNOKE-COMMAND" DATA_DIR [com]
#   VARNOKE-COMMAND is the tool, or a runner and the tool ("scripts/wine.sh .../varnoke.exe").
#   com: drive the registered component through COM (--com); what only the
#   linked-in core can tell (a list that did not load, dry runs) is skipped.
set -u
read -r -a command <<< "$1"
data=$2
mode=${3:-core}
binary=${command[-1]}
extra=()
[ "$mode" = com ] && extra=(--com)
tool() { "${command[@]}" "$@" "${extra[@]}"; }
sep=/
case "$binary" in *.exe) sep=\\ ;; esac
# A folder as the tool shows it: made absolute, and on Windows the drive that
# Wine maps the Unix root to.
shown() { if [ "$sep" = / ]; then printf '%s' "$1"; else printf 'Z:%s' "${1//\//\\}"; fi; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=SCRIPTDIR/checks.sh
. "$(dirname "$0")/checks.sh"

cat > "$work/varnokeL.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<StockData>
  <KestriaStockList><StockName>宏岳</StockName><StockID>2001</StockID></KestriaStockList>
  <KestriaStockList><StockName>宏岳電子</StockName><StockID>2002</StockID></KestriaStockList>
  <KestriaStockList><StockName>2002</StockName><StockID>2002</StockID></KestriaStockList>
  <KestriaStockList><StockName>A"B</StockName><StockID>9\9</StockID></KestriaStockList>
</StockData>
XML

# Tab-separated tags in commit order; START and LENGTH in UTF-16 code units.
out=$(printf '𠀀宏岳電子(2002)與宏岳' | tool scan --data "$work"); rc=$?
check "scan exit status" same 0 "$rc"
check "scan lines" same "$(printf '3\t2\t2001\t宏岳\n14\t2\t2001\t宏岳\n3\t4\t2002\t宏岳電子\n8\t4\t2002\t2002')" "$out"

out=$(printf 'xA"By' > "$work/in.txt"; tool scan --data "$work" --json "$work/in.txt")
check "scan --json" same "$(printf '[\n  {"start": 2, "length": 3, "productId": "9\\\\9", "text": "A\\"B"}\n]')" "$out"

out=$(printf 'nothing here' | tool scan --data "$work" --json)
check "scan --json without tags" same "[]" "$out"

# A tab, a line break or a backslash in a ProductID or a name keeps each tag
# one line of four fields: escaped as \t \n \r \\ (the backslash first, so
# a backslash before a "t" stays told apart). --json escapes as JSON does.
mkdir "$work/escapes"
{
    printf '<?xml version="1.0" encoding="UTF-8"?>\n<StockData>\n'
    printf '<KestriaStockList><StockName>%s</StockName><StockID>%s</StockID></KestriaStockList>\n' \
        $'a\tb' $'t\t1' 'c&#10;d' 'n&#10;2' 'e&#13;f' 'r&#13;3' 'g\h' '\t5'
    printf '</StockData>\n'
} > "$work/escapes/varnokeL.xml"
printf 'a\tb c\nd e\rf g\\h' > "$work/escapes/in.txt"
out=$(tool scan --data "$work/escapes" "$work/escapes/in.txt")
check "scan escapes tabs, line breaks and backslashes" same \
    "$(printf '%s\t%s\t%s\t%s\n' 1 3 't\t1' 'a\tb' 5 3 'n\n2' 'c\nd' 9 3 'r\r3' 'e\rf' 13 3 '\\t5' 'g\\h')" "$out"
check "scan: one line of four fields per tag" same "4 4 4 4 " "$(printf '%s\n' "$out" | awk -F '\t' '{printf "%d ", NF}')"
out=$(tool scan --data "$work/escapes" --json "$work/escapes/in.txt")
check "scan --json of tabs, line breaks and backslashes" same "$(printf '%s\n' '[' \
    '  {"start": 1, "length": 3, "productId": "t\t1", "text": "a\tb"},' \
    '  {"start": 5, "length": 3, "productId": "n\n2", "text": "c\nd"},' \
    '  {"start": 9, "length": 3, "productId": "r\r3", "text": "e\rf"},' \
    '  {"start": 13, "length": 3, "productId": "\\t5", "text": "g\\h"}' ']')" "$out"

out=$(printf 'ab\xffcd' | tool scan --data "$work" 2>"$work/err"); rc=$?
check "invalid UTF-8 exit status" same 2 "$rc"
check "invalid UTF-8 stdout" same "" "$out"
check "invalid UTF-8 message" same "varnoke: standard input: invalid UTF-8 at byte 2" "$(cat "$work/err")"

out=$(tool scan --data "$work" "$work/no-such-file" 2>"$work/err"); rc=$?
check "unreadable file exit status" same 2 "$rc"
check "unreadable file stdout" same "" "$out"
check "unreadable file message" holds "$(cat "$work/err")" "varnoke: cannot read $work/no-such-file: "

# 10^4 entries sharing one name over 20 KB of text ask for 2x10^8 tags:
# refused whole, with a message, not by running out of memory.
mkdir "$work/many"
{ echo '<StockData>'; for i in $(seq 10000); do echo "<KestriaStockList><StockName>a</StockName><StockID>$i</StockID></KestriaStockList>"; done; echo '</StockData>'; } > "$work/many/varnokeL.xml"
out=$(head -c 20000 /dev/zero | tr '\0' a | tool scan --data "$work/many" 2>"$work/err"); rc=$?
check "too many tags: exit status" same 1 "$rc"
check "too many tags: stdout" same "" "$out"
check "too many tags: message" same "varnoke: more than 4194304 tags in one text: nothing recognized" "$(cat "$work/err")"

mkdir "$work/folder"
not_regular=("$work/folder")
case "$binary" in *.exe) ;; *) mkfifo "$work/fifo" && not_regular+=("$work/fifo") ;; esac
for f in "${not_regular[@]}"; do
    out=$(tool scan --data "$work" "$f" 2>"$work/err"); rc=$?
    check "scan of ${f##*/}: exit status" same 2 "$rc"
    check "scan of ${f##*/}: stdout" same "" "$out"
    check "scan of ${f##*/}: message" same "varnoke: cannot read $f: not a regular file" "$(cat "$work/err")"
done

mkdir "$work/empty"
out=$(printf '宏岳' | tool scan --data "$work/empty" 2>"$work/err"); rc=$?
check "missing stock list is no error" same 0 "$rc"
check "missing stock list tags nothing" same "" "$out"
check "missing stock list is reported" same \
    "varnoke: no stock list loaded from $(shown "$work/empty")${sep}varnokeL.xml (missing or malformed): nothing is recognized" \
    "$(cat "$work/err")"

# --data: a folder name that is not UTF-8 is an error; a relative folder is
# made absolute, so it stays a local folder whatever it looks like. (A
# Windows command line is UTF-16: no invalid bytes reach the tool there.)
out=$(tool verbs --data '' 2>"$work/err"); rc=$?
check "--data empty: status and stdout" same "2:" "$rc:$out"
check "--data empty: message" same "varnoke: --data needs a folder name" "$(cat "$work/err")"
if [ "$sep" = / ]; then
    out=$(printf '宏岳' | tool scan --data "$(printf 'ab\xffcd')" 2>"$work/err"); rc=$?
    check "--data invalid UTF-8: status and stdout" same "2:" "$rc:$out"
    check "--data invalid UTF-8: message" same "varnoke: --data: invalid UTF-8 at byte 2" "$(cat "$work/err")"
    mkdir -p "$work/http:/127.0.0.1:1"
    cp "$work/varnokeL.xml" "$work/http:/127.0.0.1:1/"
    out=$(cd "$work" && printf '宏岳' | tool scan --data http://127.0.0.1:1)
    check "--data http://127.0.0.1:1 is the local folder" same "$(printf '1\t2\t2001\t宏岳')" "$out"
fi
if [ "$mode" != com ]; then
    out=$(cd "$work/empty" && tool scan --data http://127.0.0.1:1 </dev/null 2>&1)
    check "--data http://127.0.0.1:1 is made absolute" holds "$out" \
        "varnoke: no stock list loaded from $(shown "$work/empty")${sep}http:" "127.0.0.1:1${sep}varnokeL.xml "
fi

# Without --data the tool reads the copies beside itself.
out=$(printf '%s' "$(head -c 0 /dev/null)" | tool scan 2>&1); rc=$?
check "default data folder loads" same "0:" "$rc:$out"
out=$(cmp -s "$(dirname "$binary")/varnokeL.xml" "$data/varnokeL.xml" && echo same)
check "default data copied beside the tool" same "same" "$out"

out=$(tool info --data "$work" --locale 1028)
check "info" same "$(printf 'Varnoke.STRecognizer \nKestria股票名稱/代碼\nKestria Stock Symbol Recognizer recognizes stock symbol of Kestria market in document.\n1\nurn:schemas-varnoke:smarttags#varnoke')" "$out"

tool info --locale abc >/dev/null 2>&1; rc=$?
check "bad locale" same 2 "$rc"
tool frobnicate >/dev/null 2>&1; rc=$?
check "unknown command" same 2 "$rc"

# Actions: the verbs a host offers, and what invoking one hands over.
cat > "$work/acturl.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<ActionList>
  <ActionUrl><ActionName>Quote</ActionName><URL>https://q.example/?id=</URL></ActionUrl>
  <ActionUrl><ActionName>Report</ActionName><URL>https://r.example/</URL></ActionUrl>
  <ActionUrl><ActionName>News</ActionName><URL>https://n.example/?s=</URL></ActionUrl>
  <ActionUrl><ActionName>Info</ActionName><URL>https://i.example/</URL></ActionUrl>
  <ActionUrl><ActionName>Query</ActionName><URL>https://w.example/?id=</URL></ActionUrl>
</ActionList>
XML
out=$(tool verbs --data "$work")
check "verbs in a document host" same "$(printf '0\tStock Quote on Web Site\tQuote\n1\tCompany Report on Web Site\tReport\n2\tRecent News on Web Site\tNews\n3\tBasic Information on Web Site\tInfo')" "$out"
out=$(tool verbs --data "$work" --locale 3076 --app "Excel 2003" | cut -f1,2 | tr '\n' ' ')
check "verbs in a spreadsheet, Traditional Chinese" same "0	股市報價 1	公司報表 2	最近新聞 3	基本資料 4	匯入可更新的股票資料 " "$out"
# Through COM the object has already loaded the table beside the DLL, and a
# missing file loaded later changes nothing.
if [ "$mode" != com ]; then
    out=$(tool verbs --data "$work/empty" --locale 2052 | cut -f1,3 | tr '\n' ' ')
    check "verbs without an action table: names empty" same "0	 1	 2	 3	 " "$out"
fi

if [ "$mode" != com ]; then
out=$(tool invoke 2 2002 --data "$work" --dry-run)
check "invoke prints the address" same "https://n.example/?s=2002" "$out"
out=$(tool invoke 4 2002 --data "$work" --dry-run --app Excel)
check "invoke verb 4 prints the connection" same "URL;https://w.example/?id=2002" "$out"
out=$(tool invoke 0 'file:///etc/passwd' --data "$work/empty" --dry-run 2>"$work/err"); rc=$?
check "refused address: status" same "0:" "$rc:$out"
missing_table="varnoke: no action table loaded from $(shown "$work/empty")${sep}acturl.xml (missing or malformed): no verb has an address"
check "refused address: reason, the missing table said" same \
    "$missing_table"$'\n''varnoke: not opened, not a web address: "file:///etc/passwd"' "$(cat "$work/err")"
for id in 'file:///C:/Windows/x.exe' 'C:\Users\x.txt' 'https://w.example/a b'; do
    out=$(tool invoke 4 "$id" --data "$work/empty" --dry-run --app Excel 2>"$work/err"); rc=$?
    check "verb 4, refused address $id: status" same "0:" "$rc:$out"
    check "verb 4, refused address $id: reason" same "$missing_table"$'\n'"varnoke: no web query, not a web address: \"$id\"" "$(cat "$work/err")"
done
# Without --dry-run the refresh runs; --verbose says what it did. A refused
# address keeps anything from opening.
out=$(tool invoke 0 'file:///x' --data "$work/empty" --verbose 2>&1)
check "invoke --verbose reports the refresh" same \
    "$missing_table"$'\n'"$(printf 'varnoke: data files: the action table has no refresh elements\nvarnoke: not opened, not a web address: "file:///x"')" "$out"
tool invoke x 1 --dry-run >/dev/null 2>&1; rc=$?
check "invoke with a bad verb ID" same 2 "$rc"
# What the opener did reaches the tool: with nothing on PATH to open the
# address it is not opened, and the tool says so. (Wine's shell has no PATH
# to take away.)
if [ "$sep" = / ]; then
    mkdir "$work/opener"
    # shellcheck disable=SC2016  # the opener's own $0 and $1
    printf '#!/bin/sh\nprintf "%%s" "$1" > "$0.tmp" && mv "$0.tmp" "$0.url"\n' > "$work/opener/xdg-open"
    chmod +x "$work/opener/xdg-open"
    out=$(PATH="$work/opener:$PATH" tool invoke 0 2002 --data "$work" 2>"$work/err"); rc=$?
    check "invoke with an opener: status, stdout and stderr" same "0:https://q.example/?id=2002:" "$rc:$out:$(cat "$work/err")"
    for i in $(seq 500); do [ -e "$work/opener/xdg-open.url" ] && break; sleep 0.01; done
    check "invoke with an opener: what it was given" same "https://q.example/?id=2002" "$(cat "$work/opener/xdg-open.url" 2>&1)"
    out=$(PATH="$work/empty" tool invoke 0 2002 --data "$work" 2>"$work/err"); rc=$?
    check "invoke without an opener: status and stdout" same "1:" "$rc:$out"
    check "invoke without an opener: message" same \
        'varnoke: not opened, the shell could not be started: "https://q.example/?id=2002"' "$(cat "$work/err")"
fi

fi

# Cell references as the web query dialog checks them (no COM member offers this).
[ "$mode" = com ] || for pair in "B6|accepted	B	6" "=&b06|accepted	b	06" "A1:C3|accepted	A	1" "&=B6|rejected" "|rejected" \
            "A99999999999|error	Overflow"; do
    out=$(tool cellref "${pair%%|*}"); rc=$?
    case "${pair#*|}" in accepted*) status=0 ;; *) status=1 ;; esac  # a script tells by the status
    check "cellref ${pair%%|*}" same "$status:${pair#*|}" "$rc:$out"
done

# Command-line conventions: ARGS (split on blanks)|STATUS|what stdout holds.
version=$(sed -n 's/^project(Varnoke VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../CMakeLists.txt")
printf '宏岳' > "$work/-t"
if [ "$mode" != com ]; then
cli_rows=(
"--help|0|usage: varnoke [--data DIR] [--com] COMMAND"
"-h|0|usage: varnoke [--data DIR] [--com] COMMAND"
"--data $work -h|0|usage: varnoke [--data DIR] [--com] COMMAND"
"--data $work --help scan|0|usage: varnoke scan"
"--version|0|varnoke $version"
"scan --help|0|Recognizes stock names in UTF-8 text"
"info -h|0|1033 English, 1028 or 3076"
"verbs --data $work --help|0|2052 Simplified Chinese"
"help invoke|0|4 a refreshable"
"invoke --help|0|0 stock quote page, 1 company report page"
"cellref -h|0|Checks a cell reference"
"check --help|0|FILE:LINE: error|warning"
"status -h|0|whether each data"
"--data $work scan $work/-t|0|1	2	2001	宏岳"
"--data=$work scan -- $work/-t|0|1	2	2001	宏岳"
"scan --data=$work $work/-t|0|1	2	2001	宏岳"
"--frobnicate scan|2|"
"invoke 7 2002 --data $work --dry-run|2|"
"invoke --data $work --dry-run -- 2 2002|0|https://n.example/?s=2002"
"cellref -- -B6|1|rejected"
"invoke 0 2002 --data=$work --dry-run|0|https://q.example/?id=2002"
"status --data $work|0|stock list: $(shown "$work")${sep}varnokeL.xml: loads, 4 entries"
"status --data $work|0|action table: $(shown "$work")${sep}acturl.xml: loads, 5 of 5 verbs with an address"
"status --data $work|0|refresh: off (no lastcheckpoint"
"status --data $work/empty|0|stock list: $(shown "$work/empty")${sep}varnokeL.xml: does not load"
"status --data $data|0|refresh: checkpoint 1, updateurl https://data.example.com/varnoke/acturl.xml"
"status --data $work|0|folder writable: yes"
)
for row in "${cli_rows[@]}"; do
    args=${row%%|*} rest=${row#*|}; status=${rest%%|*} expect=${rest#*|}
    read -r -a argv <<< "$args"
    out=$("${command[@]}" "${argv[@]}" 2>"$work/err" </dev/null); rc=$?
    check "varnoke $args: exit status" same "$status" "$rc"
    check "varnoke $args: stdout" holds "$out" "$expect"
done
out=$(tool invoke 7 2002 --data "$work" 2>&1)
check "invoke of a verb not handed out" same "varnoke: verb ID 7 is not one the component hands out (0 to 4)" "$out"
fi

# varnoke check over broken data files: one row per fault, FILE|CONTENT|STATUS|FINDING.
# CONTENT (printf %b) replaces that file in a copy of the shipped data; the
# output must hold FINDING (the file's name, line, severity and what).
decl='<?xml version="1.0" encoding="UTF-8"?>\n'
entry() { printf '<KestriaStockList><StockName>%s</StockName><StockID>%s</StockID></KestriaStockList>\n' "$1" "$2"; }
verbs() { local n; for n in "$@"; do printf '<ActionUrl><ActionName>%s</ActionName><URL>https://x.example/?id=</URL></ActionUrl>\n' "$n"; done; }
five=(StockQuote CompanyReport RecentNews BasicInformation InsertStockPrice)
refresh() { printf '<lastcheckpoint>%s</lastcheckpoint>\n<lastupdate>%s</lastupdate>\n<updatefrequency>%s</updatefrequency>\n<updateurl>%s</updateurl>\n' "$@"; }
table() { printf '%b<ActionList>\n%s\n%s\n</ActionList>\n' "$decl" "$(verbs "${five[@]}")" "$(refresh "$@")"; }
if [ "$mode" != com ]; then
check_rows=(
"varnokeL.xml|${decl}<StockData>\n<KestriaStockList><StockName>a</StockNam></KestriaStockList>\n</StockData>\n|1|varnokeL.xml:3: error: not well-formed"
"varnokeL.xml|${decl}<StockData>\n$(entry a 1)\n</StockData|1|varnokeL.xml:4: error: not well-formed"
"varnokeL.xml|<StockData>\n<KestriaStockList><StockName>\xe9</StockName><StockID>1</StockID></KestriaStockList>\n</StockData>\n|1|varnokeL.xml:2: error: byte 41 is not UTF-8 and no encoding is declared"
"varnokeL.xml|<StockData>\n$(entry a 1)\n</StockData>\n|0|varnokeL.xml:1: warning: no XML declaration naming the encoding"
"varnokeL.xml|<?xml version=\"1.0\"?>\n<StockData>\n$(entry a 1)\n</StockData>\n|0|varnokeL.xml:1: warning: no XML declaration naming the encoding"
"varnokeL.xml|${decl}<StockData>\n$(entry a 1)\n<KestriaStockList/>\n</StockData>\n|1|varnokeL.xml:4: error: empty entry"
"varnokeL.xml|<?xml version=\"1.0\" encoding=\"us-ascii\"?>\n<StockData>\n$(entry 峻磐 1)\n</StockData>\n|1|varnokeL.xml:3: error: byte 83 is not ASCII, the declared encoding (the file is UTF-8: declare UTF-8)"
"varnokeL.xml|<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<StockData>\n$(entry 峻磐 1)\n</StockData>\n|1|varnokeL.xml:3: error: the file is UTF-8, and its declaration names iso-8859-1: declare UTF-8"
"varnokeL.xml|<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<StockData>\n$(entry 'caf\xe9' 1)\n$(entry 'caf\xe9' 2)\n</StockData>\n|0|varnokeL.xml:4: warning: name \"café\" also on line 3"
"varnokeL.xml|<?xml version=\"1.0\" encoding=\"utf-8?>\n<StockData>\n$(entry a 1)\n</StockData>\n|1|varnokeL.xml:1: error: malformed XML declaration: the encoding is not a quoted value (column 21)"
"varnokeL.xml|${decl}<StockData>\n$(entry a 1)\n$(printf '<d>%.0s' {1..256})$(printf '</d>%.0s' {1..256})\n</StockData>\n|1|varnokeL.xml:4: error: elements nested more than 256 deep"
"varnokeL.xml|<?xml version=\"1.0\" encoding=\"UTF-7\"?>\n<StockData>\n$(entry a 1)\n</StockData>\n|1|varnokeL.xml:1: error: encoding \"utf-7\" is not one the component reads"
"varnokeL.xml|<?xml version=\"1.0\" encoding=\"latin-1\"?>\n<StockData>\n$(entry a 1)\n</StockData>\n|1|varnokeL.xml:1: error: encoding \"latin-1\" is not one the component reads"
"varnokeL.xml|${decl}<StockData>\n$(entry a 1)\n<KestriaStockList><StockName>b</StockName></KestriaStockList>\n</StockData>\n|1|varnokeL.xml:4: error: no <StockID> in this entry"
"varnokeL.xml|${decl}<StockData>\n$(entry a 1)\n<KestriaStockList><StockID>2</StockID></KestriaStockList>\n</StockData>\n|1|varnokeL.xml:4: error: no <StockName> in this entry"
"varnokeL.xml|${decl}<StockData>\n$(entry ' ' 1)\n</StockData>\n|1|varnokeL.xml:3: error: empty <StockName>"
"varnokeL.xml|${decl}<StockData>\n$(entry a 1)\n$(entry b 2)\n$(entry a 3)\n</StockData>\n|0|varnokeL.xml:5: warning: name \"a\" also on line 3"
"varnokeL.xml|${decl}<StockData>\n<KestriaStockLists><StockName>a</StockName><StockID>1</StockID></KestriaStockLists>\n</StockData>\n|1|varnokeL.xml:1: error: no <KestriaStockList> entry"
"varnokeL.xml|${decl}<StockData>\n<KestriaStockLists><StockName>a</StockName><StockID>1</StockID></KestriaStockLists>\n</StockData>\n|1|varnokeL.xml:3: warning: unknown element <KestriaStockLists>"
"varnokeL.xml|${decl}<StockData>\n<KestriaStockList><Stockname>a</Stockname><StockID>1</StockID></KestriaStockList>\n</StockData>\n|1|varnokeL.xml:3: warning: unknown element <Stockname>"
"acturl.xml|${decl}<ActionList>\n$(verbs "${five[@]:0:4}")\n</ActionList>\n|1|acturl.xml:6: error: 4 <ActionUrl> elements, 5 expected"
"acturl.xml|${decl}<ActionList>\n$(verbs "${five[@]}" Extra)\n</ActionList>\n|0|acturl.xml:8: warning: 6 <ActionUrl> elements, 5 expected"
"acturl.xml|${decl}<ActionList>\n$(verbs StockQuote CompanyReport BasicInformation RecentNews InsertStockPrice)\n</ActionList>\n|1|acturl.xml:5: error: <ActionName>BasicInformation</ActionName> in position 3, expected RecentNews"
"acturl.xml|${decl}<ActionList>\n$(verbs "${five[@]}" | sed '2s|https://x.example/?id=|file:///C:/x?id=|')\n</ActionList>\n|1|acturl.xml:4: error: URL \"file:///C:/x?id=\" is not a web address"
"acturl.xml|$(table 1 soon 10080 https://d.example/acturl.xml)|1|acturl.xml:9: error: <lastupdate> \"soon\" is not a decimal number"
"acturl.xml|$(table 1 29000000 0 https://d.example/acturl.xml)|1|acturl.xml:10: error: <updatefrequency> 0 is below 1"
"acturl.xml|$(table -1 29000000 10080 https://d.example/acturl.xml)|1|acturl.xml:8: error: <lastcheckpoint> -1 is below 0"
"acturl.xml|$(table 1 29000000 10080 ftp://d.example/acturl.xml)|1|acturl.xml:11: error: <updateurl> \"ftp://d.example/acturl.xml\" is not an http(s) address"
)
for row in "${check_rows[@]}"; do
    file=${row%%|*} rest=${row#*|}; finding=${rest##*|} rest=${rest%|*}; status=${rest##*|} content=${rest%|*}
    rm -rf "$work/check" && mkdir "$work/check" && cp "$data/varnokeL.xml" "$data/acturl.xml" "$work/check/"
    printf '%b' "$content" > "$work/check/$file"
    out=$("${command[@]}" check --data "$work/check"); rc=$?
    check "check, $finding: exit status" same "$status" "$rc"
    check "check, $finding: the finding" holds "$out" "$finding"
done
out=$("${command[@]}" check --data "$data"); rc=$?
check "check of the shipped data: no finding" same "0:" "$rc:$out"

# Signed folders: the shipped data keyed by a test key, signed as publish
# signs (here by openssl itself, so every build's check is tried against the
# same bytes), then spoilt one way per row: SETUP|STATUS|FINDING.
keys=$(cd "$(dirname "$0")/keys" && pwd)
spki() { openssl ec -in "$keys/$1.pem" -pubout -outform DER 2>/dev/null | base64 -w0; }
name_key() { sed -i "s|</updateurl>|</updateurl><publickey>$(spki "$1")</publickey>|" "$2"; }  # KEY TABLE
sign_folder() {  # FOLDER KEY [CHECKPOINT]: manifest.txt and manifest.sig as publish writes them
    sha() { sha256sum "$1/$2" | cut -d' ' -f1; }
    printf 'varnoke-manifest 1\ncheckpoint %s\nexpires 2099-01-01T00:00:00Z\nsha256 acturl.xml %s\nsha256 varnokeL.xml %s\n' \
        "${3:-1}" "$(sha "$1" acturl.xml)" "$(sha "$1" varnokeL.xml)" > "$1/manifest.txt"
    openssl dgst -sha256 -sign "$keys/$2.pem" -out "$1/sig.der" "$1/manifest.txt"
    { base64 -w0 "$1/sig.der"; echo; } > "$1/manifest.sig"
    rm "$1/sig.der"
}
signed_rows=(
"|0|manifest.txt: signed by the table's key, checkpoint 1 (expires 2099-01-01T00:00:00Z)"
"echo '<!-- changed -->' >> \$f/varnokeL.xml|1|error: varnokeL.xml is not the file the manifest names"
"sed -i 's#<lastupdate>[0-9]*#<lastupdate>30000000#' \$f/acturl.xml|0|warning: acturl.xml is not the file the manifest names, varnokeL.xml is"
"sed -i 's#<publickey>[^<]*#<publickey>#' \$f/acturl.xml|1|error: <publickey> is not a P-256 key in base64"
"sed -i 's#<publickey>[^<]*#<publickey>AAAA#' \$f/acturl.xml|1|error: <publickey> is not a P-256 key in base64"
"sign_folder \$f signer2|1|error: no signature in manifest.sig is by the table's <publickey>"
"rm \$f/manifest.txt \$f/manifest.sig|0|warning: the table names a <publickey>, and the folder is not signed"
"sed -i 's/^checkpoint 1/checkpoint 2/' \$f/manifest.txt|1|error: no signature in manifest.sig is by the table's <publickey>"
"sed -i 's#<publickey>#<publickey>!#' \$f/acturl.xml|1|error: <publickey> is not a P-256 key in base64"
)
for row in "${signed_rows[@]}"; do
    setup=${row%%|*} rest=${row#*|}; status=${rest%%|*} finding=${rest#*|}
    f=$work/signed
    rm -rf "$f" && mkdir "$f" && cp "$data/varnokeL.xml" "$data/acturl.xml" "$f/"
    name_key signer1 "$f/acturl.xml"
    sign_folder "$f" signer1
    eval "$setup"
    out=$("${command[@]}" check --data "$f"); rc=$?
    check "signed folder, $finding: exit status" same "$status" "$rc"
    check "signed folder, $finding: the finding" holds "$out" "$finding"
done
# publish, where it signs, and what status then tells.
f=$work/signed
rm -rf "$f" && mkdir "$f" && cp "$data/varnokeL.xml" "$data/acturl.xml" "$f/"
out=$("${command[@]}" publish --key "$keys/signer1.pem" --data "$f" 2>&1); rc=$?
if [ "$sep" = / ]; then
    check "publish of a table naming no key" same "2" "$rc"
    check "publish without a key: message" holds "$out" "names no P-256 <publickey> in base64"
    name_key signer2 "$f/acturl.xml"
    out=$("${command[@]}" publish --key "$keys/signer1.pem" --next-key "$keys/signer2.pem" --data "$f" --expires 7); rc=$?
    check "publish: exit status" same "0" "$rc"
    check "publish: one signature per key" same "2" "$(wc -l < "$f/manifest.sig")"
    out=$("${command[@]}" check --data "$f"); rc=$?
    check "check after publish" same "0" "$rc"
    check "check after publish: the signature" holds "$out" "signed by the table's key, checkpoint 1"
    out=$("${command[@]}" status --data "$f")
    check "status of a keyed folder" holds "$out" "refresh: keyed" "manifest (of the installed pair): checkpoint 1, expires"
    out=$("${command[@]}" publish --data "$f" 2>&1); rc=$?
    check "publish without --key" same "2:varnoke: publish needs --key KEY.pem" "$rc:$out"
else
    check "publish signs only in the Linux build" same "2" "$rc"
fi

# varnoke refresh against a loopback server holding checkpoint 2 (the
# shipped pair, one stock more): SETUP|ARGS|STATUS|LINE. SETUP changes the
# local folder, a copy of the shipped pair at checkpoint 1 whose updateurl
# is that server; the line is all the command prints.
served=$work/served
mkdir "$served"
python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$served" >"$work/server.log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; rm -rf "$work"' EXIT
port=
for _ in $(seq 100); do
    port=$(sed -n 's/^Serving HTTP on [0-9.]* port \([0-9]*\).*/\1/p' "$work/server.log")
    [ -n "$port" ] && break
    sleep 0.1
done
check "loopback server for refresh" test -n "$port"
remote=http://127.0.0.1:$port/acturl.xml
sed 's|</StockData>|<KestriaStockList><StockName>新上市</StockName><StockID>9999</StockID></KestriaStockList>\n</StockData>|' \
    "$data/varnokeL.xml" > "$served/varnokeL.xml"
sed -e 's|<lastcheckpoint>1<|<lastcheckpoint>2<|' -e "s|<updateurl>[^<]*<|<updateurl>$remote<|" \
    "$data/acturl.xml" > "$served/acturl.xml"
local_table() {  # LASTUPDATE [UPDATEURL]: the local table's refresh elements
    sed -i -e "s|<lastupdate>[0-9]*<|<lastupdate>$1<|" -e "s|<updateurl>[^<]*<|<updateurl>${2:-$remote}<|" "$f/acturl.xml"
}
local_key() { name_key signer1 "$f/acturl.xml"; }
key_both() {  # KEY: both tables name signer1; the remote pair is signed by KEY
    local_key
    name_key signer1 "$served/acturl.xml"
    sign_folder "$served" "$1" 2
}
refresh_rows=(
"local_table 99999999||0|not_due: up to date: not due (every 10080 minutes since lastupdate; --force refreshes now)"
"local_table 99999999|--force|0|refreshed: checkpoint 1 replaced by 2"
"local_table 1||0|refreshed: checkpoint 1 replaced by 2"
"local_table 1; sed -i 's#<lastcheckpoint>1<#<lastcheckpoint>2<#' \$f/acturl.xml|--force|0|not_newer: up to date: the remote checkpoint is not above 2"
"local_table 1 http://127.0.0.1:$port/gone/acturl.xml|--force|1|table_unreachable: failed: the remote action table could not be loaded"
"local_table 1 file:///etc/acturl.xml|--force|1|not_web_address: failed: updateurl is not an http or https address"
"sed -i '/<lastcheckpoint>/d' \$f/acturl.xml|--force|1|no_update_info: failed: the action table has no refresh elements"
"rm \$f/acturl.xml|--force|1|failed: no action table loads from $(shown "$work/refresh")${sep}acturl.xml (run varnoke check)"
"local_table 1; key_both signer1|--force|0|refreshed: checkpoint 1 replaced by 2"
"local_table 1; key_both signer2|--force|1|bad_signature: failed: the remote manifest is not signed by the action table's key"
"local_table 1; local_key|--force|1|no_signature: failed: the remote data files have no manifest or no signature"
)
pristine=$(cat "$served/acturl.xml")
for row in "${refresh_rows[@]}"; do
    setup=${row%%|*} rest=${row#*|}; args=${rest%%|*} rest=${rest#*|}; status=${rest%%|*} line=${rest#*|}
    f=$work/refresh
    rm -rf "$f" "$served/manifest.txt" "$served/manifest.sig" && mkdir "$f" && cp "$data/varnokeL.xml" "$data/acturl.xml" "$f/"
    printf '%s\n' "$pristine" > "$served/acturl.xml"
    eval "$setup"
    read -r -a argv <<< "$args"
    out=$("${command[@]}" refresh --data "$f" "${argv[@]}" 2>&1); rc=$?
    check "refresh ${args:-(due or not)}, $line: exit status" same "$status" "$rc"
    check "refresh ${args:-(due or not)}, $line: the line" same "$line" "$out"
    case $line in
        refreshed*) check "refresh, $line: the served list installed" cmp -s "$served/varnokeL.xml" "$f/varnokeL.xml" ;;
        *) [ ! -f "$f/varnokeL.xml" ] || check "refresh, $line: the local list kept" cmp -s "$data/varnokeL.xml" "$f/varnokeL.xml" ;;
    esac
done
out=$("${command[@]}" refresh --data "$f" extra 2>&1); rc=$?
check "refresh with an argument" same "2:varnoke: refresh takes no arguments" "$rc:$out"
fi

checks_done
