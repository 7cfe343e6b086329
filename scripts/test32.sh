#!/usr/bin/env bash
# Smoke checks of the 32-bit Varnoke.dll under 32-bit Wine (tests/smoke32).
#   scripts/test32.sh
# Installs what it needs, brings the i686 DLL up to date, builds the smoke
# program, creates the 32-bit prefix on first use and runs the checks; the
# exit status is non-zero unless every check passed.
#
# Kernels without 32-bit support run the 32-bit Wine through qemu's user-mode
# emulator: an i386 binfmt_misc entry points at qemu-i386-static for the
# run only. Where the kernel allows it, the entry lives in a user namespace of
# this run's own, so nothing else on the machine sees it; otherwise it is
# registered globally and removed on exit. Every emulated process costs about
# a minute, so expect a few minutes, and about ten more the first time, when
# the prefix is created.
#
# Environment: VARNOKE_BUILD_W32 (default build-win32), VARNOKE_WINEPREFIX32
# (default build-wine/prefix32). Wine's messages go to BUILD/tests/smoke32/wine.log.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${VARNOKE_BUILD_W32:-$here/build-win32}")
prefix=$(realpath -m "${VARNOKE_WINEPREFIX32:-$here/build-wine/prefix32}")
run=$build/tests/smoke32
wine32=/usr/lib/wine/wine
# The 64-bit server serves 32-bit clients; it runs natively.
wineserver=/usr/lib/wine/wineserver64
binfmt=/proc/sys/fs/binfmt_misc
entry=varnoke-test32-i386
# i386 executables and shared objects, as qemu's own binfmt set-up matches them.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

say() { printf 'test32: %s\n' "$*"; }
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }

# ---------------------------------------------------------------- inside the run's namespace

register_binfmt() {
    if [ ! -e "$binfmt/register" ]; then
        $sudo mount -t binfmt_misc binfmt_misc "$binfmt"
        mounted_binfmt=1
    fi
    # F: qemu is opened now, so the entry works whatever the mounts later.
    printf '%s' ":$entry:M::$magic:$mask:/usr/bin/qemu-i386-static:F" | $sudo tee "$binfmt/register" >/dev/null
}

unregister_binfmt() {
    [ -e "$binfmt/$entry" ] && { echo -1 | $sudo tee "$binfmt/$entry" >/dev/null || true; }
    [ -n "${mounted_binfmt:-}" ] && { $sudo umount "$binfmt" || true; }
    return 0
}

stop_wine() {
    if [ -n "${server_pid:-}" ]; then
        "$wineserver" -k >/dev/null 2>&1 || true
        wait "$server_pid" 2>/dev/null || true
    fi
}

# One wineserver for the whole run: creating the prefix and Wine's boot at
# the first process (services, drivers) are not paid for twice.
run_checks() {
    export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all}
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    unset DISPLAY
    mounted_binfmt=
    server_pid=
    trap 'stop_wine; unregister_binfmt' EXIT
    if ! "$wine32" --version >/dev/null 2>&1; then
        register_binfmt
        "$wine32" --version >/dev/null
    fi

    "$wineserver" -f -p >/dev/null 2>&1 &
    server_pid=$!
    local started
    if [ ! -f "$prefix/system.reg" ]; then
        say "creating the 32-bit prefix $prefix (about ten minutes)"
        mkdir -p "$prefix"
        started=$SECONDS
        timeout 3600 "$wine32" wineboot -i >>"$run/wine.log" 2>&1 || true
        if [ ! -f "$prefix/system.reg" ]; then
            say "the prefix was not created; see $run/wine.log"
            echo "0 passed, 1 failed"
            return 1
        fi
        say "prefix created in $((SECONDS - started)) s"
    fi

    say "running the smoke checks under 32-bit Wine (a few minutes)"
    started=$SECONDS
    local status=0
    timeout 3600 "$wine32" "$(winpath "$run/smoke.exe")" \
        "$(winpath "$run/Varnoke.dll")" "$(winpath "$build/generated/SmartTagLib.tlb")" \
        "$(winpath "$run/record-url.sh")" "$(winpath "$run/url.log")" 2>>"$run/wine.log" |
        tr -d '\r' | tee "$run/smoke.out" || status=$?
    say "smoke.exe ran in $((SECONDS - started)) s"
    if ! grep -Eq '^[0-9]+ passed, [0-9]+ failed' "$run/smoke.out"; then
        say "smoke.exe did not finish (status $status); Wine's messages are in $run/wine.log"
        echo "0 passed, 1 failed"
        return 1
    fi
    return "$status"
}

if [ "${1:-}" = --in-namespace ]; then
    run_checks
    exit
fi

# ---------------------------------------------------------------- set-up

begun=$SECONDS
"$here/scripts/setup.sh" windows

missing=()
for p in qemu-user-static wine32:i386; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    say "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    $sudo apt-get update -qq
    # wine32 sits beside wine64; the 64-bit suite keeps using wine64 alone.
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Brought up to date every run: the checks are of the sources as they are.
say "building the i686 DLL in $build"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target varnoke_generated Varnoke

# A fresh folder: the DLL alone (the checks write its data files beside it),
# the smoke program and the recorder the shell is pointed at.
rm -rf "$run"
mkdir -p "$run"
cp "$build/bin/Varnoke.dll" "$run/"
i686-w64-mingw32-g++-posix -std=c++20 -O2 -Wall -Wextra -Werror \
    -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0601 -municode -static \
    -I"$here" -I"$build/generated" "$here/tests/smoke32/smoke.cpp" -o "$run/smoke.exe" -lole32 -loleaut32 -luuid
cat >"$run/record-url.sh" <<EOF
#!/bin/sh
# Started by Wine's shell in place of a browser: records the address.
printf '%s\n' "\$1" >>'$run/url.log'
EOF
chmod +x "$run/record-url.sh"

# A user namespace of this run's own, with its own binfmt_misc, when the
# kernel has them (Linux 6.7 and later); its processes all end with it.
namespace=(unshare --user --map-root-user --mount --pid --fork --kill-child --mount-proc)
if "${namespace[@]}" sh -c "mount -t binfmt_misc binfmt_misc $binfmt" 2>/dev/null; then
    status=0
    "${namespace[@]}" "$0" --in-namespace || status=$?
else
    say "no private binfmt_misc here: registering the i386 entry globally for this run"
    status=0
    ( run_checks ) || status=$?
fi
say "done in $((SECONDS - begun)) s"
exit "$status"
