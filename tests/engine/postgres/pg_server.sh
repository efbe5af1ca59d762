# Sourced by the tests that need a private PostgreSQL server: pg_start makes
# a temporary cluster in $T that listens only on a Unix socket in $T/sock,
# creates the database "orvtest" and stops everything when the shell exits.
# Exits 77 (skipped) only when no server can be started here.
SKIP=77

pg_start() {
  BIN=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
  [ -n "$BIN" ] && [ -x "$BIN/initdb" ] && [ -x "$BIN/pg_ctl" ] || { echo "SKIP: no PostgreSQL server binaries"; exit $SKIP; }

  T=$(mktemp -d /tmp/orv-pg.XXXXXX)
  chmod 0755 "$T"
  mkdir -p "$T/sock" "$T/work"

  # The server refuses to run as root: run it as an unprivileged user.
  AS=()
  if [ "$(id -u)" = 0 ]; then
    local runas=""
    for u in postgres nobody; do
      if id -u "$u" >/dev/null 2>&1; then runas=$u; break; fi
    done
    [ -n "$runas" ] || { echo "SKIP: no unprivileged user to run the server"; rm -rf "$T"; exit $SKIP; }
    chown "$runas" "$T/sock"
    mkdir -p "$T/data" && chown "$runas" "$T/data"
    if command -v runuser >/dev/null; then AS=(runuser -u "$runas" --); else AS=(su -s /bin/sh "$runas" -c); fi
  fi
  trap pg_cleanup EXIT
  trap 'exit 1' INT TERM HUP

  if ! as_server "$BIN/initdb" -D "$T/data" -U orv -A trust -E UTF8 --locale=C --no-sync >"$T/initdb.log" 2>&1; then
    echo "SKIP: initdb failed"; cat "$T/initdb.log"; exit $SKIP
  fi
  if ! pg_server_start; then
    echo "SKIP: the server did not start"; cat "$T/data/server.log" 2>/dev/null; exit $SKIP
  fi
  if ! "$BIN/psql" -X -q -h "$T/sock" -U orv -d postgres -c "CREATE DATABASE orvtest" >/dev/null; then
    echo "FAIL: cannot create the test database"; exit 1
  fi
}

as_server() {
  if [ ${#AS[@]} -eq 0 ]; then "$@"; elif [ "${AS[0]}" = runuser ]; then "${AS[@]}" "$@"; else "${AS[@]}" "$(printf '%q ' "$@")"; fi
}

pg_server_start() {
  as_server "$BIN/pg_ctl" -D "$T/data" -l "$T/data/server.log" -w -t 60 \
    -o "-c listen_addresses='' -k $T/sock -c fsync=off -c full_page_writes=off" start >/dev/null
}

pg_cleanup() {
  as_server "$BIN/pg_ctl" -D "$T/data" -m immediate -w stop >/dev/null 2>&1
  rm -rf "$T"
}
