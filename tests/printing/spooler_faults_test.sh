#!/bin/bash
# The spooler fails under frptool print: cupsd killed or hung while a
# 500-page report is on its way, a paused queue and a queue that rejects
# jobs. Each must end with a clear Portuguese message (exit 2 on failure),
# no job of ours half queued, no temporary file left, and the next print
# going through. Exits 77 (skipped) when no spooler can be started here.
set -u
FRPTOOL=${1:?usage: spooler_faults_test.sh FRPTOOL FRPGEN FIXTURE}
FRPGEN=${2:?}
FIXTURE=${3:?}
. "$(dirname "$0")/private_cupsd.sh"
# The print's temporary PDFs go here, where no other run's can be mistaken for ours.
export TMPDIR="$T/tmp"
mkdir -p "$TMPDIR"

fail=0
check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected [$2], got [$3]"; fail=1; fi
}
yes_if() { "$@" && echo yes; }

lpadmin -p escritorio -v save:/ -P "$PPD" -E || { echo "FAIL lpadmin"; exit 1; }
lpadmin -d escritorio
"$FIXTURE" "$T/frp" >/dev/null || { echo "FAIL: could not write the test reports"; exit 1; }
"$FRPGEN" "$T/frp/big.frp" --pages 500 >/dev/null || { echo "FAIL: frpgen"; exit 1; }

# Every job the spooler knows of, finished or not, with its state.
all_jobs() { lpstat -W all -o escritorio 2>/dev/null | awk '{print $1}'; }
waiting_jobs() { lpstat -W not-completed -o escritorio 2>/dev/null | awk '{print $1}'; }
temp_files() { ls "$TMPDIR" | grep -c 'orvalen-impressao'; }
wait_for_page() {  # wait_for_page N FILE: until frptool has drawn page N
  for i in $(seq 1200); do
    grep -q "Preparando página:  $1\$" "$2" 2>/dev/null && return 0
    kill -0 "$PRINT_PID" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}
# Starts frptool print in the background; PRINT_PID, output in $T/stderr.
start_print() {
  "$FRPTOOL" print "$@" > "$T/stdout" 2> "$T/stderr" &
  PRINT_PID=$!
}
finish_print() {  # the exit status of the print started last
  wait "$PRINT_PID"
}
# The last line but the progress: the pages prepared, and those sent.
last_line() { grep -v -e '^Preparando página:' -e '^Enviadas* à impressora' "$T/stderr" | tail -1; }
restart_cupsd() {
  stop_cupsd
  start_cupsd || { echo "FAIL: cupsd did not start again"; exit 1; }
}

before=$(all_jobs | wc -l)

# (a) The spooler is killed while the report is drawn: the job never reaches it.
start_print "$T/frp/big.frp" --title "relatorio-500"
if wait_for_page 100 "$T/stderr"; then
  kill -KILL "$CUPSD_PID"; wait "$CUPSD_PID" 2>/dev/null; CUPSD_PID=
  start=$(date +%s)
  finish_print; rc=$?
  echo "     killed spooler: frptool ended $(($(date +%s) - start)) s after the kill"
  check "killed spooler: exit 2" "2" "$rc"
  check "killed spooler: says nothing was printed and why" \
    "frptool: Nada foi impresso: o serviço de impressão (CUPS) não respondeu ao envio do trabalho à fila \"escritorio\"." \
    "$(last_line)"
  check "killed spooler: all 500 pages were drawn first" "yes" "$(yes_if grep -q 'Preparando página:  500$' "$T/stderr")"
  check "killed spooler: no temporary file left" "0" "$(temp_files)"
  restart_cupsd
  check "killed spooler: nothing of ours in the queue when it is back" "$before" "$(all_jobs | wc -l)"
else
  echo "FAIL killed spooler: frptool did not reach page 100"; cat "$T/stderr" | tail -3; fail=1
  kill "$PRINT_PID" 2>/dev/null; wait "$PRINT_PID" 2>/dev/null
fi

# (a) The spooler hangs (stopped, not dead) and is then killed: the program
# gives up after its timeout instead of waiting for ever.
start_print "$T/frp/big.frp" --title "relatorio-500"
if wait_for_page 400 "$T/stderr"; then
  kill -STOP "$CUPSD_PID"
  wait_for_page 500 "$T/stderr"
  start=$(date +%s)
  # Bounded here too, so that a hang fails the test instead of stalling it.
  for i in $(seq 900); do kill -0 "$PRINT_PID" 2>/dev/null || break; sleep 0.1; done
  waited=$(($(date +%s) - start))
  if kill -0 "$PRINT_PID" 2>/dev/null; then
    echo "FAIL hung spooler: frptool still waiting after 90 s"; fail=1
    kill "$PRINT_PID"
  fi
  finish_print; rc=$?
  echo "     hung spooler: frptool gave up $waited s after the last page"
  check "hung spooler: exit 2" "2" "$rc"
  check "hung spooler: says nothing was printed and why" \
    "frptool: Nada foi impresso: o serviço de impressão (CUPS) não respondeu ao envio do trabalho à fila \"escritorio\"." \
    "$(last_line)"
  check "hung spooler: no temporary file left" "0" "$(temp_files)"
  kill -KILL "$CUPSD_PID"; wait "$CUPSD_PID" 2>/dev/null; CUPSD_PID=
  restart_cupsd
  check "hung spooler: nothing of ours in the queue when it is back" "$before" "$(all_jobs | wc -l)"
else
  echo "FAIL hung spooler: frptool did not reach page 400"; fail=1
  kill "$PRINT_PID" 2>/dev/null; wait "$PRINT_PID" 2>/dev/null
fi

# After the spooler is back, printing works again.
"$FRPTOOL" print "$T/frp/pages.frp" --pages 1-2 > /dev/null 2> "$T/stderr"
check "spooler back: prints again" "0" "$?"
for i in $(seq 100); do [ -z "$(waiting_jobs)" ] && break; sleep 0.1; done
before=$(all_jobs | wc -l)

# (c) A queue that rejects jobs: refused before anything is sent.
cupsreject -r "manutenção" escritorio
"$FRPTOOL" print "$T/frp/pages.frp" > /dev/null 2> "$T/stderr"
check "rejecting queue: exit 2" "2" "$?"
check "rejecting queue: names the queue" \
  "frptool: Nada foi impresso: a fila de impressão \"escritorio\" não está aceitando trabalhos; peça ao administrador que volte a aceitá-los." \
  "$(last_line)"
check "rejecting queue: no job" "$before" "$(all_jobs | wc -l)"
check "rejecting queue: no temporary file left" "0" "$(temp_files)"
cupsaccept escritorio
"$FRPTOOL" print "$T/frp/pages.frp" --pages 1 > /dev/null 2> "$T/stderr"
check "accepting again: prints" "0" "$?"
for i in $(seq 100); do [ -z "$(waiting_jobs)" ] && break; sleep 0.1; done

# (b) A paused queue takes the job and keeps it until resumed: a note, not an error.
cupsdisable escritorio
"$FRPTOOL" print "$T/frp/pages.frp" --pages 1-3 > /dev/null 2> "$T/stderr"
check "paused queue: exit 0" "0" "$?"
check "paused queue: says where the job waits" \
  "Aviso: A fila de impressão \"escritorio\" está pausada: o trabalho ficou guardado nela e será impresso quando a fila for retomada." \
  "$(last_line)"
check "paused queue: the job waits in the queue" "1" "$(waiting_jobs | wc -l)"
check "paused queue: says the pages were sent" 'Enviadas à impressora "escritorio": 3 páginas.' "$(grep '^Enviad' "$T/stderr")"
cupsenable escritorio
for i in $(seq 100); do [ -z "$(waiting_jobs)" ] && break; sleep 0.1; done
check "resumed queue: the job printed" "" "$(waiting_jobs)"
check "paused queue: no temporary file left" "0" "$(temp_files)"

# A job of three documents whose second one the spooler turns away: the
# first, already taken, is withdrawn, so nothing of the job prints.
echo "MaxJobsPerPrinter 1" >> "$T/etc/cupsd.conf"
restart_cupsd
cupsdisable escritorio
before=$(all_jobs | wc -l)
"$FRPTOOL" print "$T/frp/mixed.frp" > /dev/null 2> "$T/stderr"
check "second document refused: exit 2" "2" "$?"
check "second document refused: says why" \
  "frptool: Nada foi impresso: a fila de impressão \"escritorio\" atingiu o limite de trabalhos ou a cota que aceita; tente de novo quando ela esvaziar." \
  "$(last_line)"
check "second document refused: the first is withdrawn" "" "$(waiting_jobs)"
check "second document refused: claims nothing was sent" "" "$(grep '^Enviad' "$T/stderr")"
check "second document refused: no temporary file left" "0" "$(temp_files)"
cupsenable escritorio

exit $fail
