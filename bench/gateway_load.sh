#!/usr/bin/env bash
# Load benchmark of the HTTP gateway, measured the way users measure it: the shared peers
# benchmark (../shared/bench/peers.sh) times pgbench (the database alone), the Node.js peer and
# `talwen serve` one after the other, never at the same time, on the same side-effect-free
# procedure in a database of its own (talwen_bench), and prints req/s, latency, the ratios
# and the CPU each target used. docs/performance.md has the figures and the exact command.
#
#   bench/gateway_load.sh [BUILD_DIR]        (default: build-release, a Release build)
#
# Needs the local cluster running (scripts/db.sh start). Environment: everything peers.sh
# reads (ROUNDS, DURATION, WARMUP, CONCURRENCY, NODE_HTTP, ...; see its header), and PEERS,
# the path of peers.sh when it is not at ../shared/bench/peers.sh beside the project.
set -euo pipefail

PROJECT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)
BUILD_DIR=${1:-$PROJECT_DIR/build-release}
PEERS=${PEERS:-$PROJECT_DIR/../shared/bench/peers.sh}

die() {
    echo "gateway_load.sh: $*" >&2
    exit 1
}

[[ -x $BUILD_DIR/talwen ]] ||
    die "no program at $BUILD_DIR/talwen (cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release && cmake --build build-release)"
[[ -f $PEERS ]] || die "no peers benchmark at $PEERS (set PEERS)"
cd "$PROJECT_DIR"
TALWEN=$BUILD_DIR/talwen exec bash "$PEERS"
