#!/usr/bin/env bash
# The gateway's CPU per request as an instruction count, which other work on the machine does
# not disturb: `talwen serve` runs under valgrind's callgrind with instrumentation off; a client
# sends warm-up requests, then instrumentation is switched on for exactly N requests on one
# kept-alive connection (connection set-up left out) and off again. Prints the instructions of
# the whole process (every thread) per request.
#
#   bench/gateway_instructions.sh [BUILD_DIR] [N]    (default: build-release, 2000)
#
# Needs the local cluster running (scripts/db.sh start) and a Release build. The request is
# the side-effect-free rf_adjust_carton_qty of the reference database (a quantity change of 0).
# Environment: TALWEN_BENCH_PORT, the loopback port to listen on (default 18600).
set -euo pipefail

PROJECT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)
BUILD_DIR=${1:-$PROJECT_DIR/build-release}
COUNT=${2:-2000}
PORT=${TALWEN_BENCH_PORT:-18600}

die() {
    echo "gateway_instructions.sh: $*" >&2
    exit 1
}
[[ -x $BUILD_DIR/talwen ]] || die "no program at $BUILD_DIR/talwen"
command -v valgrind >/dev/null || die "valgrind is not installed"

eval "$("$PROJECT_DIR/scripts/db.sh" env)"
# shellcheck source=tests/ops/lib.sh
source "$PROJECT_DIR/tests/ops/lib.sh"
scratch_folder
{
    echo "[veldrawms]"
    reference_database
} >"$work/talwen.INI"
# A file changed in the last seconds is read again on every request (its time stamp cannot yet
# be trusted to show the next change): date it back, so the count is the steady state's.
touch -d '1 hour ago' "$work/talwen.INI"

valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file="$work/callgrind.out" \
    "$BUILD_DIR/talwen" serve --config "$work/talwen.INI" --listen "127.0.0.1:$PORT" \
    --threads 2 >/dev/null 2>"$work/serve.err" &
pid=$!

# Send n requests on one connection; each must be answered 200.
send() {
    /usr/bin/python3 - "$PORT" "$1" <<'EOF'
import http.client, sys, time
port, n = int(sys.argv[1]), int(sys.argv[2])
for _ in range(600):
    try:
        c = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
        c.connect()
        break
    except OSError:
        time.sleep(0.1)
body = "function=rf_adjust_carton_qty&client=C01&carton_no=CTN9&qty=0&operator=JOE"
headers = {"Content-Type": "application/x-www-form-urlencoded"}
for _ in range(n):
    c.request("POST", "/talwen/http_talwen.asp", body, headers)
    r = c.getresponse()
    r.read()
    if r.status != 200:
        sys.exit("status %d" % r.status)
EOF
}

send 200
callgrind_control -i on "$pid" >/dev/null
send "$COUNT"
callgrind_control -i off "$pid" >/dev/null
kill -TERM "$pid"
wait "$pid" || true
pid=
total=$(grep -h '^totals:' "$work"/callgrind.out* | awk '{s += $2} END {print s}')
echo "requests: $COUNT"
echo "instructions: $total"
echo "instructions per request: $((total / COUNT))"
