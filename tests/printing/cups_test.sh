#!/bin/bash
# Prints through frptool on a real CUPS spooler: a private cupsd with a
# cups-pdf queue, and what came out read back with poppler's tools.
# Exits 77 (skipped) when no spooler can be started here.
set -u
FRPTOOL=${1:?usage: cups_test.sh FRPTOOL FRPGEN}
FRPGEN=${2:-}
SKIP=77

for tool in cupsd lpadmin lpstat pdfinfo pdftotext; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit $SKIP; }
done
[ -x /usr/lib/cups/backend/cups-pdf ] || { echo "SKIP: cups-pdf missing"; exit $SKIP; }
PPD=$(ls /usr/share/ppd/cups-pdf/CUPS-PDF_noopt.ppd /usr/share/ppd/cups-pdf/*.ppd 2>/dev/null | head -1)
[ -n "$PPD" ] || { echo "SKIP: no cups-pdf PPD"; exit $SKIP; }
[ "$(id -u)" = 0 ] || { echo "SKIP: a private cupsd with cups-pdf needs root"; exit $SKIP; }

T=$(mktemp -d /tmp/orv-cups.XXXXXX)
mkdir -p "$T/etc/ppd" "$T/spool/tmp" "$T/log" "$T/run" "$T/cache" "$T/bin/backend" "$T/out" "$T/frp"
chmod 0777 "$T/out"
# The spooler's own programs, plus a backend that keeps each job's data.
for d in filter daemon cgi-bin monitor notifier driver; do
  [ -e /usr/lib/cups/$d ] && ln -s /usr/lib/cups/$d "$T/bin/$d"
done
ln -s /usr/lib/cups/backend/cups-pdf "$T/bin/backend/cups-pdf"
cat > "$T/bin/backend/save" <<BACKEND
#!/bin/sh
[ \$# -eq 0 ] && { echo 'file save "Unknown" "Keep job data"'; exit 0; }
if [ -n "\$6" ]; then cat "\$6"; else cat; fi > "$T/out/job-\$1.ps"
echo "\$4" > "$T/out/job-\$1.copies"
exit 0
BACKEND
chmod 0755 "$T/bin/backend/save"
chmod 0755 "$T" "$T/etc"
chmod 0710 "$T/spool"
chgrp lp "$T/spool" "$T/spool/tmp" 2>/dev/null
chmod 1770 "$T/spool/tmp"
SOCK="$T/run/cups.sock"
cat > "$T/etc/cupsd.conf" <<CONF
Listen $SOCK
LogLevel info
MaxLogSize 0
WebInterface No
Browsing No
PreserveJobFiles Yes
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
cat > "$T/etc/cups-files.conf" <<CONF
User lp
Group lp
SystemGroup root
ServerRoot $T/etc
RequestRoot $T/spool
TempDir $T/spool/tmp
StateDir $T/run
CacheDir $T/cache
AccessLog $T/log/access_log
ErrorLog $T/log/error_log
PageLog $T/log/page_log
ServerBin $T/bin
FileDevice Yes
CONF

cleanup() {
  if [ -n "${CUPSD_PID:-}" ]; then kill "$CUPSD_PID" 2>/dev/null; wait "$CUPSD_PID" 2>/dev/null; fi
  [ -n "${ORV_KEEP_CUPS_DIR:-}" ] || rm -rf "$T"
}
trap cleanup EXIT

cupsd -f -c "$T/etc/cupsd.conf" -s "$T/etc/cups-files.conf" &
CUPSD_PID=$!
export CUPS_SERVER="$SOCK"
for i in $(seq 50); do [ -S "$SOCK" ] && lpstat -r >/dev/null 2>&1 && break; sleep 0.1; done
if ! lpstat -r >/dev/null 2>&1; then
  echo "SKIP: cupsd did not start"; cat "$T/log/error_log" 2>/dev/null | tail -5; exit $SKIP
fi
echo "cupsd up at $SOCK"

fail=0
check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected [$2], got [$3]"; fail=1; fi
}

lpadmin -p pdf -v save:/ -P "$PPD" -E || { echo "FAIL lpadmin"; exit 1; }
lpadmin -p cupspdf -v cups-pdf:/ -P "$PPD" -E || { echo "FAIL lpadmin cups-pdf"; exit 1; }
lpadmin -d pdf

if [ -z "$FRPGEN" ] || ! "$FRPGEN" "$T/frp"; then echo "FAIL: could not write the test reports"; exit 1; fi

# Waits until the spooler has finished every job, then lists the kept jobs'
# files in job order (one file per spooled document).
jobs_done() {
  for i in $(seq 300); do
    [ -z "$(lpstat -o 2>/dev/null)" ] && break
    sleep 0.1
  done
  sleep 0.2
}
new_jobs() {  # the job files written since the last call
  jobs_done
  local all; all=$(ls "$T/out" 2>/dev/null | grep '\.ps$' | sed 's/job-\([0-9]*\)\.ps/\1/' | sort -n)
  local j; for j in $all; do
    if ! grep -qx "$j" "$T/seen" 2>/dev/null; then echo "$j"; echo "$j" >> "$T/seen"; fi
  done
}
# What the program handed to the spooler (kept in the spool) and what the
# queue's driver produced from it (PostScript, kept by the backend).
pdf_of() { printf '%s/spool/d%05d-001' "$T" "$1"; }
pages_of() { pdfinfo "$(pdf_of "$1")" 2>/dev/null | awk '/^Pages:/ {print $2}'; }
driver_pages_of() { grep -c '^%%Page:' "$T/out/job-$1.ps"; }
copies_of() { cat "$T/out/job-$1.copies"; }
sheets_of() { awk -v j="$1" '$3==j && $6=="total" {print $7; exit}' "$T/log/page_log"; }
# The page numbers printed on the job's pages, in order.
texts_of() {
  local pdf; pdf=$(pdf_of "$1")
  pdftotext -layout "$pdf" - 2>/dev/null | grep -o 'Pagina [0-9]*' | awk '{print $2}' | paste -sd, -
}
sizes_of() {
  local pdf; pdf=$(pdf_of "$1")
  pdfinfo -f 1 -l 100 "$pdf" 2>/dev/null | awk '/^Page +[0-9]+ size:/ {printf "%s%dx%d", sep, $4+0.5, $6+0.5; sep=","}'
}
run_print() {  # run_print NAME ARGS...: prints and returns frptool's status
  local name=$1; shift
  "$FRPTOOL" print "$@" > "$T/stdout" 2> "$T/stderr"
  local rc=$?
  [ $rc = 0 ] || { echo "     frptool print $*: status $rc"; cat "$T/stderr"; }
  return $rc
}

# The printers and their papers as the printer model sees them.
"$FRPTOOL" printers > "$T/printers" 2>&1
check "printers lists the queues" "yes" "$(grep -q '^pdf (current)' "$T/printers" && grep -q '^cupspdf' "$T/printers" && echo yes)"
check "printers lists A4 by its paper code" "yes" "$(grep -qE '^    9 ' "$T/printers" && echo yes)"
check "the virtual printer comes last" "Impressora Virtual" "$(grep -v '^ ' "$T/printers" | tail -1)"

# Every page, in order, one document.
run_print all "$T/frp/pages.frp"
J=$(new_jobs)
check "all pages: one document" "1" "$(echo "$J" | grep -c .)"
check "all pages: six pages" "6" "$(pages_of $J)"
check "all pages: order" "1,2,3,4,5,6" "$(texts_of $J)"
check "progress on standard error" "6" "$(grep -c 'Imprimindo página:' "$T/stderr")"

# Page lists.
run_print list "$T/frp/pages.frp" --pages "1, 3,5-"
J=$(new_jobs)
check "page list 1,3,5-: pages" "1,3,5,6" "$(texts_of $J)"
run_print range "$T/frp/pages.frp" --pages "1-3-5"
J=$(new_jobs)
check "page list 1-3-5: pages" "3,4,5" "$(texts_of $J)"

# Odd and even pages.
run_print even "$T/frp/pages.frp" --pages 1-4 --even
J=$(new_jobs)
check "even pages of 1-4" "2,4" "$(texts_of $J)"
run_print odd "$T/frp/pages.frp" --odd
J=$(new_jobs)
check "odd pages" "1,3,5" "$(texts_of $J)"

# Collated copies are sent page by page in one document of single copies.
run_print collated "$T/frp/pages.frp" --pages 1-2 --copies 3 --collate
J=$(new_jobs)
check "collated: one document" "1" "$(echo "$J" | grep -c .)"
check "collated: order" "1,2,1,2,1,2" "$(texts_of $J)"
check "collated: one copy asked of the driver" "1" "$(copies_of $J)"
check "collated: the driver got six pages" "6" "$(driver_pages_of $J)"

# Uncollated copies are left to the spooler: each page once, three copies asked.
run_print uncollated "$T/frp/pages.frp" --pages 1-2 --copies 3
J=$(new_jobs)
check "uncollated: one document" "1" "$(echo "$J" | grep -c .)"
check "uncollated: each page sent once" "1,2" "$(texts_of $J)"
check "uncollated: three copies asked of the driver" "3" "$(copies_of $J)"
check "uncollated: the driver got each page once" "2" "$(driver_pages_of $J)"
check "uncollated: the spooler counts six sheets" "6" "$(sheets_of $J)"

# Zero copies print once.
run_print zero "$T/frp/pages.frp" --pages 2 --copies 0
J=$(new_jobs)
check "copies 0 prints once" "2" "$(texts_of $J)"

# A change of paper starts a further document.
run_print mixed "$T/frp/mixed.frp"
J=$(new_jobs)
check "mixed papers: one document per run of equal paper" "3" "$(echo "$J" | grep -c .)"
set -- $J
check "mixed: first document is A4" "595x842,595x842" "$(sizes_of $1)"
check "mixed: second document is Letter" "612x792,612x792" "$(sizes_of $2)"
check "mixed: third document is A4 landscape" "842x595" "$(sizes_of $3)"
check "mixed: pages in order" "1,2|3,4|5" "$(texts_of $1)|$(texts_of $2)|$(texts_of $3)"

# A page list that is not valid prints nothing.
"$FRPTOOL" print "$T/frp/pages.frp" --pages "1,,2" > /dev/null 2> "$T/stderr"
rc=$?
check "bad page list fails" "2" "$rc"
check "bad page list names the piece" "yes" "$(grep -q "falta um número: há um trecho vazio" "$T/stderr" && echo yes)"
check "bad page list sends nothing" "" "$(new_jobs)"

# The same report through the real cups-pdf backend.
title="orv-cups-test-$$"
home=$(getent passwd "$(id -un)" | cut -d: -f6)
run_print cupspdf "$T/frp/pages.frp" --printer cupspdf --pages 2-3 --title "$title"
jobs_done
out=$(ls "$home"/PDF/*"$title"*.pdf 2>/dev/null | head -1)
if [ -n "$out" ]; then
  check "cups-pdf: two pages" "2" "$(pdfinfo "$out" | awk '/^Pages:/ {print $2}')"
  check "cups-pdf: A4" "595 x 842" "$(pdfinfo "$out" | awk '/^Page size:/ {print $3, $4, $5}')"
  rm -f "$out"
else
  echo "FAIL cups-pdf wrote no file"; tail -5 "$T/log/error_log"; fail=1
fi

# Printed barcodes scan: the page through cups-pdf, rasterised at 384 dpi.
if command -v zbarimg >/dev/null && command -v pdftoppm >/dev/null; then
  title="orv-cups-codes-$$"
  run_print barcodes "$T/frp/barcodes.frp" --printer cupspdf --title "$title"
  jobs_done
  out=$(ls "$home"/PDF/*"$title"*.pdf 2>/dev/null | head -1)
  if [ -n "$out" ]; then
    pdftoppm -r 384 -gray -png -singlefile "$out" "$T/codes" 2>/dev/null
    check "cups-pdf: printed barcodes scan" "4006381333931,ORVALEN 39,Orvalen 1.0" \
      "$(zbarimg -q --raw "$T/codes.png" 2>/dev/null | sort | paste -sd, -)"
    rm -f "$out"
  else
    echo "FAIL cups-pdf wrote no barcode file"; fail=1
  fi
else
  echo "skip printed barcodes: zbarimg or pdftoppm missing"
fi

# With no printer at all the print command does nothing, and the virtual
# printer still serves the layout.
lpadmin -x pdf; lpadmin -x cupspdf
"$FRPTOOL" print "$T/frp/pages.frp" > /dev/null 2> "$T/stderr"
check "no printer: print fails and says why" "2" "$?"
check "no printer: nothing spooled" "" "$(new_jobs)"
check "no printer: the virtual printer alone" "Impressora Virtual" "$("$FRPTOOL" printers | grep -v '^ ' | sed 's/ (current)$//')"
check "no printer: A4 laid out on the virtual printer" "758x1071" "$("$FRPTOOL" info --json "$T/frp/pages.frp" | grep -o '"paperWidthPx":[0-9]*,"paperHeightPx":[0-9]*' | head -1 | sed 's/[^0-9,]//g; s/,/x/')"

[ $fail = 0 ] && echo "all CUPS checks passed"
exit $fail
