#!/usr/bin/env bash
# Installs what the builds and the tests need on Debian 12, and nothing when
# everything is already there. Safe to run any number of times.
#   scripts/setup.sh [native] [windows]     (default: native)
#     native   the Linux build, the tool and its tests
#     windows  the mingw-w64 cross builds of the DLL and Wine to test them,
#              64-bit and 32-bit
#     fuzz     clang and its libFuzzer and sanitizer runtimes
#     writer   the office, its SDK and Python bridge for the Writer extension
#     bench    the recognizer benchmark's rival engine and real Chinese text
#     deb      the Linux package's tools
set -euo pipefail

groups=("$@")
[ ${#groups[@]} -eq 0 ] && groups=(native)

packages=()
for group in "${groups[@]}"; do
    case $group in
        # clang-format and shellcheck keep the sources in one shape (scripts/lint.sh).
        native) packages+=(cmake g++ make libgtest-dev libpugixml-dev libcurl4-openssl-dev libssl-dev
                           git clang-format shellcheck python3) ;;
        # wine32 comes after the rest (below). libwine-dev
        # carries the IDL files widl needs; the fonts draw Chinese in dialogs;
        # wixl builds the installer packages, msitools reads them back.
        windows) packages+=(cmake make g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
                            binutils-mingw-w64 googletest wine64 libwine-dev xvfb xauth
                            fonts-wqy-microhei python3 wixl msitools) ;;
        fuzz) packages+=(cmake make clang libclang-rt-14-dev libpugixml-dev libcurl4-openssl-dev libssl-dev) ;;
        # Hyperscan is the rival engine, fortunes-zh the real Chinese text; the
        # benchmark is their only user.
        bench) packages+=(libhyperscan-dev pkgconf fortunes-zh) ;;
        # Debian's own tools for the Linux package (make deb) and its check.
        deb) packages+=(dpkg-dev lintian unzip) ;;
        # The word processor, its SDK (cppumaker, the UNO headers and
        # libraries), Python-UNO for the scripts that drive it, zip for the
        # package, and a virtual display with a screenshot tool for looking.
        writer) packages+=(cmake make g++ libreoffice-writer libreoffice-dev python3-uno zip
                           xvfb xauth x11-apps imagemagick fonts-wqy-microhei) ;;
        *) echo "setup: unknown group $group" >&2; exit 2 ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# A mirror caught mid-sync fails one index (seen with the i386 ones); apt
# keeps the others, and an install that truly lacks one still fails.
update() { $sudo apt-get update -qq || echo "setup: apt-get update reported errors; going on with the indices it has" >&2; }
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    update
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The i686 DLL's suites run under 32-bit Wine: wine32 beside wine64, and
# qemu where the kernel runs no 32-bit code. The i386 libraries must match
# the amd64 ones version for version, which apt alone may not manage.
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
if [[ " ${groups[*]} " == *" windows "* ]]; then
    here=$(cd "$(dirname "$0")" && pwd)
    # shellcheck source=SCRIPTDIR/i386.sh
    . "$here/i386.sh"
    if ! installed wine32:i386; then
        echo "setup: installing wine32:i386"
        dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
        update
        plan=$("$here/apt-multiarch.py" wine32:i386) || {
            echo "setup: apt finds no way to add wine32:i386 that keeps every installed package" >&2
            exit 1
        }
        read -r -a arguments <<<"$plan"
        $sudo apt-get install -y -qq --no-install-recommends --allow-downgrades "${arguments[@]}" >/dev/null
    fi
    if ! runs_i386 && ! installed qemu-user-static; then
        echo "setup: installing qemu-user-static"
        $sudo apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null
    fi
fi
