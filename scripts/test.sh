#!/usr/bin/env bash
# Run every test of Talwen:
#   1. formatting (clang-format) of the C++ sources;
#   2. the database tests (db/postgres/tests) on a private PostgreSQL cluster holding the
#      reference warehouse database (its own cluster, on port ${TALWEN_TEST_PGPORT:-55433}, so a
#      running demo database is left alone); then the build, and the unit, contract and
#      integration tests against that database;
#   3. the same tests built with clang's address and undefined-behaviour sanitizers, in the
#      build that also holds the fuzz targets (scripts/sanitizer_build.sh);
#   4. the operations tests (tests/ops): the Debian package installed, upgraded and purged on
#      this machine (as root), and a rolling restart of two instances behind nginx under load;
#   5. the real-browser tests of the item image pages and the handheld pages
#      (scripts/browser_test.sh), on a freshly loaded database;
#   6. every fuzz target for 30 seconds on its committed corpus, one per core (scripts/fuzz.sh).
# Installs what is missing first (scripts/deps.sh).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/deps.sh

jobs=$(nproc)

echo "== formatting"
mapfile -t sources < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find src tests bench -name '*.cpp' -o -name '*.h')
clang-format --dry-run --Werror "${sources[@]}"

echo "== test database"
export TALWEN_PGPORT=${TALWEN_TEST_PGPORT:-55433}
export TALWEN_DB_DIR=${TALWEN_TEST_DB_DIR:-$PWD/.db/test}
scripts/db.sh reset >/dev/null
eval "$(scripts/db.sh env)"
export TALWEN_PG_RESTART="$PWD/scripts/db.sh restart"
trap 'scripts/db.sh stop >/dev/null 2>&1 || true' EXIT

echo "== database tests"
if ! scripts/db.sh test; then
    echo "test.sh: the database tests failed (db/postgres/tests, see above)" >&2
    exit 1
fi
# The tests roll back their work but not the sequences they drew from.
scripts/db.sh reset >/dev/null

echo "== build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
scripts/sanitizer_build.sh

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== tests (sanitizers)"
ctest --test-dir build-asan --output-on-failure -j"$jobs"
scripts/db.sh reset >/dev/null

echo "== tests"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== operations"
tests/ops/package_test.sh
tests/ops/rolling_restart.sh

echo "== browser"
scripts/db.sh reset >/dev/null
scripts/browser_test.sh

echo "== fuzz"
scripts/fuzz.sh 30
