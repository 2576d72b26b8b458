#!/usr/bin/env bash
# Instructions the gateway spends on one request, counted by valgrind (callgrind): a
# `talwen serve` started under callgrind answers N requests on kept-alive connections (500
# each), then none; the difference of the two totals divided by N is the cost of one
# request, start and stop left out. The database is out of reach on purpose (port 1): what
# is counted is the gateway's own work, not the provider's.
#
#   bench/http_layer_instructions.sh [TALWEN_BINARY] [PORT] [N]
#
# Prints the instructions per request for GET /live and for a form posted to the gateway path
# naming a function the engine does not know (no database call). SIGN_ON=1 requires the
# signed sign-on, and the form carries a valid cookie.
set -euo pipefail

BINARY=${1:-build/talwen}
PORT=${2:-18480}
N=${3:-1000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
key=0123456789abcdef0123456789abcdef
general=
[[ ${SIGN_ON:-0} == 1 ]] && general="REQUIRE SIGN-ON=Y\nSIGN-ON KEY=$key\n"
printf "[GENERAL]\n$general[veldrawms]\nProvider=PostgreSQL\nData Source=127.0.0.1\nPort=1\n" >"$work/t.INI"

# Total instructions of one run answering $2 requests of kind $1.
count() {
    valgrind --tool=callgrind --callgrind-out-file="$work/out" "$BINARY" serve \
        --config "$work/t.INI" --listen "127.0.0.1:$PORT" --threads 2 >/dev/null 2>&1 &
    local pid=$!
    python3 - "$PORT" "$1" "$2" "${SIGN_ON:-0}" "$key" <<'PY'
import hashlib, hmac, socket, sys, time
port, kind, n = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])
cookie = b"talwen_session=0123456789abcdef0123456789abcdef"
if sys.argv[4] == "1":  # a sign-on of JOE, made as the gateway makes it
    now = int(time.time())
    payload = "%s.%d.%d.%s" % ("ab" * 16, now, now + 1800, b"JOE".hex())
    mac = hmac.new(sys.argv[5].encode(), b"talwen sign-on 1\n" + payload.encode(), hashlib.sha256)
    cookie += ("; talwen_signon=%s.%s" % (payload, mac.hexdigest())).encode()
for _ in range(600):
    try:
        s = socket.create_connection(("127.0.0.1", port)); break
    except OSError:
        time.sleep(0.1)
common = (b"Host: 127.0.0.1:%d\r\nUser-Agent: Mozilla/5.0 (Linux; Android 10) handheld\r\n"
          b"Accept: */*\r\nCookie: %s\r\n" % (port, cookie))
if kind == "live":
    request = b"GET /live HTTP/1.1\r\n" + common + b"\r\n"
else:
    form = b"function=rf_not_there&client=C01&carton_no=CTN1&qty=5&operator=JOE"
    request = (b"POST /talwen/http_talwen.asp HTTP/1.1\r\n" + common +
               b"Content-Type: application/x-www-form-urlencoded\r\nContent-Length: %d\r\n\r\n"
               % len(form) + form)
for i in range(n):
    if i and i % 500 == 0:  # within HTTP KEEPALIVE REQUESTS
        s.close()
        s = socket.create_connection(("127.0.0.1", port))
    s.sendall(request)
    got = b""
    while b"\r\n\r\n" not in got:
        more = s.recv(65536)
        if not more:
            sys.exit("the gateway closed the connection")
        got += more
    head, _, body = got.partition(b"\r\n\r\n")
    length = int([l for l in head.split(b"\r\n") if l.lower().startswith(b"content-length")][0].split(b":")[1])
    while len(body) < length:
        body += s.recv(65536)
s.close()
PY
    kill -TERM "$pid"
    wait "$pid" || true
    callgrind_annotate "$work/out" 2>/dev/null | awk '/PROGRAM TOTALS/ {gsub(",", "", $1); print $1}'
}

for kind in live form; do
    base=$(count "$kind" 0)
    loaded=$(count "$kind" "$N")
    echo "$kind: $(( (loaded - base) / N )) instructions per request"
done
