#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for the database tests, on 127.0.0.1 at a free port.
#
#   pg.sh start  <state dir>   initdb into a new temporary directory (as the postgres user when
#                              run as root), start the server, create the database "kest" and
#                              write <state dir>/env (KEY=VALUE lines: KEST_TEST_PG_DSN,
#                              KEST_TEST_PG_PORT, KEST_TEST_PG_DATA). When the server cannot
#                              be started, env holds KEST_TEST_PG_ERROR with the reason and the
#                              script still succeeds: the tests skip with that reason. In CI
#                              (CI=true) it fails instead, so the tests are not run and the
#                              stage fails: there the server must run.
#   pg.sh stop   <state dir>   stop the server and remove its directory and the env file
#   pg.sh halt   <state dir>   stop the server, keep the cluster (tests of a lost server)
#   pg.sh resume <state dir>   start the halted server again on the same port
set -uo pipefail

cmd=${1:-}
state=${2:-}
if [ -z "$cmd" ] || [ -z "$state" ]; then
    echo "usage: $0 start|stop|halt|resume <state dir>" >&2
    exit 2
fi
env_file=$state/env

value() { sed -n "s/^$1=//p" "$env_file" 2>/dev/null | head -n 1; }

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)

as_owner() {
    if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

server() { # start|stop, on the cluster recorded in the env file
    local data port
    data=$(value KEST_TEST_PG_DATA)
    port=$(value KEST_TEST_PG_PORT)
    [ -n "$data" ] && [ -d "$data/db" ] || return 1
    if [ "$1" = start ]; then
        as_owner "$bin/pg_ctl" -D "$data/db" -l "$data/server.log" -w -t 30 \
            -o "-c listen_addresses=127.0.0.1 -p $port -k $data -c fsync=off" start >/dev/null
    else
        as_owner "$bin/pg_ctl" -D "$data/db" -m fast -w -t 30 stop >/dev/null
    fi
}

skip() {
    echo "KEST_TEST_PG_ERROR=$*" >"$env_file"
    if [ "${CI:-}" = true ]; then
        echo "pg.sh: PostgreSQL could not be started: $* (CI=true: failing)" >&2
        exit 1
    fi
    echo "pg.sh: PostgreSQL tests will be skipped: $*" >&2
    exit 0
}

case "$cmd" in
start)
    mkdir -p "$state"
    [ -f "$env_file" ] && "$0" stop "$state"
    [ -n "$bin" ] || skip "PostgreSQL is not installed (postgresql-15)"
    odbcinst -q -d -n "PostgreSQL Unicode" >/dev/null 2>&1 ||
        skip "the ODBC driver \"PostgreSQL Unicode\" is not installed (odbc-postgresql)"
    data=$(mktemp -d /tmp/kest-pg.XXXXXX) || skip "no temporary directory"
    [ "$(id -u)" = 0 ] && chown postgres "$data"
    as_owner "$bin/initdb" -D "$data/db" -U postgres -A trust -E UTF8 --locale=C \
        >"$data/initdb.log" 2>&1 || { rm -rf "$data"; skip "initdb failed"; }
    # A free port may be taken by someone else before the server binds it: try again.
    for try in 1 2 3; do
        port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
        {
            echo "KEST_TEST_PG_DATA=$data"
            echo "KEST_TEST_PG_PORT=$port"
        } >"$env_file"
        server start && break
        if [ "$try" = 3 ]; then
            tail -n 5 "$data/server.log" >&2
            rm -rf "$data"
            skip "the server did not start"
        fi
    done
    if ! as_owner "$bin/createdb" -h 127.0.0.1 -p "$port" -U postgres kest; then
        server stop
        rm -rf "$data"
        skip "createdb failed"
    fi
    echo "KEST_TEST_PG_DSN=Provider=MSDASQL;Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$port;Database=kest;UID=postgres;PWD=;" >>"$env_file"
    echo "pg.sh: PostgreSQL on 127.0.0.1:$port ($data)"
    ;;
stop)
    data=$(value KEST_TEST_PG_DATA)
    if [ -n "$data" ]; then
        [ -n "$bin" ] && [ -f "$data/db/postmaster.pid" ] &&
            as_owner "$bin/pg_ctl" -D "$data/db" -m immediate -w -t 30 stop >/dev/null
        rm -rf "$data"
    fi
    rm -f "$env_file"
    ;;
halt) server stop ;;
resume) server start ;;
*)
    echo "usage: $0 start|stop|halt|resume <state dir>" >&2
    exit 2
    ;;
esac
