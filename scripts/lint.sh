#!/usr/bin/env bash
# The sources' one shape: clang-format (.clang-format) over the tracked C++
# files and shellcheck over the tracked shell scripts.
#   scripts/lint.sh           check; non-zero on any difference or finding
#   scripts/lint.sh --fix     rewrite the C++ files in place instead
set -euo pipefail

cd "$(dirname "$0")/.."
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
mapfile -t scripts < <(git ls-files '*.sh' .ci/run)

if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${sources[@]}"
    exit 0
fi

status=0
clang-format --dry-run -Werror "${sources[@]}" || status=1
shellcheck -x "${scripts[@]}" || status=1
[ $status -eq 0 ] && echo "lint: ${#sources[@]} C++ files formatted, ${#scripts[@]} scripts clean"
exit $status
