#!/bin/sh
# Export of the 10,000-page report to every format against the peers that
# read our PDF of it: pdftotext -layout (text) and mutool convert -F html
# (web page). One run of each, in the same session; wall time and peak
# memory from /usr/bin/time, and our time / peer time.
#
#   bench/export_peers.sh [BUILD_DIR] [WORK_DIR]
#
# BUILD_DIR holds a Release frptool and frpgen (default: build-bench);
# WORK_DIR keeps the report and its PDF between runs (default: /tmp/orv-bench).
set -eu

TOOLS="mutool pdftotext /usr/bin/time"
. "$(dirname "$0")/peers_setup.sh"

# Prints "seconds peak-KiB" of one command.
measure() {
  /usr/bin/time -f '%e %M' -o time.out "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  cat time.out
}

pdftotext_run=$(measure pdftotext -layout big.pdf peer.txt)
mutool_run=$(measure mutool convert -F html -o peer.html big.pdf)
printf '%-34s %9s %11s %9s\n' "command ($PAGES pages)" seconds "peak MiB" "vs peer"
row() {
  name=$1 run=$2 peer=$3
  set -- $run
  secs=$1 kib=$2
  if [ -n "$peer" ]; then
    ratio=$(echo "$secs $peer" | awk '{printf "%.2f", $1 / $2}')
  else
    ratio=-
  fi
  printf '%-34s %9s %11s %9s\n' "$name" "$secs" "$(echo "$kib" | awk '{printf "%.0f", $1 / 1024}')" "$ratio"
}
peer_text=$(echo "$pdftotext_run" | cut -d' ' -f1)
peer_html=$(echo "$mutool_run" | cut -d' ' -f1)
row "pdftotext -layout big.pdf" "$pdftotext_run" ""
row "mutool convert -F html big.pdf" "$mutool_run" ""
row "frptool export -o big.txt" "$(measure "$FRPTOOL" export big.frp -o big.txt)" "$peer_text"
row "frptool export -o big.html" "$(measure "$FRPTOOL" export big.frp -o big.html)" "$peer_html"
row "frptool export -o big.csv" "$(measure "$FRPTOOL" export big.frp -o big.csv)" "$peer_text"
row "frptool export -o big.xlsx" "$(measure "$FRPTOOL" export big.frp -o big.xlsx)" "$peer_text"
