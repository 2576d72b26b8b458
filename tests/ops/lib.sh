# shellcheck shell=bash
# What the operations tests share. Source it; the caller sets `set -euo pipefail`.

# Stop the test with a message.
fail() {
    echo "$(basename "$0"): FAIL: $*" >&2
    exit 1
}

# wait_until SECONDS WHAT COMMAND...: run COMMAND until it succeeds; fail after SECONDS.
wait_until() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || fail "$what: not within ${seconds}s"
        sleep 0.1
    done
}

# The HTTP status of a request (000 when nothing answers); the arguments go to curl.
http_status() {
    curl -s -o /dev/null -w '%{http_code}' --max-time 10 "$@" || true
}

# Does the request (curl arguments) get status 200?
http_ok() {
    [[ $(http_status "$@") == 200 ]]
}

# free_ports N: N loopback ports, TALWEN_OPS_PORT_BASE and up when that is set, else ports
# nothing listens on now.
free_ports() {
    if [[ -n ${TALWEN_OPS_PORT_BASE:-} ]]; then
        seq "$TALWEN_OPS_PORT_BASE" $((TALWEN_OPS_PORT_BASE + $1 - 1))
        return
    fi
    python3 - "$1" <<'PY'
import socket, sys
socks = [socket.socket() for _ in range(int(sys.argv[1]))]
for s in socks:
    s.bind(("127.0.0.1", 0))
print("\n".join(str(s.getsockname()[1]) for s in socks))
PY
}

# The lines of an INI section for the database of `scripts/db.sh env`, reached over TCP so
# that any user can use them.
reference_database() {
    : "${TALWEN_PGTCPHOST:?run under scripts/test.sh, or eval \"\$(scripts/db.sh env)\" first}"
    cat <<INI
Provider=PostgreSQL
Data Source=$TALWEN_PGTCPHOST
Port=$TALWEN_PGPORT
Initial Catalog=$TALWEN_PGDATABASE
User ID=$TALWEN_PGUSER
Password=$TALWEN_PGPASSWORD
INI
}

# A scratch folder in $work, removed at exit together with the server whose PID a script
# puts in $pid (when it started one).
scratch_folder() {
    work=$(mktemp -d)
    pid=
    trap '[[ -n $pid ]] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; rm -rf "$work"' EXIT
}
