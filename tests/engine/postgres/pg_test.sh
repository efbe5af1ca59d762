#!/bin/bash
# Starts a private PostgreSQL server (a temporary cluster that listens only on
# a Unix socket inside it), then lets orv_pg_compare read the same rows from
# SQLite and from that server through the report's data sets.
# Exits 77 (skipped) only when no server can be started here.
set -u
COMPARE=${1:?usage: pg_test.sh ORV_PG_COMPARE}
SKIP=77

BIN=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
[ -n "$BIN" ] && [ -x "$BIN/initdb" ] && [ -x "$BIN/pg_ctl" ] || { echo "SKIP: no PostgreSQL server binaries"; exit $SKIP; }

T=$(mktemp -d /tmp/orv-pg.XXXXXX)
chmod 0755 "$T"
mkdir -p "$T/sock" "$T/work"

# The server refuses to run as root: run it as an unprivileged user.
AS=()
if [ "$(id -u)" = 0 ]; then
  RUNAS=""
  for u in postgres nobody; do
    if id -u "$u" >/dev/null 2>&1; then RUNAS=$u; break; fi
  done
  [ -n "$RUNAS" ] || { echo "SKIP: no unprivileged user to run the server"; rm -rf "$T"; exit $SKIP; }
  chown "$RUNAS" "$T/sock"
  mkdir -p "$T/data" && chown "$RUNAS" "$T/data"
  if command -v runuser >/dev/null; then AS=(runuser -u "$RUNAS" --); else AS=(su -s /bin/sh "$RUNAS" -c); fi
fi
as_server() {
  if [ ${#AS[@]} -eq 0 ]; then "$@"; elif [ "${AS[0]}" = runuser ]; then "${AS[@]}" "$@"; else "${AS[@]}" "$(printf '%q ' "$@")"; fi
}

cleanup() {
  as_server "$BIN/pg_ctl" -D "$T/data" -m immediate -w stop >/dev/null 2>&1
  rm -rf "$T"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

if ! as_server "$BIN/initdb" -D "$T/data" -U orv -A trust -E UTF8 --locale=C --no-sync >"$T/initdb.log" 2>&1; then
  echo "SKIP: initdb failed"; cat "$T/initdb.log"; exit $SKIP
fi
if ! as_server "$BIN/pg_ctl" -D "$T/data" -l "$T/data/server.log" -w -t 60 \
      -o "-c listen_addresses='' -k $T/sock -c fsync=off -c full_page_writes=off" start >/dev/null; then
  echo "SKIP: the server did not start"; cat "$T/data/server.log" 2>/dev/null; exit $SKIP
fi
if ! "$BIN/psql" -X -q -h "$T/sock" -U orv -d postgres -c "CREATE DATABASE orvtest" >/dev/null; then
  echo "FAIL: cannot create the test database"; exit 1
fi

"$COMPARE" "$T/work" "postgresql://orv@/orvtest?host=$T/sock" \
  "postgresql:///orvtest?host=$T/sock&user=orv&port=5432&application_name=orv-test"
