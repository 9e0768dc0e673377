#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests and the benchmark.
#
#   pg-test-server.sh start DIR   initdb in DIR/data, start the server with its
#                                 Unix socket in DIR (no TCP port), and write
#                                 DIR/conninfo (libpq keywords, no password),
#                                 DIR/password and DIR/pgpass (a libpq
#                                 password file that conninfo names)
#   pg-test-server.sh stop DIR    stop the server and remove DIR
#   pg-test-server.sh restart-immediate DIR
#                                 restart the server in DIR at once, cutting
#                                 every session (pg_ctl restart -m immediate)
#
# Servers that single tests start for themselves live in DIR-private-*;
# both start and stop DIR also stop and remove those, so that a test that
# crashed leaves no server behind once the fixture is done.
#
# The server's superuser is "vault", with the password in DIR/password and
# scram-sha-256 authentication on the socket, so tests can also check what a
# wrong password does. Durability is switched off: the data is thrown away.
# Run as root (as CI does), the server runs as the unprivileged user
# "postgres" (else "nobody"), since PostgreSQL refuses to run as root.
# A server left behind by an interrupted run in DIR is stopped first.
set -euo pipefail

action=${1:?usage: pg-test-server.sh start|stop|restart-immediate DIR}
dir=${2:?usage: pg-test-server.sh start|stop|restart-immediate DIR}

bindir=""
for candidate in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
  if [ -x "$candidate/initdb" ] && [ -x "$candidate/pg_ctl" ]; then bindir=$candidate; break; fi
done
if [ -z "$bindir" ]; then
  echo "pg-test-server: no initdb/pg_ctl under /usr/lib/postgresql/*/bin (install the postgresql package)" >&2
  exit 1
fi

runner=""
if [ "$(id -u)" = 0 ]; then
  if id postgres >/dev/null 2>&1; then runner=postgres; else runner=nobody; fi
fi

as_server() {
  if [ -n "$runner" ]; then
    setpriv --reuid="$runner" --regid="$(id -g "$runner")" --init-groups -- "$@"
  else
    "$@"
  fi
}

stop_one() {
  local folder=$1
  if [ -f "$folder/data/postmaster.pid" ]; then
    as_server "$bindir/pg_ctl" -D "$folder/data" -m fast -t 30 -w stop >/dev/null 2>&1 ||
      as_server "$bindir/pg_ctl" -D "$folder/data" -m immediate -t 30 -w stop >/dev/null 2>&1 || {
        pid=$(head -n 1 "$folder/data/postmaster.pid" 2>/dev/null || true)
        [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null || true
      }
  fi
  rm -rf "$folder"
}

stop_server() {
  local private
  for private in "$dir"-private-*; do
    [ -d "$private" ] && stop_one "$private"
  done
  stop_one "$dir"
}

case "$action" in
  start)
    if [[ "$dir" == *-private-* ]]; then stop_one "$dir"; else stop_server; fi
    mkdir -p "$dir"
    chmod 0700 "$dir"
    [ -n "$runner" ] && chown "$runner:$(id -g "$runner")" "$dir"
    printf '%s\n' "vault-test-$RANDOM$RANDOM" >"$dir/password"
    chmod 0644 "$dir/password"
    as_server "$bindir/initdb" -D "$dir/data" -U vault --pwfile="$dir/password" -E UTF8 --no-locale \
      --auth-local=scram-sha-256 --auth-host=reject --no-sync >"$dir/initdb.log" 2>&1 || {
        cat "$dir/initdb.log" >&2
        exit 1
      }
    as_server "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
      -o "-k $dir -c listen_addresses= -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=100" \
      start >/dev/null || {
        cat "$dir/server.log" >&2
        exit 1
      }
    # The password reaches libpq through a password file, as it would on a
    # vault node, so the connection string holds none.
    (umask 077 && printf '*:*:*:vault:%s\n' "$(cat "$dir/password")" >"$dir/pgpass")
    printf 'host=%s port=5432 user=vault passfile=%s\n' "$dir" "$dir/pgpass" >"$dir/conninfo"
    echo "pg-test-server: running in $dir (as ${runner:-$(id -un)})"
    ;;
  restart-immediate)
    # Every session cut without a clean end, as a crash or an operator's
    # "pg_ctl restart -m immediate" does; back once it accepts connections.
    as_server "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -m immediate -w -t 60 restart >/dev/null || {
        cat "$dir/server.log" >&2
        exit 1
      }
    ;;
  stop)
    if [[ "$dir" == *-private-* ]]; then stop_one "$dir"; else stop_server; fi
    echo "pg-test-server: stopped $dir"
    ;;
  *)
    echo "usage: pg-test-server.sh start|stop|restart-immediate DIR" >&2
    exit 2
    ;;
esac
