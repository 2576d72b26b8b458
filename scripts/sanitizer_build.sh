#!/usr/bin/env bash
# The sanitizer build in build-asan/: clang with the address and undefined-behaviour sanitizers,
# the tests and the fuzz targets (fuzz/, libFuzzer) from one build. scripts/test.sh runs its
# tests, scripts/fuzz.sh its fuzz targets.
#
#   scripts/sanitizer_build.sh [build target...]    (default: everything)
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
if ! command -v clang++-14 >/dev/null; then
    echo "sanitizer_build.sh: clang++-14 is missing (scripts/deps.sh installs it)" >&2
    exit 1
fi

# A folder configured with another compiler is configured afresh.
if [[ -f build-asan/CMakeCache.txt ]] &&
    ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++-14$' build-asan/CMakeCache.txt; then
    rm -rf build-asan
fi
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTALWEN_FUZZ=ON \
    -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
targets=()
[[ $# -gt 0 ]] && targets=(--target "$@")
cmake --build build-asan "${targets[@]}" -j"$(nproc)"
