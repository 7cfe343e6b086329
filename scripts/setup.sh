#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, and nothing when
# everything is already there. Safe to run any number of times.
#   scripts/setup.sh [native]   the native build and its tests (default)
set -euo pipefail

packages=(cmake g++ make libgtest-dev libpugixml-dev)

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
