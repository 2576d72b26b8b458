#!/usr/bin/env bash
# How the gateway and the database share the cores: thread switches, wake-ups, interrupts
# between cores and idle entries per request, for `talwen serve` under wrk and, beside it, for
# pgbench running the gateway's own database work (BEGIN and the CALL, then the FETCH and
# COMMIT: two pipelined round trips, prepared) with a client thread per connection. Then which
# wake-ups crossed cores, by waker and wakee. The targets run one after the other.
#
#   bench/gateway_sched.sh [BUILD_DIR] [SECONDS]    (default: build-release, 3)
#
# Needs the local cluster (scripts/db.sh start), the benchmark database that
# ../shared/bench/peers.sh creates (talwen_bench, with its rf_adjust_carton_qty), a Release
# build, and perf (Debian's linux-perf) allowed to read the scheduler's trace points (root).
# Environment: CONNECTIONS (8), TALWEN_BENCH_PORT (18610), BENCH_DB (talwen_bench).
# docs/performance.md ("Thread switches") says what the figures showed.
set -euo pipefail

PROJECT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)
BUILD_DIR=${1:-$PROJECT_DIR/build-release}
SECONDS_MEASURED=${2:-3}
CONNECTIONS=${CONNECTIONS:-8}
PORT=${TALWEN_BENCH_PORT:-18610}
BENCH_DB=${BENCH_DB:-talwen_bench}
EVENTS=sched:sched_switch,sched:sched_wakeup,irq_vectors:reschedule_entry,power:cpu_idle

die() {
    echo "gateway_sched.sh: $*" >&2
    exit 1
}
[[ -x $BUILD_DIR/talwen ]] || die "no program at $BUILD_DIR/talwen"
for tool in perf wrk pgbench psql curl; do
    command -v "$tool" >/dev/null || die "$tool is not installed"
done
perf stat -a -e sched:sched_switch -- true >/dev/null 2>&1 ||
    die "perf cannot read the scheduler's trace points here (run as root)"

eval "$("$PROJECT_DIR/scripts/db.sh" env)"
# shellcheck source=tests/ops/lib.sh
source "$PROJECT_DIR/tests/ops/lib.sh"
export PGPASSWORD=$TALWEN_PGPASSWORD
PG=(-h "$TALWEN_PGHOST" -p "$TALWEN_PGPORT" -U "$TALWEN_PGUSER")
[[ $(psql -X -At "${PG[@]}" -d "$BENCH_DB" \
    -c "select count(*) from pg_proc where proname = 'rf_adjust_carton_qty'" 2>/dev/null) == 1 ]] ||
    die "no $BENCH_DB with its rf_adjust_carton_qty: run ../shared/bench/peers.sh once"

scratch_folder

# perf_counts FILE: "switches wakeups interrupts idles" from perf stat's CSV output.
perf_counts() {
    awk -F, '
        $3 == "sched:sched_switch" { s = $1 }
        $3 == "sched:sched_wakeup" { w = $1 }
        $3 == "irq_vectors:reschedule_entry" { r = $1 }
        $3 == "power:cpu_idle" { i = $1 }
        END { print s + 0, w + 0, r + 0, i + 0 }' "$1"
}

# measure NAME RATE_COMMAND...: run the load command (which lasts SECONDS_MEASURED + 3 s) in
# the background, count the events over SECONDS_MEASURED s from its second second, and print
# one row; the command's output goes to $work/NAME.out, from which RATE_COMMAND reads the rate.
measure() {
    local name=$1 rate_command=$2
    shift 2
    "$@" >"$work/$name.out" 2>&1 &
    local load=$!
    sleep 1
    perf stat -a -x, -e "$EVENTS" -o "$work/$name.perf" -- sleep "$SECONDS_MEASURED" >/dev/null 2>&1
    if [[ $name == talwen ]]; then
        perf record -a -e sched:sched_wakeup -o "$work/wakeups.data" -- sleep 1 >/dev/null 2>&1
    fi
    wait "$load" || die "$name: the load failed: $(tail -3 "$work/$name.out")"
    local rate counts
    rate=$($rate_command "$work/$name.out")
    counts=$(perf_counts "$work/$name.perf")
    # shellcheck disable=SC2086
    set -- $counts
    awk -v name="$name" -v rate="$rate" -v t="$SECONDS_MEASURED" -v s="$1" -v w="$2" -v r="$3" \
        -v i="$4" 'BEGIN {
            n = rate * t
            printf "%-8s %10.0f %12.2f %12.2f %14.4f %12.0f\n", name, rate, s / n, w / n, r / n, i / t
        }'
}

wrk_rate() { awk '/Requests\/sec/ { print $2 }' "$1"; }
pgbench_rate() { awk '/^tps/ { print $3 }' "$1"; }

# The gateway, on an INI for the benchmark's database.
{
    echo "[veldrawms]"
    echo "Provider=PostgreSQL"
    echo "Data Source=$TALWEN_PGHOST"
    echo "Port=$TALWEN_PGPORT"
    echo "Initial Catalog=$BENCH_DB"
    echo "User ID=$TALWEN_PGUSER"
    echo "Password=$TALWEN_PGPASSWORD"
    echo "[GENERAL]"
    echo "LOGGING FILE="
} >"$work/talwen.INI"
"$BUILD_DIR/talwen" serve --config "$work/talwen.INI" --listen "127.0.0.1:$PORT" \
    >/dev/null 2>"$work/serve.err" &
pid=$!
wait_until 10 "talwen serve answering on port $PORT" http_ok "http://127.0.0.1:$PORT/live"
cat >"$work/post.lua" <<'EOF'
wrk.method = "POST"
wrk.body = "function=rf_adjust_carton_qty&client=C01&carton_no=CTN9&qty=5&operator=JOE"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
EOF
url="http://127.0.0.1:$PORT/talwen/http_talwen.asp"
threads=$((CONNECTIONS < 2 ? 1 : 2))
wrk -t "$threads" -c "$CONNECTIONS" -d 2s -s "$work/post.lua" "$url" >/dev/null # warm-up

echo "per request, $CONNECTIONS connections, ${SECONDS_MEASURED}s, $(nproc) cores:"
printf "%-8s %10s %12s %12s %14s %12s\n" target "req/s" switches wake-ups "core-to-core" "idle/s"
measure talwen wrk_rate \
    wrk -t "$threads" -c "$CONNECTIONS" -d "$((SECONDS_MEASURED + 3))s" -s "$work/post.lua" "$url"
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=

cat >"$work/pipelined.sql" <<'EOF'
\startpipeline
BEGIN;
CALL rf_adjust_carton_qty(:client, :carton_no, :qty, :operator, 'rs1', NULL);
\endpipeline
\startpipeline
FETCH ALL FROM rs1;
COMMIT;
\endpipeline
EOF
measure pgbench pgbench_rate \
    pgbench -n -M prepared -f "$work/pipelined.sql" -D client=C01 -D carton_no=CTN9 -D qty=5 \
    -D operator=JOE -c "$CONNECTIONS" -j "$CONNECTIONS" -T "$((SECONDS_MEASURED + 3))" \
    "${PG[@]}" "$BENCH_DB"

echo
echo "talwen's wake-ups over 1 s, by waker and wakee, on the waker's core or another:"
perf script -i "$work/wakeups.data" -F comm,cpu,trace 2>/dev/null | awk '
    {
        cpu = $2; gsub(/[\[\]]/, "", cpu)
        wakee = ""; target = ""
        for (f = 3; f <= NF; ++f) {
            if ($f ~ /^comm=/) wakee = substr($f, 6)
            if ($f ~ /^target_cpu=/) target = substr($f, 12)
        }
        key = $1 " -> " wakee
        if (cpu + 0 == target + 0) same[key]++; else other[key]++
        seen[key] = 1
    }
    END {
        for (k in seen) if (same[k] + other[k] >= 100) printf "  %-24s %8d same %8d other\n", k, same[k], other[k]
    }' | sort -k6 -nr
