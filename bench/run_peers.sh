#!/bin/sh
# Measures this program and its peers (mupdf, poppler) on the same reports in
# one run and prints our time / peer time. Medians throughout.
#
#   bench/run_peers.sh [BUILD_DIR] [WORK_DIR]
#
# BUILD_DIR is a Release build with -DORV_BENCH=ON holding frptool, frpgen,
# render_bench and scroll_bench (default: build-bench). WORK_DIR keeps the
# generated reports and PDFs between runs (default: /tmp/orv-bench).
# Needs mutool (mupdf-tools), pdftotext (poppler-utils) and hyperfine.
# SECTIONS picks what runs (default "1 2 3 4 5 6"); RUNS is hyperfine's run count
# for the short commands, SEARCH_RUNS for the search (each run takes minutes).
set -eu

RUNS=${RUNS:-10}
SEARCH_RUNS=${SEARCH_RUNS:-3}
SECTIONS=${SECTIONS:-1 2 3 4 5 6}
# The same pixel size as a page drawn at 100 %: one report pixel per pixel.
DPI=91.6256157635468
ABSENT=QXZJWKVQ
TOOLS="mutool pdftotext hyperfine"
. "$(dirname "$0")/peers_setup.sh"
RENDER_BENCH=$BUILD/bench/render_bench
SCROLL_BENCH=$BUILD/bench/scroll_bench

# A short report of the same kind for the single-page comparisons, so that
# both sides open a small file.
[ -s small.frp ] || "$FRPGEN" small.frp --pages 20 >/dev/null
[ -s small.pdf ] || "$FRPTOOL" pdf small.frp -o small.pdf
PAGE=$("$RENDER_BENCH" --densest small.frp)
echo "reports: big.frp $PAGES pages; small.frp 20 pages, densest page $PAGE"

# Median seconds of a hyperfine run, from its JSON export.
hmedian() {
  python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["median"])' "$1"
}
# Median real time of a Google Benchmark, in milliseconds.
gbmedian() {
  python3 -c '
import json,sys
d=json.load(open(sys.argv[1]))
for b in d["benchmarks"]:
    if b["name"].startswith(sys.argv[2]) and b.get("aggregate_name")=="median":
        print(b["real_time"]); break' "$1" "$2"
}
ratio() { python3 -c "import sys; print('%.2f' % (float(sys.argv[1])/float(sys.argv[2])))" "$1" "$2"; }
want() { case " $SECTIONS " in *" $1 "*) return 0 ;; esac; return 1; }

if want 1; then
echo
echo "== 1. dense page at 100 % into an image"
"$RENDER_BENCH" --report small.frp --page "$PAGE" --benchmark_filter=RenderDensePage \
  --benchmark_repetitions=5 --benchmark_out=render.json --benchmark_out_format=json \
  >/dev/null 2>&1
OURS=$(gbmedian render.json BM_RenderDensePage)
# mupdf in one process: the page drawn N times minus drawn once, so opening
# the file and starting the process cancel out.
N=20
LIST=$(python3 -c "print(','.join(['$PAGE']*$N))")
hyperfine -N -w 2 -r "$RUNS" --export-json mu1.json \
  "mutool draw -q -r $DPI -F pnm -o /dev/null small.pdf $PAGE" >/dev/null 2>&1
hyperfine -N -w 1 -r "$RUNS" --export-json muN.json \
  "mutool draw -q -r $DPI -F pnm -o /dev/null small.pdf $LIST" >/dev/null 2>&1
MU=$(python3 -c "import sys; print((float(sys.argv[2])-float(sys.argv[1]))/($N-1)*1000)" \
  "$(hmedian mu1.json)" "$(hmedian muN.json)")
printf "in-process draw: ours %.2f ms, mupdf %.2f ms per page, ratio %s\n" "$OURS" "$MU" \
  "$(ratio "$OURS" "$MU")"
hyperfine -N -w 2 -r "$RUNS" --export-json whole1.json \
  "$FRPTOOL render small.frp -p $PAGE -o ours.png" \
  "mutool draw -q -r $DPI -o mu.png small.pdf $PAGE" >/dev/null 2>&1
python3 - whole1.json <<'EOF'
import json, sys
r = json.load(open(sys.argv[1]))["results"]
a, b = r[0]["median"], r[1]["median"]
ca, cb = (r[i]["user"] + r[i]["system"] for i in (0, 1))
cpu = "; CPU (user+sys, mean) %.0f ms vs %.0f ms, ratio %.2f" % (ca * 1000, cb * 1000, ca / cb)
print("whole process (PNG written): frptool render %.1f ms, mutool draw %.1f ms, ratio %.2f%s"
      % (a * 1000, b * 1000, a / b, cpu))
EOF
python3 -c "
from PIL import Image
" 2>/dev/null && python3 -c "
from PIL import Image
print('image sizes: ours %s, mupdf %s' % (Image.open('ours.png').size, Image.open('mu.png').size))
" || file ours.png mu.png
fi

if want 2; then
echo
echo "== 2. every page built and drawn into metafiles"
"$RENDER_BENCH" --report big.frp --benchmark_filter=AllPagesToEmf \
  --benchmark_repetitions=3 --benchmark_out=emf.json --benchmark_out_format=json >/dev/null 2>&1
printf "%s pages into EMF: %.0f ms (median of 3x3)\n" "$PAGES" "$(gbmedian emf.json BM_AllPagesToEmf)"
fi

if want 3; then
echo
echo "== 3. searching for an absent text"
hyperfine -w 0 -r "$SEARCH_RUNS" -i --export-json find.json \
  "$FRPTOOL find big.frp $ABSENT" \
  "pdftotext big.pdf - | grep -c $ABSENT" >/dev/null 2>&1
python3 - find.json <<'EOF'
import json, sys
r = json.load(open(sys.argv[1]))["results"]
a, b = r[0]["median"], r[1]["median"]
ca, cb = (r[i]["user"] + r[i]["system"] for i in (0, 1))
cpu = "; CPU (user+sys, mean) %.0f ms vs %.0f ms, ratio %.2f" % (ca * 1000, cb * 1000, ca / cb)
print("frptool find %.0f ms, pdftotext | grep -c %.0f ms, ratio %.2f%s" % (a * 1000, b * 1000, a / b, cpu))
EOF
fi

if want 4; then
echo
echo "== 4. opening the report and painting its first page"
"$RENDER_BENCH" --report big.frp --benchmark_filter=OpenAndPaintFirstPage \
  --benchmark_repetitions=3 --benchmark_out=open.json --benchmark_out_format=json >/dev/null 2>&1
OPEN=$(gbmedian open.json BM_OpenAndPaintFirstPage)
hyperfine -N -w 2 -r "$RUNS" --export-json open_whole.json \
  "$FRPTOOL render big.frp -p 1 -o ours1.png" \
  "mutool draw -q -r $DPI -o mu1.png big.pdf 1" >/dev/null 2>&1
python3 - open_whole.json "$OPEN" <<'EOF'
import json, sys
r = json.load(open(sys.argv[1]))["results"]
a, b = r[0]["median"], r[1]["median"]
ca, cb = (r[i]["user"] + r[i]["system"] for i in (0, 1))
cpu = "; CPU (user+sys, mean) %.0f ms vs %.0f ms, ratio %.2f" % (ca * 1000, cb * 1000, ca / cb)
op = float(sys.argv[2]) / 1000
print("in-process open + lay out + paint (preview): %.0f ms; mutool draw page 1 (whole process) %.0f ms, ratio %.2f"
      % (op * 1000, b * 1000, op / b))
print("whole process: frptool render -p 1 %.0f ms, mutool draw page 1 %.0f ms, ratio %.2f%s"
      % (a * 1000, b * 1000, a / b, cpu))
EOF
fi

if want 5; then
echo
echo "== 5. memory while scrolling the preview from first to last page"
"$SCROLL_BENCH" --report big.frp --benchmark_out=scroll.json --benchmark_out_format=json >/dev/null 2>&1
python3 - scroll.json <<'EOF'
import json, sys
b = json.load(open(sys.argv[1]))["benchmarks"][0]
print("%d steps over %d pages in a %dx%d box, %.1f s: start RSS %.1f MB, peak %.1f MB, end %.1f MB, "
      "at most %d pages with live objects"
      % (b["steps"], b["pages"], b["box_w"], b["box_h"], b["real_time"] / 1000, b["start_rss_MB"],
         b["peak_rss_MB"], b["end_rss_MB"], b["max_live_pages"]))
EOF
fi

if want 6; then
echo
echo "== 6. searching again: the preview's cache of page texts"
# Repetitions interleaved at random, so that a change in the machine's load
# falls on all three alike.
"$RENDER_BENCH" --report big.frp --benchmark_filter=SearchAbsent \
  --benchmark_enable_random_interleaving=true \
  --benchmark_repetitions=3 --benchmark_out=search.json --benchmark_out_format=json >/dev/null 2>&1
python3 - search.json "$PAGES" <<'EOF'
import json, sys
med = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        med[b["run_name"].split("/")[0]] = b
def times(key):
    return tuple(med["BM_SearchAbsent" + n][key] for n in ("AsBefore", "First", "Repeated"))
for key, what in (("real_time", "wall"), ("cpu_time", "CPU")):
    none, first, again = times(key)
    print("%s pages, absent text, %s: search as before the cache %.0f ms; first search filling "
          "the cache %.0f ms, ratio %.2f to before; repeated %.1f ms, ratio %.3f to the first"
          % (sys.argv[2], what, none, first, first / none, again, again / first))
print("cache: %.1f MB" % med["BM_SearchAbsentRepeated"]["cache_MB"])
EOF
fi
