#!/usr/bin/env bash
# Rolling restart under load, with no request lost: nginx with deploy/nginx/talwen.conf (on
# loopback ports, with a certificate of its own) in front of two `talwen serve` instances, A
# and B; a mixed load of reads and writes over HTTPS for 20 s (tests/ops/load_client.py)
# while A, then B, is taken out of nginx, stopped with SIGTERM, started again and put back
# (the steps of docs/operations.md). Passes when every request got its complete reply and
# every write reached the database exactly once.
#
# Environment: the database of `scripts/db.sh env` (TALWEN_PGTCPHOST, TALWEN_PGPORT,
# TALWEN_PGDATABASE, TALWEN_PGUSER, TALWEN_PGPASSWORD), as scripts/test.sh sets it;
# TALWEN_BINARY (default build/talwen); TALWEN_OPS_SECONDS (default 20);
# TALWEN_OPS_PORT_BASE (the first of 4 ports; default: free ports).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/../.."
source tests/ops/lib.sh

binary=$(realpath "${TALWEN_BINARY:-build/talwen}")
seconds=${TALWEN_OPS_SECONDS:-20}
database=$(reference_database)
command -v nginx >/dev/null || fail "nginx is not installed (scripts/deps.sh)"
[[ -x $binary ]] || fail "no program at $binary"

mapfile -t ports < <(free_ports 4)
https_port=${ports[0]} http_port=${ports[1]}
declare -A port=([A]=${ports[2]} [B]=${ports[3]}) pid=()

work=$(mktemp -d /tmp/talwen-rolling.XXXXXX)
# nginx's workers run as another user: they must reach the folder.
chmod 755 "$work"
mkdir -m 777 "$work/temp"
nginx_pid='' load_pid=''
stop_all() {
    local p
    for p in "$nginx_pid" "$load_pid" "${pid[@]}"; do
        [[ -z $p ]] || kill -TERM "$p" 2>/dev/null || true
    done
    wait 2>/dev/null
    [[ -n ${TALWEN_OPS_KEEP:-} ]] || rm -rf "$work"
}
trap stop_all EXIT

# Four workers an instance, each free to run any function: the 8 connections of the load,
# all on one instance while the other restarts, call the same few functions at once, which
# the default limit (half the workers) would turn away with 503. nginx is trusted to name the
# client (X-Forwarded-For).
printf '[GENERAL]\nPOOL SIZE=4\nFUNCTION LIMIT=4\nHTTP TRUSTED PROXIES=127.0.0.1\n[veldrawms]\n%s\n' "$database" >"$work/talwen.INI"

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 \
    -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null

# deploy/nginx/talwen.conf with this test's addresses and certificate, and the instance
# named in $1 (if any) marked "down".
write_nginx_conf() {
    local down=$1 name servers='' mark
    for name in A B; do
        mark=''
        [[ $name != "$down" ]] || mark=' down'
        servers+="    server 127.0.0.1:${port[$name]} max_fails=3 fail_timeout=10s$mark;\\n"
    done
    sed -e "/^upstream talwen {/,/^}/{/^    server /d;s/^upstream talwen {\$/&\\n$servers/}" \
        -e "s/^    listen 80;/    listen 127.0.0.1:$http_port;/" \
        -e "s/^    listen 443 ssl;/    listen 127.0.0.1:$https_port ssl;/" \
        -e '/^    listen \[::\]/d' \
        -e "s|^    ssl_certificate .*|    ssl_certificate $work/cert.pem;|" \
        -e "s|^    ssl_certificate_key .*|    ssl_certificate_key $work/key.pem;|" \
        deploy/nginx/talwen.conf >"$work/talwen.conf"
    [[ $(grep -c "server 127.0.0.1:" "$work/talwen.conf") -eq 2 &&
        $(grep -c "listen 127.0.0.1:" "$work/talwen.conf") -eq 2 &&
        $(grep -c "$work/.*\.pem" "$work/talwen.conf") -eq 2 ]] ||
        fail "deploy/nginx/talwen.conf no longer has the lines this test rewrites"
}
write_nginx_conf ""
cat >"$work/nginx.conf" <<CONF
worker_processes 2;
pid $work/nginx.pid;
error_log $work/nginx-error.log notice;
events { worker_connections 1024; }
http {
    access_log $work/nginx-access.log;
    client_body_temp_path $work/temp/body;
    proxy_temp_path $work/temp/proxy;
    fastcgi_temp_path $work/temp/fastcgi;
    uwsgi_temp_path $work/temp/uwsgi;
    scgi_temp_path $work/temp/scgi;
    include $work/talwen.conf;
}
CONF
nginx_cmd=(nginx -p "$work" -c "$work/nginx.conf" -e "$work/nginx-error.log")

start_instance() {
    local name=$1
    "$binary" serve --config "$work/talwen.INI" --listen "127.0.0.1:${port[$name]}" \
        >>"$work/$name.access.log" 2>>"$work/$name.messages.log" &
    pid[$name]=$!
    wait_until 30 "instance $name ready" http_ok "http://127.0.0.1:${port[$name]}/ready"
}

# Reload nginx with the configuration written last; return once every worker of the old
# configuration has finished its requests and exited, so nothing uses an instance that the
# new configuration took out.
reload_nginx() {
    local old
    old=$(pgrep -P "$nginx_pid" | tr '\n' ' ')
    "${nginx_cmd[@]}" -t -q || fail "nginx refuses its configuration"
    kill -HUP "$nginx_pid"
    # shellcheck disable=SC2086 # one pid a word
    wait_until 60 "nginx's old workers ($old) gone" all_gone $old
}

all_gone() {
    local p
    for p in "$@"; do
        ! kill -0 "$p" 2>/dev/null || return 1
    done
}

idle_instance() {
    [[ -z $(ss -Htn state established "( sport = :${port[$1]} )") ]]
}

# Take the instance out of nginx, stop it, start it again, put it back.
restart_instance() {
    local name=$1 status=0 t0=$SECONDS
    write_nginx_conf "$name"
    reload_nginx
    wait_until 30 "instance $name without connections" idle_instance "$name"
    kill -TERM "${pid[$name]}"
    wait "${pid[$name]}" || status=$?
    ((status == 0)) || fail "instance $name exited with status $status on SIGTERM"
    start_instance "$name"
    write_nginx_conf ""
    reload_nginx
    echo "  instance $name restarted in $((SECONDS - t0)) s"
}

start_instance A
start_instance B
"${nginx_cmd[@]}" -t -q || fail "nginx refuses deploy/nginx/talwen.conf"
"${nginx_cmd[@]}"
wait_until 10 "nginx started" test -s "$work/nginx.pid"
nginx_pid=$(cat "$work/nginx.pid")
url="https://127.0.0.1:$https_port/talwen/http_talwen.asp"

http_ok --cacert "$work/cert.pem" -d function=rf_get_last_client_accessed -d operator=JOE "$url" ||
    fail "no answer through nginx at $url"

# Writers' cartons: C01 cartons with one stock line, neither picked nor serial controlled.
cartons=$(scripts/db.sh psql -tA -F= -c "
    SELECT s.carton_no, trim_scale(s.qty) FROM stock s
    JOIN product p ON p.client = s.client AND p.item_no = s.item_no
    WHERE s.client = 'C01' AND s.status NOT IN ('DESPATCHED', 'PICKED')
      AND p.serial_no_flag <> 'Y' AND s.carton_no IN (
          SELECT carton_no FROM stock WHERE client = 'C01' AND status <> 'DESPATCHED'
          GROUP BY carton_no HAVING count(*) = 1)
    ORDER BY s.carton_no LIMIT 4" | paste -sd,)
[[ -n $cartons ]] || fail "no carton to write to in the database"
journal_start=$(scripts/db.sh psql -tA -c "SELECT coalesce(max(movement_id), 0) FROM stock_movement")

echo "rolling restart: ${seconds}s of load through nginx on 127.0.0.1:$https_port, instances A :${port[A]}, B :${port[B]}"
python3 tests/ops/load_client.py --url "$url" --cafile "$work/cert.pem" --seconds "$seconds" \
    --connections 8 --cartons "$cartons" --writes "$work/writes.tsv" >"$work/load.txt" &
load_pid=$! load_started=$SECONDS
# Each instance restarts under the full load: A after a quarter of it, B after three fifths.
restart_at() {
    local wait=$((load_started + $1 - SECONDS))
    ((wait <= 0)) || sleep "$wait"
    restart_instance "$2"
}
restart_at $((seconds / 4)) A
restart_at $((seconds * 3 / 5)) B
load_status=0
wait "$load_pid" || load_status=$?
sed 's/^/  /' "$work/load.txt"

# Every write answered as done left one journal row, and nothing else did.
journal=$(scripts/db.sh psql -tA -F $'\t' -c "
    SELECT carton_from, trim_scale(qty_after), count(*) FROM stock_movement
    WHERE movement_id > $journal_start AND movement_type = 'ADJUST'
    GROUP BY 1, 2 ORDER BY 1, 2")
expected=$(awk -F'\t' '$3 == "ok" { print $1 "\t" $2 "\t1" }' "$work/writes.tsv" | sort)
if ! diff <(echo "$expected") <(sort <<<"$journal") >"$work/journal.diff"; then
    head -n 20 "$work/journal.diff" | sed 's/^/  /'
    fail "the journal does not hold every write exactly once (< sent, > in the database)"
fi
echo "  writes checked: $(grep -c . <<<"$expected") answered, each exactly once in the journal"
echo "  access-log lines: A $(wc -l <"$work/A.access.log"), B $(wc -l <"$work/B.access.log")"
if ((load_status != 0)); then
    grep -E '\[(error|crit|alert)\]' "$work/nginx-error.log" | head -n 10 | sed 's/^/  nginx: /'
    fail "requests failed during the rolling restart"
fi
echo "rolling restart: passed"
