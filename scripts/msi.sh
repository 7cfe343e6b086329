#!/usr/bin/env bash
# Builds Varnoke-x86.msi and Varnoke-x64.msi from packaging/varnoke.wxs with
# wixl, from the Release builds of make dll, into OUT (default build-msi).
#   scripts/msi.sh [OUT]
# Environment: BUILD_W32, BUILD_W64 (default build-win32, build-win64);
# VARNOKE_MSI_PLATFORMS (default "x86 x64"); VARNOKE_MSI_VERSION (default
# CMake's project version; the tests build a later one to upgrade to).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$repo/build-msi}" && cd "${1:-$repo/build-msi}" && pwd)
version=${VARNOKE_MSI_VERSION:-$(sed -n 's/^project(Varnoke VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")}
platforms=" ${VARNOKE_MSI_PLATFORMS:-x86 x64} "

for pair in x86:"${BUILD_W32:-$repo/build-win32}" x64:"${BUILD_W64:-$repo/build-win64}"; do
    platform=${pair%%:*}
    [[ $platforms == *" $platform "* ]] || continue
    bin=${pair#*:}/bin
    stage=$out/stage-$platform
    rm -rf "$stage"
    mkdir -p "$stage"
    # wixl takes each file's Source relative to the folder it runs in.
    cp "$bin/Varnoke.dll" "$bin/varnoke.exe" "$repo/data/varnokeL.xml" "$repo/data/acturl.xml" "$stage/"
    msi=$out/Varnoke-$platform.msi
    rm -f "$msi"
    (cd "$stage" && wixl -a "$platform" -D Platform="$platform" -D Version="$version" \
        -I "$repo/packaging" -o "$msi" "$repo/packaging/varnoke.wxs")

    # What wixl cannot say in the source:
    #  - the per-user/per-machine root (HKMU, -1) for every registry row;
    #  - a per-user install (ALLUSERS empty, the default) goes to the user's
    #    LocalAppData\Programs, where the refresh can replace the data;
    #  - the data files are never overwritten by a reinstall or an upgrade
    #    (the refresh may have made them newer), and an upgrade removes the
    #    old version after installing the new one, so they are never deleted
    #    in between.
    data_attributes=128
    [ "$platform" = x64 ] && data_attributes=$((128 + 256))
    msibuild "$msi" -q "UPDATE \`Registry\` SET \`Root\` = -1" \
        -q "UPDATE \`Component\` SET \`Attributes\` = $data_attributes WHERE \`Component\` = 'StockList' OR \`Component\` = 'ActionTable'" \
        -q "UPDATE \`InstallExecuteSequence\` SET \`Sequence\` = 6601 WHERE \`Action\` = 'RemoveExistingProducts'" \
        -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('PerUserFolder', 51, 'VARNOKEPARENT', '[LocalAppDataFolder]Programs\\')"
    for sequence in InstallExecuteSequence InstallUISequence; do
        msibuild "$msi" \
            -q "INSERT INTO \`$sequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('PerUserFolder', 'NOT ALLUSERS', 11)"
    done
    echo "msi: $msi"
done
