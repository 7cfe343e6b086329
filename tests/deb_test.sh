#!/usr/bin/env bash
# The Linux package as an administrator meets it:
#   tests/deb_test.sh BUILD_DEB
# Checks the package's files, fields and lintian's verdict. As root, and
# only where the package is not installed and /var/lib/varnoke does not
# exist, it then installs the package, runs the installed tool, has Writer
# (headless, a fresh profile) tag a document through the bundled extension,
# and purges the package, checking that nothing of it is left. The machine
# is left as it was found whatever fails: the package is purged on the way out.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
out=$1
version=$(sed -n 's/^project(Varnoke VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
deb=$out/varnoke_${version}_amd64.deb
# shellcheck source=SCRIPTDIR/checks.sh
. "$here/checks.sh"

check "the package exists" test -f "$deb"
[ -f "$deb" ] || { checks_done; exit 1; }

# Its files: the tool, the default data, the bundled extension, the docs.
extension=usr/lib/libreoffice/share/extensions/varnoke
want_files="usr/bin/varnoke
$extension/META-INF/manifest.xml
$extension/description.xml
$extension/libvarnoke_writer.so
$extension/varnoke.components
usr/share/doc/varnoke/CHANGELOG.md.gz
usr/share/doc/varnoke/README.md
usr/share/doc/varnoke/changelog.gz
usr/share/doc/varnoke/copyright
usr/share/doc/varnoke/data-files.md
usr/share/doc/varnoke/deploy.md
usr/share/doc/varnoke/writer.md
usr/share/man/man1/varnoke.1.gz
usr/share/varnoke/acturl.xml
usr/share/varnoke/varnokeL.xml"
files=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -n 's|^\./||; /[^/]$/p' | LC_ALL=C sort)
check "the package's files" same "$want_files" "$files"
check "the tool is executable" holds "$(dpkg-deb -c "$deb" | grep ' ./usr/bin/varnoke$')" "-rwxr-xr-x root/root"
check "the default data files are the shipped ones" cmp -s <(dpkg-deb --fsys-tarfile "$deb" |
    tar -xO ./usr/share/varnoke/varnokeL.xml) "$root/data/varnokeL.xml"

# Its fields: the tool's libraries are dependencies, the office only recommended.
depends=$(dpkg-deb --field "$deb" Depends)
recommends=$(dpkg-deb --field "$deb" Recommends)
check "Depends: the tool's libraries" holds "$depends" "libc6" "libcurl4" "libpugixml1v5" "libssl3" "libstdc++6"
check "Depends: nothing of the office" test -z "$(printf '%s' "$depends" | grep -Eo 'libreoffice|uno')"
check "Recommends: Writer and the libraries of the office the extension links" holds "$recommends" \
    "libreoffice-writer" "libuno-cppu3"
check "the package's name, version and architecture" same "varnoke $version amd64" \
    "$(dpkg-deb --field "$deb" Package Version Architecture | cut -d' ' -f2 | tr '\n' ' ' | sed 's/ $//')"
check "maintainer scripts" same "postinst postrm" \
    "$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed -n 's|^\./\(post.*\)|\1|p' | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')"

# lintian: no error (its warnings and notes are shown).
verdict=$(lintian --fail-on error "$deb" 2>&1); status=$?
verdict=$(printf '%s\n' "$verdict" | grep -v 'running with root privileges')
[ -z "$verdict" ] || printf '%s\n' "$verdict"
check "lintian finds no error" same "" "$(printf '%s\n' "$verdict" | grep '^E:')"
check "lintian's status" same 0 "$status"

if [ "$(id -u)" -ne 0 ]; then
    echo "deb_test: not root: the package is not installed here"
    checks_done
    exit
fi
if dpkg-query -W -f='${Status}' varnoke 2>/dev/null | grep -q 'install ok installed' || [ -e /var/lib/varnoke ]; then
    echo "deb_test: varnoke is installed here already (or /var/lib/varnoke exists): left as it is, not installed"
    checks_done
    exit
fi

# From here the package is ours: purged on the way out, whatever happens.
work=$(mktemp -d)
cleanup() {
    dpkg-query -W varnoke >/dev/null 2>&1 && dpkg --purge varnoke >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

out_install=$(dpkg -i "$deb" 2>&1); status=$?
check "dpkg -i" same 0 "$status"
[ "$status" -eq 0 ] || printf '%s\n' "$out_install"
check "the data folder seeded" cmp -s /var/lib/varnoke/varnokeL.xml "$root/data/varnokeL.xml"
check "the installed tool on PATH" same /usr/bin/varnoke "$(command -v varnoke)"
check "varnoke --version" same "varnoke $version" "$(/usr/bin/varnoke --version)"
status_text=$(/usr/bin/varnoke status)
check "varnoke status: the installed data folder" holds "$status_text" "data folder: /var/lib/varnoke" \
    "stock list: /var/lib/varnoke/varnokeL.xml: loads, " "action table: /var/lib/varnoke/acturl.xml: loads, 5 of 5"
check "varnoke scan over the installed data" same "$(printf '1\t5\t2303\t暻達半導體')" \
    "$(printf '暻達半導體' | /usr/bin/varnoke scan | grep 2303)"
out_check=$(/usr/bin/varnoke check); status=$?
check "varnoke check of the installed data" same "0:" "$status:$out_check"
check "varnoke verbs" holds "$(/usr/bin/varnoke verbs --app Writer)" "0	" "3	"
check "the manual page" holds "$(zcat /usr/share/man/man1/varnoke.1.gz)" ".TH VARNOKE 1" "refresh"

# Writer, headless on a fresh profile where nothing was installed with
# unopkg: the bundled extension tags the document as the tool does.
document=$root/tests/writer/three_scripts.txt
expected=$(while IFS= read -r line; do
    [ -n "$line" ] && printf '%s' "$line" | /usr/bin/varnoke scan | sort -s -n -k1,1 | cut -f3,4
done < "$document")
got=$(VARNOKE_OXT=bundled timeout 320 "$root/scripts/writer-scan.sh" "$document" 2>"$work/writer.err"); status=$?
check "Writer with the bundled extension: status" same 0 "$status"
[ "$status" -eq 0 ] || cat "$work/writer.err"
check "Writer with the bundled extension: the tags" same "$expected" "$got"
check "Writer with the bundled extension: some tags" test -n "$got"

# Purge: nothing of the package is left, the data folder included.
listed=$(dpkg -L varnoke | grep -v '^/\.$')
out_purge=$(dpkg --purge varnoke 2>&1); status=$?
check "dpkg --purge" same 0 "$status"
[ "$status" -eq 0 ] || printf '%s\n' "$out_purge"
left=$(for p in $listed; do
    case $p in /usr | /usr/bin | /usr/lib | /usr/share | /usr/share/doc | /usr/share/man | /usr/share/man/man1 | \
        /usr/lib/libreoffice | /usr/lib/libreoffice/share | /usr/lib/libreoffice/share/extensions) ;;
        *) [ -e "$p" ] && echo "$p" ;;
    esac
done)
check "purged: no file of the package left" same "" "$left"
check "purged: /var/lib/varnoke removed" test ! -e /var/lib/varnoke
check "purged: dpkg knows no varnoke" test -z "$(dpkg-query -W -f='${Status}' varnoke 2>/dev/null | grep installed)"

checks_done
