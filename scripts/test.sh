#!/usr/bin/env bash
# Run every test of Talwen:
#   1. formatting (clang-format) of the C++ sources;
#   2. build, then the unit and contract tests and the integration tests against a private
#      PostgreSQL cluster holding the reference warehouse database (its own cluster, on port
#      ${TALWEN_TEST_PGPORT:-55433}, so a running demo database is left alone);
#   3. the same tests built with the address and undefined-behaviour sanitizers;
#   4. the real-browser tests of the item image pages and the handheld pages
#      (scripts/browser_test.sh), on a freshly loaded database.
# Installs what is missing first (scripts/deps.sh).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/deps.sh

jobs=$(nproc)

echo "== formatting"
mapfile -t sources < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find src tests bench -name '*.cpp' -o -name '*.h')
clang-format --dry-run --Werror "${sources[@]}"

echo "== build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTALWEN_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"

echo "== test database"
export TALWEN_PGPORT=${TALWEN_TEST_PGPORT:-55433}
export TALWEN_DB_DIR=${TALWEN_TEST_DB_DIR:-$PWD/.db/test}
scripts/db.sh reset >/dev/null
eval "$(scripts/db.sh env)"
export TALWEN_PG_RESTART="$PWD/scripts/db.sh restart"
trap 'scripts/db.sh stop >/dev/null 2>&1 || true' EXIT

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== tests (sanitizers)"
ctest --test-dir build-asan --output-on-failure -j"$jobs"
scripts/db.sh reset >/dev/null

echo "== tests"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== browser"
scripts/db.sh reset >/dev/null
scripts/browser_test.sh
