#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) and runs each for a while, two at a
# time. Any crash, leak, sanitizer report, timeout or finding fails the run.
#   scripts/fuzz.sh SECONDS [--keep]
# --keep merges the inputs that reach new coverage into fuzz/corpus/TARGET/
# (make fuzz); without it the tree is left as it is (make test).
# Environment: BUILD_FUZZ (default build-fuzz), FUZZ_JOBS (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?seconds per target}
keep=${2:-}
build=${BUILD_FUZZ:-build-fuzz}
jobs=${FUZZ_JOBS:-2}
targets=(stock_list action_table refresh cell_reference recognizer)

scripts/setup.sh native fuzz
cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVARNOKE_FUZZ=ON -DVARNOKE_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/%/_fuzz}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run() {
    local target=$1 log=$work/$1.log
    mkdir -p "$work/$target"
    # New inputs go to the scratch folder; the tree's corpus is only read.
    if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "$build/bin/${target}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$work/$target-" "$work/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
        local runs cov
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
        echo "fuzz $target: $runs executions in ${seconds}s, $cov, no finding"
        if [ "$keep" = --keep ]; then
            "$build/bin/${target}_fuzz" -merge=1 "fuzz/corpus/$target" "$work/$target" >/dev/null 2>&1
        fi
    else
        echo "fuzz $target: FINDING"
        grep -E 'finding:|ERROR|SUMMARY|Test unit written|==[0-9]+==' "$log" | head -20
        for artifact in "$work/$target"-*; do
            [ -e "$artifact" ] || continue
            mkdir -p "$build/findings"
            cp "$artifact" "$build/findings/"
            echo "  input kept as $build/findings/$(basename "$artifact")"
        done
        return 1
    fi
}

status=0
pids=()
for target in "${targets[@]}"; do
    run "$target" &
    pids+=($!)
    if [ ${#pids[@]} -ge "$jobs" ]; then
        wait "${pids[0]}" || status=1
        pids=("${pids[@]:1}")
    fi
done
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
exit $status
