#!/usr/bin/env bash
# Manage the private PostgreSQL cluster that holds the Talwen reference
# warehouse database.
#
#   scripts/db.sh start    init the cluster when needed, start it, load the
#                          database when it is missing or half loaded
#   scripts/db.sh stop     stop the cluster
#   scripts/db.sh restart  stop, then start
#   scripts/db.sh reset    drop and reload the database (starts the cluster)
#   scripts/db.sh status   where the cluster lives and whether it runs
#   scripts/db.sh psql     psql on the database as the engine's role
#                          (further arguments go to psql)
#   scripts/db.sh test     run the database tests (db/postgres/tests/*.sql)
#   scripts/db.sh env      print the connection settings, ready to source:
#                          eval "$(scripts/db.sh env)"
#
# Environment: TALWEN_PGPORT (TCP port on 127.0.0.1, default 55432),
# TALWEN_DB_DIR (folder of the cluster, default the project's .db/),
# TALWEN_PG_BIN (folder of initdb, pg_ctl, psql; found when unset).
#
# The server never runs as root: when this script runs as root the server
# runs as the system user "postgres", and when that user cannot reach the
# cluster's folder the cluster lives in /var/tmp/talwen-<hash of the project
# path (or of TALWEN_DB_DIR)>/ instead.
set -euo pipefail

PROJECT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)
SQL_DIR=$PROJECT_DIR/db/postgres
PORT=${TALWEN_PGPORT:-55432}
DB_NAME=talwen
DB_USER=talwen
DB_PASSWORD=talwen
ADMIN_USER=postgres
# Marks a database whose load ran to the end; a database without it is
# reloaded by "start".
LOADED_MARK='Talwen reference warehouse database'

die() {
    echo "db.sh: $*" >&2
    exit 1
}

note() {
    echo "db.sh: $*" >&2
}

find_pg_bin() {
    if [[ -n ${TALWEN_PG_BIN:-} ]]; then
        echo "$TALWEN_PG_BIN"
        return
    fi
    if [[ -x /usr/lib/postgresql/15/bin/pg_ctl ]]; then
        echo /usr/lib/postgresql/15/bin
        return
    fi
    local dir
    dir=$(printf '%s\n' /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
    if [[ -x $dir/pg_ctl ]]; then
        echo "$dir"
        return
    fi
    dir=$(command -v pg_ctl 2>/dev/null) || die "no PostgreSQL server found (set TALWEN_PG_BIN)"
    dirname "$dir"
}

PG_BIN=$(find_pg_bin)
[[ -x $PG_BIN/pg_ctl && -x $PG_BIN/initdb && -x $PG_BIN/psql ]] ||
    die "$PG_BIN lacks pg_ctl, initdb or psql"

if [[ $(id -u) -eq 0 ]]; then
    IS_ROOT=1
    SERVER_USER=postgres
    id "$SERVER_USER" >/dev/null 2>&1 || die "running as root needs the system user $SERVER_USER"
else
    IS_ROOT=0
    SERVER_USER=$(id -un)
fi

# Run a command as the user that owns the cluster.
as_server() {
    if ((IS_ROOT)); then
        (cd / && runuser -u "$SERVER_USER" -- "$@")
    else
        "$@"
    fi
}

path_hash() {
    printf '%s' "$1" | sha256sum | cut -c1-12
}

# The folder of the cluster: TALWEN_DB_DIR, or the project's .db/. When the
# server's user cannot use it, /var/tmp/talwen-<hash> (hash of the project
# path, or of TALWEN_DB_DIR when that is set).
if [[ -n ${TALWEN_DB_DIR:-} ]]; then
    WANTED_BASE=$(realpath -m "$TALWEN_DB_DIR")
    FALLBACK_BASE=/var/tmp/talwen-$(path_hash "$WANTED_BASE")
else
    WANTED_BASE=$PROJECT_DIR/.db
    FALLBACK_BASE=/var/tmp/talwen-$(path_hash "$PROJECT_DIR")
fi

# Choose the folder of the cluster without changing anything on disk.
pick_base() {
    if [[ -d $WANTED_BASE ]]; then
        if as_server test -w "$WANTED_BASE" -a -x "$WANTED_BASE" 2>/dev/null ||
            { ((IS_ROOT)) && as_server test -x "$(dirname "$WANTED_BASE")" 2>/dev/null; }; then
            echo "$WANTED_BASE"
            return
        fi
    else
        # The nearest folder that exists must let the server's user through
        # and let us create the rest.
        local ancestor=$WANTED_BASE
        while [[ ! -d $ancestor ]]; do
            ancestor=$(dirname "$ancestor")
        done
        if as_server test -x "$ancestor" 2>/dev/null && { ((IS_ROOT)) || [[ -w $ancestor ]]; }; then
            echo "$WANTED_BASE"
            return
        fi
    fi
    echo "$FALLBACK_BASE"
}

BASE=$(pick_base)
PGDATA_DIR=$BASE/data
# A cluster made earlier by a normal user keeps running as that user.
if ((IS_ROOT)) && [[ -d $PGDATA_DIR ]]; then
    owner=$(stat -c %U "$PGDATA_DIR")
    if [[ $owner != root && $owner != UNKNOWN ]]; then
        SERVER_USER=$owner
    fi
fi
LOG_FILE=$BASE/postgresql.log
SOCKET_DIR=$BASE/run
# A Unix socket path is limited to about 107 bytes.
if ((${#SOCKET_DIR} + 20 > 100)); then
    SOCKET_DIR=$FALLBACK_BASE/run
fi

psql_admin() {
    as_server env PGOPTIONS='-c client_min_messages=warning' "$PG_BIN/psql" -X -q -v ON_ERROR_STOP=1 -h "$SOCKET_DIR" -p "$PORT" -U "$ADMIN_USER" "$@"
}

psql_owner() {
    PGPASSWORD=$DB_PASSWORD PGOPTIONS='-c client_min_messages=warning' "$PG_BIN/psql" -X -q -v ON_ERROR_STOP=1 \
        -h "$SOCKET_DIR" -p "$PORT" -U "$DB_USER" -d "$DB_NAME" "$@"
}

make_owned_dir() {
    mkdir -p "$1"
    if ((IS_ROOT)); then
        chown "$SERVER_USER": "$1"
    fi
    chmod 700 "$1"
}

ensure_dirs() {
    if ! make_owned_dir "$BASE" 2>/dev/null || ! as_server test -w "$BASE"; then
        [[ $BASE != "$FALLBACK_BASE" ]] || die "cannot prepare $BASE"
        note "$SERVER_USER cannot use $BASE; the cluster goes to $FALLBACK_BASE"
        BASE=$FALLBACK_BASE
        PGDATA_DIR=$BASE/data
        LOG_FILE=$BASE/postgresql.log
        SOCKET_DIR=$BASE/run
        make_owned_dir "$BASE"
    fi
    make_owned_dir "$SOCKET_DIR"
}

lock_base() {
    exec 9>>"$BASE/.lock"
    flock 9
}

write_server_file() {
    local file=$1
    cat >"$file"
    if ((IS_ROOT)); then
        chown "$SERVER_USER": "$file"
    fi
    chmod 600 "$file"
}

init_cluster() {
    [[ -f $PGDATA_DIR/PG_VERSION ]] && return
    note "creating the cluster in $PGDATA_DIR"
    make_owned_dir "$PGDATA_DIR"
    as_server "$PG_BIN/initdb" -D "$PGDATA_DIR" -U "$ADMIN_USER" --encoding=UTF8 --locale=C \
        --auth=trust >"$BASE/initdb.log" 2>&1 ||
        {
            cat "$BASE/initdb.log" >&2
            die "initdb failed"
        }
    echo "include_if_exists = 'talwen.conf'" | as_server tee -a "$PGDATA_DIR/postgresql.conf" >/dev/null
}

# Settings are written on every start so that a changed port takes effect.
write_config() {
    write_server_file "$PGDATA_DIR/talwen.conf" <<EOF
# Written by scripts/db.sh on every start; edits are lost.
listen_addresses = '127.0.0.1'
port = $PORT
unix_socket_directories = '$SOCKET_DIR'
max_connections = 100
shared_buffers = 32MB
lc_messages = 'C'
# A throw-away development cluster: speed over crash safety.
fsync = off
synchronous_commit = off
full_page_writes = off
EOF
    # The administrator role is reachable only through the socket, whose
    # folder only the server's user (and root) may enter; everything else
    # signs on with a password.
    write_server_file "$PGDATA_DIR/pg_hba.conf" <<EOF
# Written by scripts/db.sh on every start; edits are lost.
local   all   $ADMIN_USER                 trust
local   all   all                         scram-sha-256
host    all   all         127.0.0.1/32    scram-sha-256
EOF
}

server_running() {
    as_server "$PG_BIN/pg_ctl" -D "$PGDATA_DIR" status >/dev/null 2>&1
}

wait_ready() {
    local i
    for ((i = 0; i < 300; i++)); do
        if "$PG_BIN/pg_isready" -q -h "$SOCKET_DIR" -p "$PORT" -U "$ADMIN_USER"; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}

start_server() {
    ensure_dirs
    lock_base
    init_cluster
    write_config
    if server_running; then
        wait_ready || die "the cluster in $PGDATA_DIR runs but does not answer on port $PORT (started with another port? run db.sh stop first)"
        return
    fi
    # The server must not inherit the lock's descriptor, or it would hold
    # the lock for as long as it runs.
    if ! as_server "$PG_BIN/pg_ctl" -D "$PGDATA_DIR" -l "$LOG_FILE" -w -t 60 -s start >/dev/null 9>&-; then
        tail -n 20 "$LOG_FILE" >&2 || true
        die "the server did not start (port $PORT taken? set TALWEN_PGPORT)"
    fi
    wait_ready || die "the server does not accept connections; see $LOG_FILE"
}

ensure_role() {
    psql_admin -d postgres <<EOF
DO \$\$
BEGIN
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '$DB_USER') THEN
        CREATE ROLE $DB_USER LOGIN PASSWORD '$DB_PASSWORD';
    END IF;
    -- The role may create databases of its own: the load benchmark
    -- (../shared/bench/peers.sh) works in one beside the reference database.
    ALTER ROLE $DB_USER CREATEDB;
END
\$\$;
EOF
}

database_state() {
    psql_admin -d postgres -tA -c \
        "SELECT coalesce(shobj_description(oid, 'pg_database'), '') FROM pg_database WHERE datname = '$DB_NAME'"
}

load_database() {
    note "loading the $DB_NAME database"
    psql_admin -d postgres -c "DROP DATABASE IF EXISTS $DB_NAME WITH (FORCE)" \
        -c "CREATE DATABASE $DB_NAME OWNER $DB_USER"
    psql_admin -d "$DB_NAME" -c "CREATE EXTENSION IF NOT EXISTS pgcrypto"
    local file
    psql_owner -1 -f "$SQL_DIR/schema.sql" >/dev/null
    while IFS= read -r file; do
        psql_owner -1 -f "$file" >/dev/null
    done < <(LC_ALL=C ls "$SQL_DIR"/procedures/*.sql 2>/dev/null)
    psql_owner -1 -f "$SQL_DIR/demo.sql" >/dev/null
    psql_admin -d postgres -c "COMMENT ON DATABASE $DB_NAME IS '$LOADED_MARK'"
}

cmd_start() {
    start_server
    ensure_role
    local state
    state=$(database_state)
    if [[ $state != "$LOADED_MARK" ]]; then
        load_database
    fi
    note "running: database $DB_NAME on port $PORT and socket $SOCKET_DIR"
}

cmd_reset() {
    start_server
    ensure_role
    load_database
    note "reloaded: database $DB_NAME on port $PORT and socket $SOCKET_DIR"
}

cmd_stop() {
    if [[ ! -f $PGDATA_DIR/PG_VERSION ]] || ! server_running; then
        note "not running"
        return
    fi
    as_server "$PG_BIN/pg_ctl" -D "$PGDATA_DIR" -m fast -w -t 60 -s stop
    note "stopped"
}

cmd_status() {
    echo "data:     $PGDATA_DIR"
    echo "socket:   $SOCKET_DIR"
    echo "port:     $PORT"
    echo "log:      $LOG_FILE"
    if [[ ! -f $PGDATA_DIR/PG_VERSION ]]; then
        echo "state:    not created"
        return 3
    fi
    if ! server_running; then
        echo "state:    stopped"
        return 3
    fi
    local state
    state=$(database_state 2>/dev/null || true)
    if [[ $state == "$LOADED_MARK" ]]; then
        echo "state:    running, database $DB_NAME loaded"
    else
        echo "state:    running, database $DB_NAME not loaded"
    fi
}

cmd_restart() {
    cmd_stop
    cmd_start
}

cmd_psql() {
    server_running 2>/dev/null || die "the cluster is not running (scripts/db.sh start)"
    PGPASSWORD=$DB_PASSWORD exec "$PG_BIN/psql" -X -h "$SOCKET_DIR" -p "$PORT" -U "$DB_USER" -d "$DB_NAME" "$@"
}

# Each test file runs in its own session; a failed assertion stops the file
# and its error (the case it names) is shown under the file's name.
cmd_test() {
    cmd_start
    local file errors failed=0 total=0
    errors=$(mktemp)
    while IFS= read -r file; do
        total=$((total + 1))
        if psql_owner -f "$file" >/dev/null 2>"$errors"; then
            echo "PASS $(basename "$file")"
        else
            echo "FAIL $(basename "$file")"
            sed 's/^/    /' "$errors"
            failed=$((failed + 1))
        fi
    done < <(LC_ALL=C ls "$SQL_DIR"/tests/*.sql)
    rm -f "$errors"
    if ((failed > 0)); then
        note "$failed of $total database test files failed"
        return 1
    fi
}

cmd_env() {
    local name value
    for name in HOST PORT DATABASE USER PASSWORD; do
        case $name in
        HOST) value=$SOCKET_DIR ;;
        PORT) value=$PORT ;;
        DATABASE) value=$DB_NAME ;;
        USER) value=$DB_USER ;;
        PASSWORD) value=$DB_PASSWORD ;;
        esac
        printf 'export TALWEN_PG%s=%q\n' "$name" "$value"
    done
    printf 'export TALWEN_PGTCPHOST=127.0.0.1\n'
    printf 'export TALWEN_PGDATA=%q\n' "$PGDATA_DIR"
}

case ${1:-} in
start) cmd_start ;;
stop) cmd_stop ;;
restart) cmd_restart ;;
reset) cmd_reset ;;
status) cmd_status ;;
psql)
    shift
    cmd_psql "$@"
    ;;
test) cmd_test ;;
env) cmd_env ;;
*)
    sed -n '2,26s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2
    exit 2
    ;;
esac
