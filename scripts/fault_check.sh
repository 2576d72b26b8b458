#!/usr/bin/env bash
# Seed small, realistic faults (tests/faults.txt) one at a time and tell which tests catch each:
# a fault the tests do not catch is a hole in them.
#
#   scripts/fault_check.sh [--quick] [--only ID,ID...] [--list] [--suites S,S...]
#                          [--source DIR] [--out FILE] [--compare FILE]
#
#   --quick     only the faults marked quick (scripts/test.sh runs these); fails unless the
#               tests catch every one
#   --only      only these faults
#   --list      list the faults and stop
#   --suites    the suites to run: unit, integration, database (default all three); only the
#               faults one of them can catch are seeded
#   --source    the project to copy (default this one); the fault list is always this one's
#   --out FILE  write the results, one fault a line (tab-separated)
#   --compare   fail when a fault caught in FILE (written by --out) is not caught now
#
# Each fault is made in a scratch copy of the project (build-faults/, or TALWEN_FAULT_DIR),
# built there (kept between runs: each fault is an incremental rebuild), and checked with the
# suites that can catch it, cheapest first: a fault in the procedures with the database tests
# (db/postgres/tests) and then the integration tests, a fault in the C++ with the unit tests
# and then the integration tests. The first suite that fails catches it. A fault in the
# procedures reaches the database tests by running its file again in the reference database
# (the files replace their routines); the integration tests, working in copies of the loaded
# database, have it reloaded whole. The tests must pass without any fault first. A fault
# whose text is no longer in its file "does not apply" and fails the run, as does one that does
# not build: update tests/faults.txt with the code.
#
# The database runs on port TALWEN_FAULT_PGPORT (default TALWEN_TEST_PGPORT, 55433) in a
# cluster of its own under the scratch folder, stopped at the end, unless TALWEN_DB_DIR names
# one: scripts/test.sh lends its test cluster (on TALWEN_PGPORT), which is reloaded at the end.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
exec python3 scripts/fault_check.py "$@"
