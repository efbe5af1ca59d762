#!/usr/bin/env bash
# The exports judged by other programs: openpyxl and LibreOffice read the
# spreadsheet of a listing the engine prepared over SQLite data made here,
# pdftotext -layout reads our PDF beside the text export, and a browser draws
# the web page beside frptool render. Exit 77 when the judge cannot start.
# usage: oracle_test.sh MODE FRPTOOL FRPGEN   (MODE: openpyxl|libreoffice|text|browser)
set -euo pipefail
mode=$1 frptool=$2 frpgen=$3
py=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data \
  XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
cd "$work"

skip() {
  echo "SKIP: $*" >&2
  exit 77
}

# The records, written once as SQLite rows and once as the expected values.
make_listing() {
  "$py" - <<'PY'
import datetime, json, random, sqlite3
r = random.Random(26)
names = ["Ana", "Bruno", "Carla", "Débora", "Élio", "Fábio", "Gústavo", "Helena"]
rows = []
for i in range(140):
    day = datetime.date(2026, 1, 1) + datetime.timedelta(days=r.randrange(330))
    rows.append({"code": f"{r.randrange(100000):06d}", "customer": f"{r.choice(names)} {i}",
                 "day": day.isoformat(), "qty": r.randrange(1, 900),
                 "amount": round(r.uniform(-80, 9000), 2)})
db = sqlite3.connect("sales.db")
db.execute("CREATE TABLE sales(code TEXT, customer TEXT, day DATE, qty INTEGER, amount REAL)")
db.executemany("INSERT INTO sales VALUES(:code, :customer, :day, :qty, :amount)", rows)
db.commit()
json.dump(rows, open("rows.json", "w"))
PY
  "$frpgen" sales.frf --template --band sales
  "$frptool" prepare sales.frf -o sales.frp --db "sqlite:$work/sales.db" --dataset \
    'Sales=SELECT code AS CODE, customer AS CUSTOMER, day AS DAY, qty AS QTY, amount AS AMOUNT FROM sales ORDER BY rowid'
}

case $mode in
  openpyxl)
    "$py" -c 'import openpyxl' 2>/dev/null || skip "python3-openpyxl is not installed"
    make_listing
    "$frptool" export sales.frp -o sales.xlsx
    "$frptool" export sales.frp -o pages.xlsx --sheet-per-page
    "$frptool" export sales.frp -o sales.csv
    "$frptool" export sales.frp -o semi.csv --separator ';'
    "$py" - <<'PY'
import csv, datetime, json, openpyxl
rows = json.load(open("rows.json"))
ws = openpyxl.load_workbook("sales.xlsx").active
got = list(ws.iter_rows(values_only=True))
# The title and the column titles once, the records, the totals; the page
# headers and footers of the other pages are left out.
assert got[0][0] == "Vendas do período", got[0]
assert got[1] == ("Código", "Cliente", "Data", "Qtde", "Valor"), got[1]
data = got[2:2 + len(rows)]
for want, have in zip(rows, data):
    assert have[0] == want["code"] and isinstance(have[0], str), (want, have)
    assert have[1] == want["customer"], (want, have)
    assert have[2] == datetime.datetime.fromisoformat(want["day"]), (want, have)
    assert have[3] == want["qty"] and isinstance(have[3], int), (want, have)
    assert isinstance(have[4], (int, float)) and abs(have[4] - want["amount"]) < 1e-9, (want, have)
total = got[2 + len(rows)]
assert total[1] == "Total geral", total
assert total[3] == sum(r["qty"] for r in rows), total
assert abs(total[4] - round(sum(r["amount"] for r in rows), 2)) < 1e-6, total
assert len(got) == 3 + len(rows), [g for g in got[3 + len(rows):]]
assert ws.cell(3, 3).is_date and ws.cell(3, 3).number_format == "dd/mm/yyyy"
assert ws.cell(3, 5).number_format == "0.00", ws.cell(3, 5).number_format
assert ws.cell(1, 1).font.b, "the title keeps its bold"
assert ws.cell(3, 5).alignment.horizontal == "right"
# One sheet per page keeps every page whole.
wb = openpyxl.load_workbook("pages.xlsx")
assert len(wb.sheetnames) >= 3 and wb.sheetnames[0] == "Página 1", wb.sheetnames
for name in wb.sheetnames:
    first = next(wb[name].iter_rows(values_only=True))
    assert first[0] == "Vendas do período", (name, first)
# CSV: the same table, quoted where RFC 4180 asks.
lines = list(csv.reader(open("sales.csv", newline="", encoding="utf-8")))
assert lines[1] == ["Código", "Cliente", "Data", "Qtde", "Valor"], lines[1]
for want, have in zip(rows, lines[2:]):
    assert have == [want["code"], want["customer"], want["day"], str(want["qty"]),
                    repr(want["amount"]).rstrip("0").rstrip(".") if "." in repr(want["amount"]) else repr(want["amount"])], (want, have)
semi = list(csv.reader(open("semi.csv", newline="", encoding="utf-8"), delimiter=";"))
assert semi[2][4] == lines[2][4].replace(".", ","), (semi[2], lines[2])
print("openpyxl: %d records, totals and formats as the report has them" % len(rows))
PY
    ;;
  libreoffice)
    command -v soffice >/dev/null || skip "LibreOffice is not installed"
    make_listing
    "$frptool" export sales.frp -o sales.xlsx
    # 44 commas, 34 quotes, 76 UTF-8; the values as stored, not as shown.
    timeout 300 soffice --headless --norestore "-env:UserInstallation=file://$work/lo" \
      --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,false' \
      --outdir out sales.xlsx >lo.log 2>&1 || true
    [ -s out/sales.csv ] || { cat lo.log >&2; skip "LibreOffice could not convert"; }
    "$py" - <<'PY'
import csv, datetime, json
rows = json.load(open("rows.json"))
lines = list(csv.reader(open("out/sales.csv", newline="", encoding="utf-8")))
assert lines[1] == ["Código", "Cliente", "Data", "Qtde", "Valor"], lines[1]
for want, have in zip(rows, lines[2:]):
    day = datetime.date.fromisoformat(want["day"]).strftime("%d/%m/%Y")
    assert have[0] == want["code"], (want, have)
    assert have[1] == want["customer"], (want, have)
    assert have[2] == day, (want, have)
    assert int(have[3]) == want["qty"], (want, have)
    assert abs(float(have[4].replace(",", "")) - want["amount"]) < 0.005, (want, have)
total = lines[2 + len(rows)]
assert int(total[3]) == sum(r["qty"] for r in rows), total
assert abs(float(total[4].replace(",", "")) - sum(r["amount"] for r in rows)) < 0.01, total
print("LibreOffice: %d records and the totals read back" % len(rows))
PY
    ;;
  text)
    command -v pdftotext >/dev/null || skip "pdftotext is not installed"
    make_listing
    "$frpgen" sample.frp --pages 3
    for f in sales sample; do
      "$frptool" export $f.frp -o $f.txt
      "$frptool" pdf $f.frp -o $f.pdf
      pdftotext -layout $f.pdf $f.pdf.txt
      "$py" - $f.txt $f.pdf.txt <<'PY'
import re, sys
ours, theirs = (open(p, encoding="utf-8").read() for p in sys.argv[1:3])
def pages(t):
    return [p for p in t.split("\f") if p.strip()]
def fields(page):
    # Lines with their fields (texts two or more blanks apart), in order.
    return [re.split(r"\s{2,}", l.strip()) for l in page.splitlines() if l.strip()]
a, b = pages(ours), pages(theirs)
assert len(a) == len(b), (len(a), len(b))
for n, (x, y) in enumerate(zip(a, b), 1):
    fx, fy = fields(x), fields(y)
    assert fx == fy, "page %d differs:\n%s" % (n, "\n".join(
        "ours   %r\ntheirs %r" % (p, q) for p, q in zip(fx, fy) if p != q)[:3000])
    # Texts that pdftotext puts in one column stay in one column here.
    starts = {}
    lx_ = [l for l in x.splitlines() if l.strip()]
    ly_ = [l for l in y.splitlines() if l.strip()]
    for lx, ly in zip(lx_, ly_):
        sx = [m.end() - 1 for m in re.finditer(r"(?:^|\s{2,})\S", lx)]
        sy = [m.end() - 1 for m in re.finditer(r"(?:^|\s{2,})\S", ly)]
        assert len(sx) == len(sy), (lx, ly)
        for p, q in zip(sx, sy):
            starts.setdefault(q, []).append(p)
    for q, ps in starts.items():
        assert max(ps) - min(ps) <= 2, "pdftotext column %d is spread over %s here" % (q, sorted(set(ps)))
print("%s: %d pages as pdftotext -layout reads them" % (sys.argv[1], len(a)))
PY
    done
    ;;
  browser)
    browser=$(command -v chromium || command -v chromium-browser || true)
    [ -n "$browser" ] || skip "chromium is not installed"
    command -v compare >/dev/null || skip "ImageMagick is not installed"
    make_listing
    "$frpgen" sample.frp --pages 2
    for f in sample sales; do
      "$frptool" export $f.frp -o $f.html
      # Self-contained: nothing the browser would fetch.
      if grep -Eo '(src|href)="[a-z]+:' $f.html | grep -v 'data:' | head -1 | grep -q .; then
        echo "$f.html refers to something outside itself" >&2
        exit 1
      fi
      if grep -Eqi 'https?://' $f.html; then
        echo "$f.html holds a web address" >&2
        exit 1
      fi
      size=$(grep -o 'class="page" style="width:[0-9]*px;height:[0-9]*px' $f.html | head -1 |
        sed 's/.*width:\([0-9]*\)px;height:\([0-9]*\)px/\1,\2/')
      [ -n "$size" ] || { echo "no page in $f.html" >&2; exit 1; }
      timeout 120 "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars \
        --force-device-scale-factor=1 --user-data-dir="$work/chromium" \
        --proxy-server=127.0.0.1:9 --proxy-bypass-list='<-loopback>' --no-first-run \
        --run-all-compositor-stages-before-draw --virtual-time-budget=10000 \
        --screenshot="$work/$f.browser.png" --window-size="$size" "file://$work/$f.html" \
        >browser.log 2>&1 || true
      [ -s $f.browser.png ] || { cat browser.log >&2; skip "chromium could not start"; }
      # The HTML is at 96 dpi; the report's pixels are 93/1.015 to the inch.
      "$frptool" render $f.frp -p 1 --zoom 104.774 -o $f.render.png
      "$py" - $f "$size" <<'PY'
import subprocess, sys
name, size = sys.argv[1], sys.argv[2]
w, h = map(int, size.split(","))
def ident(p):
    return subprocess.check_output(["identify", "-format", "%w,%h", p]).decode()
assert ident(name + ".browser.png") == ident(name + ".render.png") == size, (
    ident(name + ".browser.png"), ident(name + ".render.png"), size)
# Pixels alike after a small blur: at least 97 %.
for p in ("browser", "render"):
    subprocess.check_call(["convert", "%s.%s.png" % (name, p), "-blur", "0x1",
                           "%s.%s.blur.png" % (name, p)])
r = subprocess.run(["compare", "-metric", "AE", "-fuzz", "12%", name + ".browser.blur.png",
                    name + ".render.blur.png", "null:"], capture_output=True, text=True)
differ = float(r.stderr.split()[0])
share = 1 - differ / (w * h)
assert share >= 0.97, "%s: only %.2f %% of pixels alike" % (name, share * 100)
# The texts in the same places: the ink of the page in both, row by row and
# column by column, within two pixels.
def profile(p, axis):
    out = subprocess.check_output(["convert", p, "-colorspace", "gray", "-threshold", "60%",
                                   "-negate", "-scale", ("1x%d!" % h) if axis == "y" else ("%dx1!" % w),
                                   "-compress", "none", "pgm:-"]).decode().split()
    return [int(v) for v in out[4:]]
for axis in ("x", "y"):
    a, b = profile(name + ".browser.png", axis), profile(name + ".render.png", axis)
    def shift(s):
        n = len(a)
        return sum(abs(a[i] - b[i + s]) for i in range(max(0, -s), min(n, n - s)))
    best = min(range(-2, 3), key=shift)
    far = min(shift(s) for s in range(-12, 13) if abs(s) > 2)
    assert shift(best) <= far, (axis, best)
print("%s: %.2f %% of pixels alike, texts in place" % (name, share * 100))
PY
    done
    ;;
  *)
    echo "usage: $0 openpyxl|libreoffice|text|browser FRPTOOL FRPGEN" >&2
    exit 64
    ;;
esac
