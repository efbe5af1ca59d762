#!/bin/bash
# Templates that ask for ever more: tens of millions of full pages or of
# records, a script that loops for ever, a split that never progresses, a
# chart fed by millions of records. Each run must stop with its own clear error (exit 2,
# no output) within the run's limits, and its peak memory, measured by
# /usr/bin/time, must stay below 500 MB, or below the bound given. The finished
# pages of a long run go to an unnamed temporary file, which must be gone too.
#   hostile_limits_test.sh FRPTOOL FRPGEN
set -u
FRPTOOL=${1:?usage: hostile_limits_test.sh FRPTOOL FRPGEN}
FRPGEN=${2:?}
export QT_QPA_PLATFORM=offscreen
[ -x /usr/bin/time ] || { echo "FAIL: /usr/bin/time is missing (Debian package time)"; exit 1; }
T=$(mktemp -d /tmp/orv-hostile.XXXXXX)
trap 'rm -rf "$T"' EXIT
trap 'exit 1' INT TERM HUP
export HOME=$T XDG_CONFIG_HOME=$T/.config XDG_DATA_HOME=$T/.local/share
mkdir -p "$T/tmp" "$T/run"
chmod 700 "$T/run"
export TMPDIR=$T/tmp XDG_RUNTIME_DIR=$T/run
LIMIT_S=300

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# KIND EXPECTED-MESSAGE [PEAK-MB [SECONDS]]
check() {
  local kind=$1 message=$2 limit_kb=$((${3:-500} * 1024)) limit_s=${4:-$LIMIT_S}
  "$FRPGEN" "$T/$kind.frf" --template --band "$kind" || { fail "$kind: frpgen"; return; }
  rm -f "$T/out.frp" "$T/out.pdf"
  timeout -s KILL "$limit_s" /usr/bin/time -f "%e %M" -o "$T/time" \
    "$FRPTOOL" prepare "$T/$kind.frf" -o "$T/out.frp" --pdf "$T/out.pdf" 2>"$T/err"
  local rc=$? err seconds kb
  err=$(grep -v -e '^QStandardPaths' "$T/err")
  read -r seconds kb < <(tail -n 1 "$T/time") || { fail "$kind: no time measured (killed after $limit_s s?)"; return; }
  [ $rc = 2 ] || fail "$kind: exit $rc, not 2: $err"
  case "$err" in
    *"$message"*) ;;
    *) fail "$kind: the message lacks \"$message\": $err" ;;
  esac
  [ "$kb" -lt "$limit_kb" ] || fail "$kind: peak memory $((kb / 1024)) MB"
  [ ! -e "$T/out.frp" ] && [ ! -e "$T/out.pdf" ] || fail "$kind: output written"
  [ -z "$(ls -A "$T/tmp")" ] || fail "$kind: left in the temporary folder: $(ls -A "$T/tmp")"
  echo "ok: $kind: ${seconds} s, peak $((kb / 1024)) MB: $(echo "$err" | tr '\n' ' ')"
}

# Pages without end go to the temporary file, so memory no longer stops them:
# endless pages run to the million-page limit in seconds, in no more memory
# than a long report's run (about 80 bytes a page), and full pages,
# which the count of records and bands lets run on as a long report's, to the
# 2 GB of packed pages a report file can hold, which takes many minutes: run
# that one with ORV_HOSTILE_PAGES=1. The byte limit itself is checked by the
# engine's tests with a small bound.
check endless-pages "passou de 1000000 páginas" 150 300
if [ -n "${ORV_HOSTILE_PAGES:-}" ]; then
  check dense-pages "passou de 2047 MB de p" 150 3600
fi
check endless-records "passou de 20000000 registros e faixas"
check endless-script "parece não terminar"
check stuck-split "a divisão da banda não avança"
check chart-points "passou de 200000 rótulos e valores"

[ $failures = 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "every hostile template stopped within the limits"
