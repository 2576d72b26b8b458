#!/usr/bin/env bash
# Build the fuzz targets (fuzz/, with clang's libFuzzer, the address and undefined-behaviour
# sanitizers) in the sanitizer build (build-asan/, scripts/sanitizer_build.sh) and run each for
# the given time on its committed corpus (fuzz/corpus/<target>/), as many at once as there are
# cores (FUZZ_JOBS to choose). Fails on any crash, sanitizer report or failed check of a target.
#
#   scripts/fuzz.sh [seconds per target, default 30] [target...]
#
# New inputs the fuzzer finds go to a work folder, removed afterwards unless FUZZ_WORK_DIR
# names one to keep (fold them into the corpus with `build-asan/fuzz/fuzz_<target> -merge=1
# fuzz/corpus/<target> <work folder>/<target>`). A failing input is kept as
# <work folder>/<target>-crash-<hash>; run it again with `build-asan/fuzz/fuzz_<target> <file>`.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds=${1:-30}
shift || true
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(request sql_arg call_statement ini pages)

echo "== fuzz build"
scripts/sanitizer_build.sh fuzz_targets

work=${FUZZ_WORK_DIR:-}
if [[ -z $work ]]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# One target's run; its summary line goes to $work/<target>.summary, or it fails.
fuzz_one() {
    local target=$1 log="$work/$1.log" dict=()
    mkdir -p "$work/$target"
    [[ -f fuzz/$target.dict ]] && dict=(-dict="fuzz/$target.dict")
    if ! "build-asan/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$work/$target-" "${dict[@]}" \
        "$work/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
        return 1
    fi
    printf '%-16s %12s %8s %10s %8s\n' "$target" \
        "$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")" \
        "$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log")" \
        "$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")" \
        "$(find "$work/$target" "fuzz/corpus/$target" -type f | wc -l)" >"$work/$target.summary"
}

# The targets run side by side, one per core (FUZZ_JOBS to choose).
parallel=${FUZZ_JOBS:-$(nproc)}
declare -A running=()
failed=()
finish_one() {
    local pid
    wait -n -p pid "${!running[@]}" && status=0 || status=$?
    if [[ $status -ne 0 ]]; then
        local target=${running[$pid]}
        tail -n 40 "$work/$target.log" >&2
        echo "fuzz.sh: $target failed; the input is $(ls "$work/$target"-* 2>/dev/null | head -n 1)" >&2
        failed+=("$target")
    fi
    unset "running[$pid]"
}
for target in "${targets[@]}"; do
    while [[ ${#running[@]} -ge $parallel ]]; do finish_one; done
    echo "== fuzz $target (${seconds}s)"
    fuzz_one "$target" &
    running[$!]=$target
done
while [[ ${#running[@]} -gt 0 ]]; do finish_one; done

printf '%-16s %12s %8s %10s %8s\n' target executions seconds 'per second' inputs >"$work/summary"
for target in "${targets[@]}"; do
    [[ -f $work/$target.summary ]] && cat "$work/$target.summary" >>"$work/summary"
done
cat "$work/summary"
if [[ ${#failed[@]} -gt 0 ]]; then
    [[ -n ${FUZZ_WORK_DIR:-} ]] || trap - EXIT  # keep the failing inputs
    echo "fuzz.sh: failed: ${failed[*]} (inputs and logs in $work)" >&2
    exit 1
fi
