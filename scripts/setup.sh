#!/usr/bin/env bash
# Installs what the builds and the tests need on Debian 12, and nothing when
# everything is already there. Safe to run any number of times.
#   scripts/setup.sh [native] [windows]     (default: native)
#     native   the Linux build, the tool and its tests
#     windows  the mingw-w64 cross builds of the DLL and Wine to test them
#     fuzz     clang and its libFuzzer and sanitizer runtimes
#     writer   the office, its SDK and Python bridge for the Writer extension
#     bench    the recognizer benchmark's rival engine and real Chinese text
set -euo pipefail

groups=("$@")
[ ${#groups[@]} -eq 0 ] && groups=(native)

packages=()
for group in "${groups[@]}"; do
    case $group in
        # clang-format and shellcheck keep the sources in one shape (scripts/lint.sh).
        native) packages+=(cmake g++ make libgtest-dev libpugixml-dev libcurl4-openssl-dev libssl-dev
                           git clang-format shellcheck) ;;
        # wine64 only: these kernels cannot run 32-bit code. libwine-dev
        # carries the IDL files widl needs; the fonts draw Chinese in dialogs;
        # wixl builds the installer packages, msitools reads them back.
        windows) packages+=(cmake make g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
                            binutils-mingw-w64 googletest wine64 libwine-dev xvfb xauth
                            fonts-wqy-microhei python3 wixl msitools) ;;
        fuzz) packages+=(cmake make clang libclang-rt-14-dev libpugixml-dev libcurl4-openssl-dev libssl-dev) ;;
        # Hyperscan is the rival engine, fortunes-zh the real Chinese text; the
        # benchmark is their only user.
        bench) packages+=(libhyperscan-dev pkgconf fortunes-zh) ;;
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
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
