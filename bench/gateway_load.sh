#!/usr/bin/env bash
# Load benchmark of the HTTP gateway: wrk posts rf_adjust_carton_qty to `talwen serve` at 1, 8
# and 32 connections, and pgbench runs the same procedure call straight on the database at the
# same concurrency: the floor the gateway can approach. Prints requests per second and
# p50/p99 latency of both, and the ratio gateway/pgbench.
#
#   bench/gateway_load.sh [BUILD_DIR]        (default: build)
#
# Needs a build with the PostgreSQL provider and the reference database running
# (scripts/db.sh start). Environment:
#   DURATION       seconds per run (default 10)
#   CONNECTIONS    concurrency levels (default "1 8 32")
#   THREADS        gateway workers (default 16)
#   CLIENT, CARTONS, QTY, OPERATOR
#                  the call's values; CARTONS is a blank-separated list that the requests
#                  take in turn (default: C01, CTN9, 5, JOE)
#   EXTRA_GENERAL  further [GENERAL] lines for the gateway's INI (the provider's pool keys)
#
# Every call really adjusts a carton: run scripts/db.sh reset afterwards to restore the demo
# data. pgbench runs the bare CALL (any cursor it opens is not fetched), so its figures are a
# floor, not a like-for-like twin.
set -euo pipefail

PROJECT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)
BUILD_DIR=${1:-$PROJECT_DIR/build}
TALWEN=$BUILD_DIR/talwen
DURATION=${DURATION:-10}
CONNECTIONS=${CONNECTIONS:-"1 8 32"}
THREADS=${THREADS:-16}
CLIENT=${CLIENT:-C01}
CARTONS=${CARTONS:-CTN9}
QTY=${QTY:-5}
OPERATOR=${OPERATOR:-JOE}
PROCEDURE=rf_adjust_carton_qty

die() {
    echo "gateway_load.sh: $*" >&2
    exit 1
}

[[ -x $TALWEN ]] || die "no program at $TALWEN (build first)"
command -v wrk >/dev/null || die "wrk is not installed (apt-get install wrk)"
[[ -x $PROJECT_DIR/scripts/db.sh ]] || die "scripts/db.sh is missing"
eval "$("$PROJECT_DIR/scripts/db.sh" env)"
PGBENCH=$(command -v pgbench 2>/dev/null ||
    ls -d /usr/lib/postgresql/*/bin/pgbench 2>/dev/null | sort -V | tail -n 1) ||
    true
[[ -n $PGBENCH && -x $PGBENCH ]] || die "pgbench not found"
PSQL=$(dirname "$PGBENCH")/psql
[[ -x $PSQL ]] || PSQL=psql

export PGHOST=$TALWEN_PGHOST PGPORT=$TALWEN_PGPORT PGDATABASE=$TALWEN_PGDATABASE \
    PGUSER=$TALWEN_PGUSER PGPASSWORD=$TALWEN_PGPASSWORD
"$PSQL" -Atqc 'select 1' >/dev/null || die "the reference database does not answer (scripts/db.sh start)"

WORK=$(mktemp -d)
SERVER_PID=
cleanup() {
    if [[ -n $SERVER_PID ]]; then
        kill -TERM "$SERVER_PID" 2>/dev/null || true
        wait "$SERVER_PID" 2>/dev/null || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT

# ---- the gateway ---------------------------------------------------------------------------
cat >"$WORK/talwen.INI" <<EOF
[veldrawms]
Provider=PostgreSQL
Data Source=$TALWEN_PGHOST
Port=$TALWEN_PGPORT
Initial Catalog=$TALWEN_PGDATABASE
User ID=$TALWEN_PGUSER
Password=$TALWEN_PGPASSWORD

[GENERAL]
HTTP MAX CONNECTIONS=1024
${EXTRA_GENERAL:-}
EOF

"$TALWEN" serve --config "$WORK/talwen.INI" --listen 127.0.0.1:0 --threads "$THREADS" \
    >"$WORK/access.log" 2>"$WORK/server.log" &
SERVER_PID=$!
PORT=
for _ in $(seq 100); do
    PORT=$(sed -n 's|.*listening on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$WORK/server.log")
    [[ -n $PORT ]] && break
    kill -0 "$SERVER_PID" 2>/dev/null || break
    sleep 0.1
done
[[ -n $PORT ]] || die "the gateway did not start: $(cat "$WORK/server.log")"
URL=http://127.0.0.1:$PORT/talwen/http_talwen.asp

read -r -a CARTON_LIST <<<"$CARTONS"
FIRST_FORM="function=$PROCEDURE&client=$CLIENT&carton_no=${CARTON_LIST[0]}&qty=$QTY&operator=$OPERATOR"
echo "gateway $URL, $THREADS threads; one call answers:"
curl -s -d "$FIRST_FORM" "$URL"
echo
echo

# wrk posts the form, taking the cartons in turn.
{
    echo 'local cartons = {'
    for carton in "${CARTON_LIST[@]}"; do printf '  "%s",\n' "$carton"; done
    echo '}'
    cat <<EOF
local n = 0
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
request = function()
  n = n + 1
  local body = "function=$PROCEDURE&client=$CLIENT&carton_no=" .. cartons[(n % #cartons) + 1] ..
               "&qty=$QTY&operator=$OPERATOR"
  return wrk.format(nil, nil, nil, body)
end
EOF
} >"$WORK/post.lua"

# ---- the same call for pgbench ---------------------------------------------------------------
# Build the CALL from the catalog: inputs take the values in order, output arguments Null.
read -r KIND MODES NARGS < <("$PSQL" -Atq -F ' ' -c "
    select p.prokind, coalesce(array_to_string(p.proargmodes, ''), '-'), p.pronargs
    from pg_proc p where p.proname = '$PROCEDURE' order by p.oid limit 1") ||
    die "no routine $PROCEDURE in the database"
[[ -n ${KIND:-} ]] || die "no routine $PROCEDURE in the database"
[[ $MODES == - ]] && MODES=$(printf 'i%.0s' $(seq "$NARGS"))
CARTON_ARRAY=$(printf "'%s'," "${CARTON_LIST[@]}")
VALUES=("'$CLIENT'" "(array[${CARTON_ARRAY%,}])[:i]" "$QTY" "'$OPERATOR'")
ARGS=()
next=0
for ((k = 0; k < ${#MODES}; k++)); do
    case ${MODES:k:1} in
    i | v)
        ARGS+=("${VALUES[next]:-null}")
        next=$((next + 1))
        ;;
    b) ARGS+=(null) ;;
    o) [[ $KIND == p ]] && ARGS+=(null) ;;
    esac
done
JOINED=$(IFS=,; echo "${ARGS[*]}")
if [[ $KIND == p ]]; then
    CALL="call $PROCEDURE($JOINED);"
else
    CALL="select * from $PROCEDURE($JOINED);"
fi
{
    echo "\\set i random(1, ${#CARTON_LIST[@]})"
    echo "$CALL"
} >"$WORK/call.sql"
echo "pgbench runs: $CALL"
echo

# ---- runs ---------------------------------------------------------------------------------
# Latency text of wrk ("812.00us", "1.20ms", "2.01s") in milliseconds.
to_ms() {
    awk -v v="$1" 'BEGIN {
        if (v ~ /us$/) { sub(/us$/, "", v); printf "%.3f", v / 1000 }
        else if (v ~ /ms$/) { sub(/ms$/, "", v); printf "%.3f", v }
        else if (v ~ /s$/) { sub(/s$/, "", v); printf "%.3f", v * 1000 }
        else printf "?" }'
}

printf '%-6s %14s %9s %9s %14s %9s %9s %10s\n' conns "gateway req/s" "p50 ms" "p99 ms" \
    "pgbench tps" "p50 ms" "p99 ms" "ratio"
for c in $CONNECTIONS; do
    jobs=$((c < 2 ? c : 2))

    wrk -t "$jobs" -c "$c" -d "${DURATION}s" --latency -s "$WORK/post.lua" "$URL" >"$WORK/wrk_$c.txt"
    g_rps=$(awk '/^Requests\/sec:/ {print $2}' "$WORK/wrk_$c.txt")
    g_p50=$(to_ms "$(awk '$1 == "50%" {print $2}' "$WORK/wrk_$c.txt")")
    g_p99=$(to_ms "$(awk '$1 == "99%" {print $2}' "$WORK/wrk_$c.txt")")
    if grep -q 'Non-2xx' "$WORK/wrk_$c.txt"; then
        echo "warning: the gateway answered some requests with an error status:" >&2
        grep 'Non-2xx' "$WORK/wrk_$c.txt" >&2
    fi

    rm -f "$WORK"/pgbench_log.*
    "$PGBENCH" -n -c "$c" -j "$jobs" -T "$DURATION" -f "$WORK/call.sql" \
        -l --log-prefix="$WORK/pgbench_log" >"$WORK/pgbench_$c.txt" 2>&1 ||
        die "pgbench failed: $(tail -n 5 "$WORK/pgbench_$c.txt")"
    p_tps=$(awk '/^tps = / {print $3; exit}' "$WORK/pgbench_$c.txt")
    cat "$WORK"/pgbench_log.* | awk '{print $3}' | sort -n >"$WORK/latencies"
    count=$(wc -l <"$WORK/latencies")
    pct() { awk -v p="$1" -v n="$count" 'NR == int((n - 1) * p) + 1 {printf "%.3f", $1 / 1000; exit}' "$WORK/latencies"; }
    p_p50=$(pct 0.50)
    p_p99=$(pct 0.99)

    ratio=$(awk -v g="$g_rps" -v p="$p_tps" 'BEGIN { if (p > 0) printf "%.2f", g / p; else print "?" }')
    printf '%-6s %14s %9s %9s %14s %9s %9s %10s\n' "$c" "$g_rps" "$g_p50" "$g_p99" \
        "$p_tps" "$p_p50" "$p_p99" "$ratio"
done
echo
echo "ratio = gateway requests per second / pgbench transactions per second"
