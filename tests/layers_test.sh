#!/usr/bin/env bash
# The layer order of docs/design.md, checked on every file of ours:
#
#   core < hostapi < recognizer, insertion < actions < adapters, standins < component, tool, writer
#
# A file may include headers of its own folder and of folders below it;
# folders on one level (recognizer and insertion, the two adapter folders,
# component, tool and writer) do not include each other. The portable layers (core
# up to actions) include only the standard library's headers (and the
# compiler's vector intrinsics): never a platform or third-party header.
# tests/, bench/ and typelib/ sit above everything and are not checked.
#   tests/layers_test.sh [SOURCE-ROOT]
#   tests/layers_test.sh --self-check    proves it reports each kind of fault
set -euo pipefail
self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")

if [ "${1:-}" = --self-check ]; then
    tree=$(mktemp -d)
    trap 'rm -rf "$tree"' EXIT
    mkdir -p "$tree"/{core,hostapi,recognizer,insertion,actions,adapters/win32,adapters/posix,tool,writer}
    echo '#include <string>' >"$tree/core/fine.h"
    echo '#include "core/fine.h"' >"$tree/actions/fine.cpp"
    echo '#include "adapters/platform.h"' >"$tree/adapters/posix/fine.cpp"
    echo '#include "actions/x.h"' >"$tree/core/up.h"
    echo '#include "insertion/x.h"' >"$tree/recognizer/sideways.cpp"
    echo '#include "adapters/posix/x.h"' >"$tree/adapters/win32/other_platform.cpp"
    echo '#include <windows.h>' >"$tree/hostapi/platform_header.h"
    echo '#include <pugixml.hpp>' >"$tree/insertion/library.cpp"
    echo '#include "varnoke.h"' >"$tree/actions/generated.cpp"
    echo '#include "tool/common.h"' >"$tree/writer/sideways.cpp"
    expected="actions/generated.cpp adapters/win32/other_platform.cpp core/up.h hostapi/platform_header.h insertion/library.cpp recognizer/sideways.cpp writer/sideways.cpp"
    reported=$( (cd "$tree" && { "$self" . 2>&1 || true; }) | grep -o '^[a-z0-9/_]*\.[a-z]*:' | tr -d : | sort | tr '\n' ' ')
    if [ "${reported% }" != "$expected" ]; then
        echo "layers self-check: expected faults in: $expected"
        echo "layers self-check: reported:           ${reported% }"
        exit 1
    fi
    echo "layers self-check: every planted fault reported, nothing else"
    exit 0
fi

cd "${1:-$(dirname "$0")/..}"

# The level of a path's layer, and its group within the level; nothing for
# paths outside the layers.
layer() {
    case $1 in
        core/*) echo "0 core" ;;
        hostapi/*) echo "1 hostapi" ;;
        recognizer/*) echo "2 recognizer" ;;
        insertion/*) echo "2 insertion" ;;
        actions/*) echo "3 actions" ;;
        adapters/posix/*) echo "4 adapters/posix" ;;
        adapters/win32/*) echo "4 adapters/win32" ;;
        adapters/*) echo "4 adapters" ;;
        standins/*) echo "4 standins" ;;
        component/*) echo "5 component" ;;
        tool/*) echo "5 tool" ;;
        writer/*) echo "5 writer" ;;
    esac
}

failures=0
checked=0
while IFS= read -r file; do
    read -r level group <<<"$(layer "$file")"
    [ -n "${level:-}" ] || continue
    checked=$((checked + 1))
    while IFS= read -r line; do
        if [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
            target=${BASH_REMATCH[1]}
            read -r tlevel tgroup <<<"$(layer "$target")"
            # Generated COM declarations (varnoke.h, smarttaglib.h) belong to the Windows side.
            if [ -z "${tlevel:-}" ]; then
                if [ "$level" -lt 4 ]; then
                    echo "$file: includes \"$target\", which is no header of the portable layers"
                    failures=$((failures + 1))
                fi
                continue
            fi
            # adapters/platform.h is the adapter layer's shared header, used by both platforms.
            [ "$tgroup" = adapters ] && [[ $group == adapters/* ]] && continue
            if [ "$tlevel" -gt "$level" ] || { [ "$tlevel" -eq "$level" ] && [ "$tgroup" != "$group" ]; }; then
                echo "$file: includes \"$target\" ($tgroup, level $tlevel) from $group (level $level)"
                failures=$((failures + 1))
            fi
        elif [ "$level" -lt 4 ] && [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<([^\>]+)\> ]]; then
            target=${BASH_REMATCH[1]}
            if [[ $target == */* || ( $target == *.* && $target != *intrin.h ) ]]; then
                echo "$file: portable code includes <$target>"
                failures=$((failures + 1))
            fi
        fi
    done <"$file"
done < <( (git ls-files 2>/dev/null || find . -type f -printf '%P\n') | grep -E '\.(h|hpp|c|cpp|idl|rc)$')

echo "layers: $checked files checked, $failures upward or platform includes"
[ "$failures" -eq 0 ]
