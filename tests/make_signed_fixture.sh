#!/usr/bin/env bash
# Writes tests/signed_fixture.h: signed pairs of data files for the refresh
# tests of both platforms, signed here with openssl by the test keys in
# tests/keys/ (made with `openssl ecparam -name prime256v1 -genkey -noout`;
# they sign nothing but these fixtures). Run it again after changing a
# fixture's text; the tests check that the digests still match.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

spki() { openssl ec -in "$here/keys/$1.pem" -pubout -outform DER 2>/dev/null | base64 -w0; }
key1=$(spki signer1)
key2=$(spki signer2)
list='<StockData><KestriaStockList><StockName>SIGNED</StockName><StockID>SIGNED1</StockID></KestriaStockList></StockData>'
table() {  # CHECKPOINT KEY [ELEMENT]: ELEMENT, when given, stands for the <publickey> of KEY
    printf '%s' "<?xml version=\"1.0\"?><ActionList><ActionUrl><ActionName>QuoteSIGNED</ActionName><URL>https://q.example/?id=</URL></ActionUrl><lastcheckpoint>$1</lastcheckpoint><lastupdate>1</lastupdate><updatefrequency>99</updatefrequency><updateurl>https://next.invalid/v/acturl.xml</updateurl>${3-${2:+<publickey>$2</publickey>}}</ActionList>"
}
sha() { printf '%s' "$1" | sha256sum | cut -d' ' -f1; }
manifest() {  # CHECKPOINT EXPIRES TABLE
    printf 'varnoke-manifest 1\ncheckpoint %s\nexpires %s\nsha256 acturl.xml %s\nsha256 varnokeL.xml %s\n' \
        "$1" "$2" "$(sha "$3")" "$(sha "$list")"
}
sign() {  # TEXT KEY: one line of the signature file
    printf '%s' "$1" > "$work/m"
    openssl dgst -sha256 -sign "$here/keys/$2.pem" -out "$work/s" "$work/m"
    base64 -w0 "$work/s"
    echo
}
literal() { printf 'R"~~(%s)~~"' "$1"; }
signature() {  # NAME TEXT KEY: a C++ string of the signature file's line, its line break as \n
    printf 'inline constexpr std::string_view %s = "%s\\n";\n' "$1" "$(sign "$2" "$3")"
}

table6=$(table 6 "$key1")
rotated=$(table 6 "$key2")
table7=$(table 7 "$key2")
unkeyed=$(table 6 "")
blank=$(table 6 "" "<publickey> </publickey>")
short=$(table 6 AAAA)
ok=$(manifest 6 2099-01-01T00:00:00Z "$table6")
# shellcheck disable=SC2034  # read through ${!name} below
expired=$(manifest 6 2026-12-08T09:30:59Z "$table6")
# shellcheck disable=SC2034  # read through ${!name} below
checkpoint=$(manifest 7 2099-01-01T00:00:00Z "$table6")
malformed=$'varnoke-manifest 1\ncheckpoint 6'
rotate=$(manifest 6 2099-01-01T00:00:00Z "$rotated")
second=$(manifest 7 2099-01-01T00:00:00Z "$table7")
nokey=$(manifest 6 2099-01-01T00:00:00Z "$unkeyed")
blankkey=$(manifest 6 2099-01-01T00:00:00Z "$blank")
shortkey=$(manifest 6 2099-01-01T00:00:00Z "$short")

{
    echo "// Made by tests/make_signed_fixture.sh: do not edit."
    echo "#pragma once"
    echo
    echo "#include <string_view>"
    echo
    echo "namespace varnoke::test::signed_fixture {"
    echo
    echo "// The test keys' public halves, as <publickey> holds them."
    echo "inline constexpr std::string_view kKey1 = \"$key1\";"
    echo "inline constexpr std::string_view kKey2 = \"$key2\";"
    echo "inline constexpr std::string_view kList = $(literal "$list");"
    echo "// Checkpoint 6 naming key 1; the same naming key 2; 7 naming key 2; 6 naming none."
    echo "inline constexpr std::string_view kTable = $(literal "$table6");"
    echo "inline constexpr std::string_view kRotatedTable = $(literal "$rotated");"
    echo "inline constexpr std::string_view kSecondTable = $(literal "$table7");"
    echo "inline constexpr std::string_view kUnkeyedTable = $(literal "$unkeyed");"
    echo "// Checkpoint 6 naming a blank key; naming a base64 text that is no P-256 key."
    echo "inline constexpr std::string_view kBlankKeyTable = $(literal "$blank");"
    echo "inline constexpr std::string_view kShortKeyTable = $(literal "$short");"
    echo "// Manifests (each followed by its signature file) of kTable with kList:"
    echo "// valid until 2099; expiring at the tests' clock; naming checkpoint 7."
    for name in ok expired checkpoint; do
        text=${!name}$'\n'
        echo "inline constexpr std::string_view k${name^}Manifest = $(literal "$text");"
        signature "k${name^}Signature" "$text" signer1
    done
    echo "// kOkManifest signed by key 2 only."
    signature kOkSignatureByKey2 "$ok"$'\n' signer2
    echo "// Signed by key 1, but not a manifest."
    echo "inline constexpr std::string_view kMalformedManifest = $(literal "$malformed"$'\n');"
    signature kMalformedSignature "$malformed"$'\n' signer1
    echo "// kRotatedTable under key 1; kSecondTable under key 2; kUnkeyedTable under key 1."
    echo "inline constexpr std::string_view kRotateManifest = $(literal "$rotate"$'\n');"
    signature kRotateSignature "$rotate"$'\n' signer1
    echo "inline constexpr std::string_view kSecondManifest = $(literal "$second"$'\n');"
    signature kSecondSignature "$second"$'\n' signer2
    echo "inline constexpr std::string_view kUnkeyedManifest = $(literal "$nokey"$'\n');"
    signature kUnkeyedSignature "$nokey"$'\n' signer1
    echo "// kBlankKeyTable and kShortKeyTable under key 1."
    echo "inline constexpr std::string_view kBlankKeyManifest = $(literal "$blankkey"$'\n');"
    signature kBlankKeySignature "$blankkey"$'\n' signer1
    echo "inline constexpr std::string_view kShortKeyManifest = $(literal "$shortkey"$'\n');"
    signature kShortKeySignature "$shortkey"$'\n' signer1
    echo
    echo "}  // namespace varnoke::test::signed_fixture"
} > "$here/signed_fixture.h"
