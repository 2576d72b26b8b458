#!/usr/bin/env bash
# Build the fuzz targets (fuzz/, with clang's libFuzzer, the address and undefined-behaviour
# sanitizers) in build-fuzz/ and run each for the given time on its committed corpus
# (fuzz/corpus/<target>/). Fails on any crash, sanitizer report or failed check of a target.
#
#   scripts/fuzz.sh [seconds per target, default 30] [target...]
#
# New inputs the fuzzer finds go to a work folder, removed afterwards unless FUZZ_WORK_DIR
# names one to keep (fold them into the corpus with `build-fuzz/fuzz/fuzz_<target> -merge=1
# fuzz/corpus/<target> <work folder>/<target>`). A failing input is kept as
# <work folder>/<target>-crash-<hash>; run it again with `build-fuzz/fuzz/fuzz_<target> <file>`.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds=${1:-30}
shift || true
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(request sql_arg call_statement ini pages)

if ! command -v clang++-14 >/dev/null; then
    echo "fuzz.sh: clang++-14 is missing (scripts/deps.sh installs it)" >&2
    exit 1
fi

echo "== fuzz build"
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALWEN_FUZZ=ON \
    -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build build-fuzz --target fuzz_targets -j"$(nproc)"

work=${FUZZ_WORK_DIR:-}
if [[ -z $work ]]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=()
printf '%-16s %12s %8s %10s\n' target executions seconds 'per second' >"$work/summary"
for target in "${targets[@]}"; do
    echo "== fuzz $target (${seconds}s)"
    mkdir -p "$work/$target"
    dict=()
    [[ -f fuzz/$target.dict ]] && dict=(-dict="fuzz/$target.dict")
    log="$work/$target.log"
    if "build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$work/$target-" "${dict[@]}" \
        "$work/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        time=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log")
        printf '%-16s %12s %8s %10s\n' "$target" "${runs:-?}" "${time:-?}" \
            "$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")" >>"$work/summary"
    else
        tail -n 40 "$log" >&2
        echo "fuzz.sh: $target failed; the input is $(ls "$work/$target"-* 2>/dev/null | head -n 1)" >&2
        failed+=("$target")
    fi
done
cat "$work/summary"
if [[ ${#failed[@]} -gt 0 ]]; then
    [[ -n ${FUZZ_WORK_DIR:-} ]] || trap - EXIT  # keep the failing inputs
    echo "fuzz.sh: failed: ${failed[*]} (inputs and logs in $work)" >&2
    exit 1
fi
