#!/usr/bin/env bash
# The i686 build's Windows suites under 32-bit Wine, in a session of its own.
#   scripts/test32.sh BUILD_W32
# Where the kernel runs 32-bit code, every suite runs, natively. Elsewhere
# each Wine process runs under qemu and costs minutes, so only the smoke
# checks and the shared recognize and invoke cases run, and the run says so.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=SCRIPTDIR/i386.sh
. "$here/scripts/i386.sh"
export VARNOKE_WINE_ARCH=win32
subset=()
if ! runs_i386; then
    echo "test32: no 32-bit code on this kernel: under qemu, the smoke checks and the recognize and invoke cases only"
    export GTEST_FILTER='Table/Recognize*:Table/Invoke*'
    subset=(-R 'smoke_i686|unit_tests_wine')
fi
exec "$here/scripts/wine-session.sh" ctest --test-dir "$1" --output-on-failure "${subset[@]}"
