#!/usr/bin/env bash
# make bench: builds the recognizer benchmark in its own release tree and
# runs it once. Installs what it needs first, and nothing when all is there.
# Not part of make test: it measures, and takes a few minutes.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_BENCH:-build-bench}
fortunes=/usr/share/games/fortunes

scripts/setup.sh native

# Hyperscan is the rival engine, fortunes-zh the real Chinese text; the
# benchmark is their only user.
missing=()
for p in libhyperscan-dev pkgconf fortunes-zh; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "bench: installing ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
      -DVARNOKE_BENCH=ON -DVARNOKE_TESTS=OFF >/dev/null
cmake --build "$build" --target recognizer_bench -j "${JOBS:-$(nproc)}"
"$build/bin/recognizer_bench" "$build/bench-data" \
    "$fortunes/chinese" "$fortunes/tang300" "$fortunes/song100"
