#!/usr/bin/env bash
# make deb: the Linux package build-deb/varnoke_VERSION_amd64.deb, built from a
# native build of its own with Debian's tools (dpkg-shlibdeps, dpkg-gencontrol,
# dpkg-deb) and checked by lintian. Installs what it needs first.
#   /usr/bin/varnoke                          the tool, reading /var/lib/varnoke
#   /usr/share/varnoke/{varnokeL,acturl}.xml  the default data files, which
#                                             postinst copies to /var/lib/varnoke
#   /usr/lib/libreoffice/share/extensions/varnoke/   the Writer extension,
#                                             bundled for every user of the office
#   /usr/share/doc/varnoke/, /usr/share/man/man1/varnoke.1.gz
# The office is only recommended: the tool installs without it.
set -euo pipefail
cd "$(dirname "$0")/.."
root_dir=$(pwd)
out=${BUILD_DEB:-build-deb}

scripts/setup.sh native writer deb

# The distribution's build flags (hardening, -O2 -g), as a package of the
# distribution would have them; the matcher's kernels still build at -O3.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CPPFLAGS=$(dpkg-buildflags --get CPPFLAGS)
cmake -S . -B "$out/build" -DCMAKE_BUILD_TYPE=None -DVARNOKE_TESTS=OFF -DVARNOKE_WRITER=ON \
      -DVARNOKE_DATA_DIR=/var/lib/varnoke -DCMAKE_SKIP_RPATH=ON \
      -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $CPPFLAGS" \
      -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $CPPFLAGS" \
      -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
      -DCMAKE_MODULE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
      -DCMAKE_SHARED_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$out/build" -j "${JOBS:-$(nproc)}" --target varnoke oxt
version=$(sed -n 's/^project(Varnoke VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

# The package's tree.
stage=$out/root
rm -rf "$stage" "$out/src"
install -d "$stage/DEBIAN" "$stage/usr/bin" "$stage/usr/share/varnoke" "$stage/usr/share/doc/varnoke" \
           "$stage/usr/share/man/man1"
install -m 0755 "$out/build/bin/varnoke" "$stage/usr/bin/varnoke"
install -m 0644 data/varnokeL.xml data/acturl.xml "$stage/usr/share/varnoke/"
# The extension unpacked, as the office's bundled extensions are; its data
# files are left out, the library reads /var/lib/varnoke.
extension=$stage/usr/lib/libreoffice/share/extensions/varnoke
install -d "$extension"
(cd "$extension" && unzip -q "$root_dir/$out/build/Varnoke.oxt" -x varnokeL.xml acturl.xml)
find "$extension" -type d -exec chmod 0755 {} + && find "$extension" -type f -exec chmod 0644 {} +
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$stage/usr/bin/varnoke" \
      "$extension/libvarnoke_writer.so"
install -m 0644 packaging/debian/copyright "$stage/usr/share/doc/varnoke/copyright"
for doc in README.md docs/deploy.md docs/writer.md docs/data-files.md; do
    install -m 0644 "$doc" "$stage/usr/share/doc/varnoke/"
done
gzip -9n -c CHANGELOG.md > "$stage/usr/share/doc/varnoke/CHANGELOG.md.gz"
sed "s/@VERSION@/$version/" packaging/debian/varnoke.1 | gzip -9n > "$stage/usr/share/man/man1/varnoke.1.gz"
install -m 0755 packaging/debian/postinst packaging/debian/postrm "$stage/DEBIAN/"

# A source tree as dpkg-shlibdeps and dpkg-gencontrol read it. The tool's
# libraries are dependencies; the extension's (the office's own among them)
# only recommendations.
src=$out/src
install -d "$src/debian"
cp packaging/debian/control "$src/debian/control"
sed -e "s/@VERSION@/$version/" -e "s/@DATE@/$(date -R -d "@$(git log -1 --format=%ct 2>/dev/null || date +%s)")/" \
    packaging/debian/changelog.in > "$src/debian/changelog"
gzip -9n -c "$src/debian/changelog" > "$stage/usr/share/doc/varnoke/changelog.gz"
stage_abs=$(cd "$stage" && pwd)
(cd "$src" && dpkg-shlibdeps -Tdebian/substvars -l/usr/lib/libreoffice/program \
     -dDepends "$stage_abs/usr/bin/varnoke" \
     -dRecommends "$stage_abs/usr/lib/libreoffice/share/extensions/varnoke/libvarnoke_writer.so")
(cd "$src" && dpkg-gencontrol -pvarnoke -P"$stage_abs" -Tdebian/substvars)
(cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum > DEBIAN/md5sums)
chmod 0644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"

deb=$out/varnoke_${version}_amd64.deb
rm -f "$deb"
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "deb: $deb"
dpkg-deb --field "$deb" Depends Recommends | sed 's/^/deb: /'
