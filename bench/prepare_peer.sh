#!/bin/sh
# The band engine against ReportLab on one master-detail report over SQLite
# (10,000 orders, 100,000 items, two group levels): our preparation and the
# peer's layout into a PDF alternate in one run; medians, ratio ours / peer.
#
#   bench/prepare_peer.sh [BUILD_DIR] [WORK_DIR]
#
# BUILD_DIR is a Release build with -DORV_BENCH=ON holding prepare_bench
# (default: build-bench). Needs python3-reportlab (Debian's, run by
# /usr/bin/python3). RUNS sets the number of alternations (default 5).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build-bench}" && pwd)
WORK=${2:-/tmp/orv-bench-prepare}
RUNS=${RUNS:-5}
PY=/usr/bin/python3
$PY -c 'import reportlab' 2>/dev/null || { echo "missing python3-reportlab" >&2; exit 2; }
mkdir -p "$WORK"
cd "$WORK"
export QT_QPA_PLATFORM=offscreen
[ -s orders.db ] || "$BUILD/bench/prepare_bench" orders.db --orders 10000 --items-per-order 10 >/dev/null
: >ours.jsonl
: >peer.jsonl
i=0
while [ $i -lt "$RUNS" ]; do
  "$BUILD/bench/prepare_bench" orders.db --out orders.frp >>ours.jsonl
  $PY "$ROOT/bench/prepare_reportlab.py" orders.db orders.pdf >>peer.jsonl
  i=$((i + 1))
done
$PY - ours.jsonl peer.jsonl "$(stat -c %s orders.frp)" <<'PYEOF'
import json, statistics, sys
ours = [json.loads(l) for l in open(sys.argv[1])]
peer = [json.loads(l) for l in open(sys.argv[2])]
med = lambda rows, k: statistics.median(r[k] for r in rows)
o, p = med(ours, "seconds"), med(peer, "seconds")
print("ours: %d pages in %.2f s (%.0f pages/s), peak RSS %.0f MB, page store %.1f MB unpacked, "
      "%.1f MB as a packed file" % (ours[0]["pages"], o, ours[0]["pages"] / o,
      med(ours, "peak_rss_MB"), ours[0]["store_MB"], int(sys.argv[3]) / 1048576))
print("ReportLab: %d pages in %.2f s (%.0f pages/s), peak RSS %.0f MB"
      % (peer[0]["pages"], p, peer[0]["pages"] / p, med(peer, "peak_rss_MB")))
print("time ratio ours / ReportLab: %.3f (medians of %d)" % (o / p, len(ours)))
PYEOF
