#!/bin/bash
# The data of a long report goes away while it is being prepared: the private
# PostgreSQL server is stopped at once, the SQLite file is cut short or
# removed, the CSV file was cut short. A failed run must end within seconds
# with exit 2, the data set's name and the source's reason, and no output
# file (nor PDF); a run whose data stays readable must lose nothing.
#   data_faults_test.sh FRPTOOL FRPGEN
# Exits 77 (skipped) only when no PostgreSQL server can be started here.
set -u
FRPTOOL=${1:?usage: data_faults_test.sh FRPTOOL FRPGEN}
FRPGEN=${2:?}
export QT_QPA_PLATFORM=offscreen
. "$(dirname "$0")/../engine/postgres/pg_server.sh"
pg_start
W=$T/work
export HOME=$W XDG_CONFIG_HOME=$W/.config XDG_DATA_HOME=$W/.local/share
ROWS=200000
FIELDS="id AS ID, customer AS CUSTOMER, city AS CITY, amount AS AMOUNT, city_count AS CITY_COUNT"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
now() { date +%s%N; }

"$FRPGEN" "$W/orders.frf" --template --band orders >/dev/null || { echo "FAIL: frpgen"; exit 1; }

# Starts a run of the orders listing in the background: PID, and its
# messages in $W/err.
start_run() {
  rm -f "$W/out.frp" "$W/out.pdf"
  "$FRPTOOL" prepare "$W/orders.frf" -o "$W/out.frp" --pdf "$W/out.pdf" "$@" 2>"$W/err" &
  PID=$!
}

# Waits for the run to end, at most LIMIT seconds after the fault; RC and
# SECONDS_TAKEN (tenths) after it.
finish_run() {
  local since=$1 limit=$2
  while kill -0 "$PID" 2>/dev/null; do
    if [ $(( ($(now) - since) / 1000000000 )) -ge "$limit" ]; then
      kill -9 "$PID"; fail "the run still went on $limit s after the fault"; break
    fi
    sleep 0.05
  done
  wait "$PID"
  RC=$?
  TENTHS=$(( ($(now) - since) / 100000000 ))
}

# NAME EXPECTED-REASON: the run failed as it must.
expect_failure() {
  local name=$1 reason=$2 err
  err=$(cat "$W/err")
  [ "$RC" = 2 ] || fail "$name: exit $RC, not 2: $err"
  case "$err" in
    *'data set "Orders"'*"$reason"*) ;;
    *) fail "$name: the message lacks the data set or \"$reason\": $err" ;;
  esac
  [ ! -e "$W/out.frp" ] || fail "$name: a prepared report was written"
  [ ! -e "$W/out.pdf" ] || fail "$name: a PDF was written"
  [ -z "$(ls -A "$W" | grep -e '\.frp\.' -e '\.pdf\.')" ] || fail "$name: a temporary was left"
  echo "ok: $name: ended $((TENTHS / 10)).$((TENTHS % 10)) s after the fault: $err"
}

# ------------------------------------------------------------ PostgreSQL
"$BIN/psql" -X -q -h "$T/sock" -U orv -d orvtest -c "CREATE TABLE orders AS
  SELECT i AS id, 'Cliente ' || (i % 37) AS customer,
         'Cidade ' || lpad((i / 1000)::text, 4, '0') AS city,
         ((i * 389) % 100000) / 100.0 AS amount, 1000 AS city_count
  FROM generate_series(0, $ROWS - 1) AS i" >/dev/null || { echo "FAIL: cannot load the rows"; exit 1; }
URL="postgresql://orv@/orvtest?host=$T/sock&application_name=orv-fault"
start_run --db "$URL" --dataset "Orders=SELECT $FIELDS FROM orders ORDER BY id"
# The fault comes once the server is sending the rows.
for _ in $(seq 600); do
  active=$("$BIN/psql" -X -A -t -h "$T/sock" -U orv -d postgres -c \
    "SELECT count(*) FROM pg_stat_activity WHERE application_name = 'orv-fault' AND query LIKE 'SELECT%'" 2>/dev/null)
  [ "${active:-0}" -ge 1 ] && break
  kill -0 "$PID" 2>/dev/null || break
  sleep 0.05
done
sleep 0.3
kill -0 "$PID" 2>/dev/null || fail "postgresql: the run ended before the server was stopped"
T0=$(now)
as_server "$BIN/pg_ctl" -D "$T/data" -m immediate -w stop >/dev/null
finish_run "$T0" 20
expect_failure "postgresql stopped" "terminat"
[ "$TENTHS" -le 50 ] || fail "postgresql: the run took $((TENTHS / 10)) s to end after the fault"

# A server that is not there at all: the connection is refused at once.
start_run --db "$URL" --dataset "Orders=SELECT $FIELDS FROM orders"
finish_run "$(now)" 20
case "$(cat "$W/err")" in
  *"$T/sock"*|*"cannot connect"*) echo "ok: no server: $(cat "$W/err")" ;;
  *) fail "no server: $(cat "$W/err")" ;;
esac
[ "$RC" = 2 ] && [ ! -e "$W/out.frp" ] && [ ! -e "$W/out.pdf" ] || fail "no server: exit $RC or output written"

# A "server" that takes the connection and never answers: the connect
# timeout ends the wait instead of the run hanging for ever.
mkdir -p "$T/mute"
/usr/bin/python3 -c '
import socket, sys, time
s = socket.socket(socket.AF_UNIX)
s.bind(sys.argv[1] + "/.s.PGSQL.5432")
s.listen(8)
time.sleep(120)
' "$T/mute" &
MUTE=$!
for _ in $(seq 100); do [ -S "$T/mute/.s.PGSQL.5432" ] && break; sleep 0.05; done
T0=$(now)
start_run --db "postgresql://orv@/orvtest?host=$T/mute" --dataset "Orders=SELECT $FIELDS FROM orders"
finish_run "$T0" 40
kill "$MUTE" 2>/dev/null
wait "$MUTE" 2>/dev/null
[ "$RC" = 2 ] && [ ! -e "$W/out.frp" ] || fail "mute server: exit $RC or output written"
case "$(cat "$W/err")" in
  *"cannot connect"*"timeout"*) echo "ok: mute server: ended after $((TENTHS / 10)).$((TENTHS % 10)) s: $(cat "$W/err")" ;;
  *) fail "mute server: $(cat "$W/err")" ;;
esac

# ------------------------------------------------------------ SQLite
/usr/bin/python3 - "$W/items.db" "$ROWS" <<'PY' || { echo "FAIL: cannot make the SQLite file"; exit 1; }
import sqlite3, sys
c = sqlite3.connect(sys.argv[1])
c.execute("CREATE TABLE orders (id INTEGER, customer VARCHAR(40), city VARCHAR(30), "
          "amount NUMERIC(12,2), city_count INTEGER, note TEXT)")
c.executemany("INSERT INTO orders VALUES (?, ?, ?, ?, ?, ?)",
              ((i, "Cliente %d" % (i % 37), "Cidade %04d" % (i // 1000), (i * 389 % 100000) / 100.0,
                1000, "x" * 200) for i in range(int(sys.argv[2]))))
c.commit()
PY
SQL="Orders=SELECT $FIELDS FROM orders"

# Waits until the run has the file open and has read for a moment.
wait_open() {
  for _ in $(seq 600); do
    ls -l "/proc/$PID/fd" 2>/dev/null | grep -q "$1" && break
    kill -0 "$PID" 2>/dev/null || break
    sleep 0.05
  done
  sleep 0.5
  kill -0 "$PID" 2>/dev/null || fail "sqlite: the run ended before the fault"
}

# Waits until the run has read its first 8 MB of the 50 MB file. A run reads
# the whole file in well under a second, so a fixed pause could come after
# the last read and cut nothing the run still needed.
wait_reading() {
  local read
  for _ in $(seq 3000); do
    read=$(awk '/^rchar/ {print $2}' "/proc/$PID/io" 2>/dev/null)
    [ -n "$read" ] && [ "$read" -ge $((8 << 20)) ] && break
    kill -0 "$PID" 2>/dev/null || break
    sleep 0.01
  done
  kill -0 "$PID" 2>/dev/null || fail "sqlite: the run ended before the fault"
}

cp "$W/items.db" "$W/cut.db"
start_run --db "sqlite:$W/cut.db" --dataset "$SQL"
wait_reading
T0=$(now)
truncate -s 1000000 "$W/cut.db"
finish_run "$T0" 20
expect_failure "sqlite cut short" "malformed"

# A removed file stays readable to whoever has it open: the run goes on and
# gives the same pages as a run over the file left alone.
cp "$W/items.db" "$W/gone.db"
start_run --db "sqlite:$W/gone.db" --dataset "$SQL"
wait_open gone.db
rm "$W/gone.db"
finish_run "$(now)" 120
[ "$RC" = 0 ] || fail "sqlite removed: exit $RC: $(cat "$W/err")"
mv "$W/out.frp" "$W/removed.frp"
"$FRPTOOL" prepare "$W/orders.frf" -o "$W/whole.frp" --db "sqlite:$W/items.db" --dataset "$SQL" ||
  fail "sqlite: the run over the whole file"
a=$("$FRPTOOL" text "$W/removed.frp" | md5sum)
b=$("$FRPTOOL" text "$W/whole.frp" | md5sum)
[ "$a" = "$b" ] || fail "sqlite removed: the pages differ from a run over the file left alone"
echo "ok: sqlite removed: $("$FRPTOOL" info "$W/removed.frp" | grep pages)"

# ------------------------------------------------------------ CSV
{
  echo 'ID,CUSTOMER,CITY,AMOUNT,CITY_COUNT'
  for i in $(seq 1 3000); do echo "$i,\"Cliente $((i % 37))\",\"Cidade $((i / 1000))\",$i.5,1000"; done
} >"$W/orders.csv"
head -c $(( $(stat -c %s "$W/orders.csv") - 28 )) "$W/orders.csv" >"$W/cut.csv"
start_run --dataset "Orders=csv:$W/cut.csv"
finish_run "$(now)" 20
expect_failure "csv cut short" "ends inside a quoted field of record 3000"

[ $failures = 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "every fault of the data ended the run clearly"
