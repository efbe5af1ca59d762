#!/bin/bash
# Prints through frptool on a real CUPS spooler: a private cupsd with a
# cups-pdf queue, and what came out read back with poppler's tools.
# Exits 77 (skipped) when no spooler can be started here.
set -u
FRPTOOL=${1:?usage: cups_test.sh FRPTOOL FRPGEN}
FRPGEN=${2:-}
. "$(dirname "$0")/private_cupsd.sh"

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
check "progress on standard error: each page as it is prepared" "6" "$(grep -c '^Preparando página:  [1-6]$' "$T/stderr")"
check "progress on standard error: what was sent, once sent" 'Enviadas à impressora "pdf": 6 páginas.' "$(tail -1 "$T/stderr")"

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
# The job begins on the first page's paper; when the first page printed is on
# another, that empty start must not come out as a blank sheet.
run_print "mixed from page 4" "$T/frp/mixed.frp" --pages 4-5
J=$(new_jobs)
check "mixed from page 4: no blank document first" "2" "$(echo "$J" | grep -c .)"
set -- $J
check "mixed from page 4: Letter, then A4 landscape" "612x792|842x595" "$(sizes_of $1)|$(sizes_of $2)"

# A page list that is not valid prints nothing.
"$FRPTOOL" print "$T/frp/pages.frp" --pages "1,,2" > /dev/null 2> "$T/stderr"
rc=$?
check "bad page list fails" "2" "$rc"
check "bad page list names the piece" "yes" "$(grep -q "falta um número: há um trecho vazio" "$T/stderr" && echo yes)"
check "bad page list sends nothing" "" "$(new_jobs)"

# The same report through the real cups-pdf backend.
title="orv-cups-test-$$"
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

# A reversed range is refused before anything is sent.
"$FRPTOOL" print "$T/frp/pages.frp" --pages "3-1,2" > /dev/null 2> "$T/stderr"
check "reversed range fails" "2" "$?"
check "reversed range says what to write" "yes" "$(grep -q 'O intervalo 3-1 está invertido: escreva 1-3.' "$T/stderr" && echo yes)"
check "reversed range sends nothing" "" "$(new_jobs)"

# A page that cannot be drawn leaves no job at all, not even the pages before it.
known=$(lpstat -W all -o 2>/dev/null | wc -l)
"$FRPTOOL" print "$T/frp/broken.frp" > /dev/null 2> "$T/stderr"
check "damaged page fails" "2" "$?"
check "damaged page: the error names the page" "frptool: Nada foi impresso: a página 2 não pôde ser desenhada (tipo de objeto desconhecido: TfrNoSuchView)." "$(tail -1 "$T/stderr")"
check "damaged page: no line claims a page was printed or sent" "" "$(grep -E 'Imprimindo|Enviad' "$T/stderr")"
check "damaged page: nothing spooled" "" "$(new_jobs)"
check "damaged page: no job at the spooler" "$known" "$(lpstat -W all -o 2>/dev/null | wc -l)"
check "damaged page: no temporary file left" "" "$(ls /tmp/orvalen-impressao-* 2>/dev/null | head -1)"

# A queue with two trays and a two-sided unit, on the backend that keeps jobs.
cat > "$T/trays.ppd" <<'PPD'
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "ORVTRAYS.PPD"
*Manufacturer: "Orvalen"
*Product: "(Orvalen Bandejas)"
*ModelName: "Orvalen Bandejas"
*ShortNickName: "Orvalen Bandejas"
*NickName: "Orvalen Bandejas"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: True
*DefaultColorSpace: RGB
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*OpenUI *PageSize/Page Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]/ImagingBBox null>>setpagedevice"
*PageSize Letter/Letter: "<</PageSize[612 792]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: A4
*PageRegion A4/A4: "<</PageSize[595 842]/ImagingBBox null>>setpagedevice"
*PageRegion Letter/Letter: "<</PageSize[612 792]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: A4
*ImageableArea A4/A4: "18 18 577 824"
*ImageableArea Letter/Letter: "18 18 594 774"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
*PaperDimension Letter/Letter: "612 792"
*OpenUI *InputSlot/Bandeja: PickOne
*OrderDependency: 20 AnySetup *InputSlot
*DefaultInputSlot: Upper
*InputSlot Upper/Bandeja 1: "<</MediaPosition 0>>setpagedevice"
*InputSlot Lower/Bandeja 2: "<</MediaPosition 1>>setpagedevice"
*CloseUI: *InputSlot
*OpenUI *Duplex/Frente e verso: PickOne
*OrderDependency: 30 AnySetup *Duplex
*DefaultDuplex: None
*Duplex None/Desligado: "<</Duplex false>>setpagedevice"
*Duplex DuplexNoTumble/Borda longa: "<</Duplex true/Tumble false>>setpagedevice"
*Duplex DuplexTumble/Borda curta: "<</Duplex true/Tumble true>>setpagedevice"
*CloseUI: *Duplex
*OpenUI *ColorModel/Cor: PickOne
*OrderDependency: 10 AnySetup *ColorModel
*DefaultColorModel: RGB
*ColorModel RGB/Colorido: "<</ProcessColorModel /DeviceRGB>>setpagedevice"
*ColorModel Gray/Tons de cinza: "<</ProcessColorModel /DeviceGray>>setpagedevice"
*CloseUI: *ColorModel
*OpenGroup: Acabamento/Acabamento
*OpenUI *OrvGrampo/Grampear: PickOne
*OrderDependency: 40 AnySetup *OrvGrampo
*DefaultOrvGrampo: Nenhum
*OrvGrampo Nenhum/Sem grampo: "% sem grampo"
*OrvGrampo Canto/No canto: "% grampo no canto"
*CloseUI: *OrvGrampo
*CloseGroup: Acabamento
*DefaultFont: Courier
*Font Courier: Standard "(002.004S)" Standard ROM
PPD
lpadmin -p bandejas -v save:/ -P "$T/trays.ppd" -E || { echo "FAIL lpadmin bandejas"; exit 1; }
"$FRPTOOL" printers > "$T/printers" 2>&1
check "printers lists the trays as bins" "yes" "$(awk '/^bandejas/ {on=1; next} /^[^ ]/ {on=0} on' "$T/printers" | grep -q '^    1 Bandeja superior' && awk '/^bandejas/ {on=1; next} /^[^ ]/ {on=0} on' "$T/printers" | grep -q '^    2 Bandeja inferior' && echo yes)"

check "printers lists what the queue offers" "    sides (Frente e verso): one-sided* two-sided-long-edge two-sided-short-edge" "$(awk '/^bandejas/ {on=1; next} /^[^ ]/ {on=0} on' "$T/printers" | grep '^    sides ')"
slot_of() { grep -o '^%%BeginFeature: \*InputSlot [A-Za-z]*' "$T/out/job-$1.ps" | head -1 | awk '{print $3}'; }
duplex_of() { grep -o '^%%BeginFeature: \*Duplex [A-Za-z]*' "$T/out/job-$1.ps" | head -1 | awk '{print $3}'; }
has_option() { tr ' ' '\n' < "$T/out/job-$1.options" | grep -qx "$2" && echo yes; }
# A job attribute as the spooler keeps it, read back over IPP.
job_attr() {
  local sock; sock=$(printf '%s' "$SOCK" | sed 's|/|%2F|g')
  cat > "$T/get-job.test" <<TEST
{
  OPERATION Get-Job-Attributes
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri job-uri \$uri
  ATTR name requesting-user-name $(id -un)
  ATTR keyword requested-attributes all,media-col,media-source
  DISPLAY $2
  DISPLAY media-col
}
TEST
  ipptool -t "ipp://$sock/jobs/$1" "$T/get-job.test" > "$T/ipp-$1.out" 2>&1
  sed -n "s/^ *$2 ([^)]*) = //p; s/^ *media-col ([^)]*) = .*$2=\([a-z0-9-]*\).*/\1/p" "$T/ipp-$1.out" | head -1
}

run_print trays "$T/frp/trays.frp" --printer bandejas --sides two-sided-long-edge
J=$(new_jobs)
check "trays: one document per tray" "2" "$(echo "$J" | grep -c .)"
set -- $J
check "trays: pages in order" "1,2|3,4" "$(texts_of $1)|$(texts_of $2)"
check "trays: each document carries its tray" "top|bottom" "$(job_attr $1 media-source)|$(job_attr $2 media-source)"
check "trays: each document carries two-sided printing" "two-sided-long-edge|two-sided-long-edge" "$(job_attr $1 sides)|$(job_attr $2 sides)"
check "trays: the spooler asks the driver for each tray" "yes|yes" "$(has_option $1 InputSlot=Upper)|$(has_option $2 InputSlot=Lower)"
check "trays: the driver feeds from each tray" "Upper|Lower" "$(slot_of $1)|$(slot_of $2)"
check "trays: two-sided on both documents" "yes|yes" "$(has_option $1 sides=two-sided-long-edge)|$(has_option $2 sides=two-sided-long-edge)"
check "trays: the driver prints both sides" "DuplexNoTumble|DuplexNoTumble" "$(duplex_of $1)|$(duplex_of $2)"

run_print tray "$T/frp/trays.frp" --printer bandejas --option media-source=bottom
J=$(new_jobs)
set -- $J
check "tray chosen by the user: every document from it" "yes|yes" "$(has_option $1 InputSlot=Lower)|$(has_option $2 InputSlot=Lower)"

run_print gray "$T/frp/pages.frp" --printer bandejas --pages 1 --gray --sides one-sided --option print-quality=5
J=$(new_jobs)
check "gray: greyscale asked" "yes" "$(has_option $J print-color-mode=monochrome)"
check "gray: one-sided asked" "yes" "$(has_option $J sides=one-sided)"
check "gray: the other option goes with the job" "yes" "$(has_option $J print-quality=5)"
check "gray: the pages' tray, none, is left to the queue" "" "$(tr ' ' '\n' < "$T/out/job-$J.options" | grep '^InputSlot=')"

# An option of the queue's driver, by the driver's own names.
check "printers lists the driver's own options" "    OrvGrampo (Grampear): Nenhum* Canto" "$(awk '/^bandejas/ {on=1; next} /^[^ ]/ {on=0} on' "$T/printers" | grep '^    OrvGrampo ')"
run_print staple "$T/frp/pages.frp" --printer bandejas --pages 1 --option OrvGrampo=Canto
J=$(new_jobs)
check "driver option: goes with the job" "yes" "$(has_option $J OrvGrampo=Canto)"
check "driver option: reaches the driver" "yes" "$(grep -q '^%%BeginFeature: \*OrvGrampo Canto' "$T/out/job-$J.ps" && echo yes)"
"$FRPTOOL" print "$T/frp/pages.frp" --printer bandejas --option OrvGrampo=Lateral > /dev/null 2> "$T/stderr"
check "driver option: a choice it lacks is refused" "2" "$?"
check "driver option: refused before anything is sent" "" "$(new_jobs)"

# Paper and orientation chosen for the printer, several choices at once, and
# a two-sided unit its administrator marked as not installed.
cat > "$T/opcoes.ppd" <<'PPD'
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "ORVOPC.PPD"
*Manufacturer: "Orvalen"
*Product: "(Orvalen Opcoes)"
*ModelName: "Orvalen Opcoes"
*ShortNickName: "Orvalen Opcoes"
*NickName: "Orvalen Opcoes"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: True
*DefaultColorSpace: RGB
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*OpenGroup: InstallableOptions/Opcoes instalaveis
*OpenUI *OptionDuplex/Duplexer Installed: Boolean
*DefaultOptionDuplex: False
*OptionDuplex True/Installed: ""
*OptionDuplex False/Not Installed: ""
*CloseUI: *OptionDuplex
*CloseGroup: InstallableOptions
*UIConstraints: *OptionDuplex False *Duplex
*UIConstraints: *Duplex *OptionDuplex False
*OpenUI *PageSize/Page Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]/ImagingBBox null>>setpagedevice"
*PageSize A5/A5: "<</PageSize[420 595]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: A4
*PageRegion A4/A4: "<</PageSize[595 842]/ImagingBBox null>>setpagedevice"
*PageRegion A5/A5: "<</PageSize[420 595]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: A4
*ImageableArea A4/A4: "18 18 577 824"
*ImageableArea A5/A5: "18 18 402 577"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
*PaperDimension A5/A5: "420 595"
*OpenUI *Duplex/Frente e verso: PickOne
*OrderDependency: 30 AnySetup *Duplex
*DefaultDuplex: None
*Duplex None/Desligado: "<</Duplex false>>setpagedevice"
*Duplex DuplexNoTumble/Borda longa: "<</Duplex true/Tumble false>>setpagedevice"
*Duplex DuplexTumble/Borda curta: "<</Duplex true/Tumble true>>setpagedevice"
*CloseUI: *Duplex
*OpenGroup: Acabamento/Acabamento
*OpenUI *OrvFuros/Furar: PickMany
*OrderDependency: 40 AnySetup *OrvFuros
*DefaultOrvFuros: Esquerda
*OrvFuros Esquerda/Na esquerda: "% furo esquerda"
*OrvFuros Topo/No topo: "% furo topo"
*OrvFuros Direita/Na direita: "% furo direita"
*CloseUI: *OrvFuros
*CloseGroup: Acabamento
*DefaultFont: Courier
*Font Courier: Standard "(002.004S)" Standard ROM
PPD
lpadmin -p opcoes -v save:/ -P "$T/opcoes.ppd" -E 2>/dev/null || { echo "FAIL lpadmin opcoes"; exit 1; }
"$FRPTOOL" printers > "$T/printers" 2>&1
opcoes_line() { awk '/^opcoes/ {on=1; next} /^[^ ]/ {on=0} on' "$T/printers" | grep "^    $1 "; }
check "printers: the papers the queue lists, first as the report says" '    media (Papel): ""* iso_a5_148x210mm iso_a4_210x297mm' "$(opcoes_line media)"
check "printers: portrait and landscape, first as the report says" '    orientation-requested (Orientação): ""* 3 4' "$(opcoes_line orientation-requested)"
check "printers: two-sided shown, but not installed" "    sides (Frente e verso): one-sided* two-sided-long-edge(not installed) two-sided-short-edge(not installed)" "$(opcoes_line sides)"
check "printers: several choices at once" "    OrvFuros (Furar) [several]: Esquerda* Topo Direita" "$(opcoes_line OrvFuros)"
check "printers: what is installed, as set" "    OptionDuplex (Duplexer Installed) [installed]: True False*" "$(opcoes_line OptionDuplex)"
check "printers: a paper the queue names only by keyword, named for the user" "yes" "$("$FRPTOOL" printers --json | grep -q '"value":"iso_a5_148x210mm","label":"A5 (148 x 210 mm)"' && echo yes)"
media_of() { job_attr "$1" media; }
orientation_of() { job_attr "$1" orientation-requested; }
ps_size_of() { grep -a -m1 '^%%PageBoundingBox:' "$T/out/job-$1.ps" | awk '{print $4 "x" $5}'; }
ps_paper_of() { grep -a -o -m1 '^%%BeginFeature: \*PageSize [A-Za-z0-9]*' "$T/out/job-$1.ps" | awk '{print $3}'; }

run_print a5 "$T/frp/mixed.frp" --printer opcoes --option media=iso_a5_148x210mm --option orientation-requested=4
J=$(new_jobs)
check "A5 landscape: every paper on one sheet size, one document" "1" "$(echo "$J" | grep -c .)"
check "A5 landscape: the job asks for A5" "iso_a5_148x210mm" "$(media_of $J)"
check "A5 landscape: the job asks for landscape" "landscape" "$(orientation_of $J)"
check "A5 landscape: the pages sent are A5 landscape" "595x420,595x420,595x420,595x420,595x420" "$(sizes_of $J)"
check "A5 landscape: pages in order" "1,2,3,4,5" "$(texts_of $J)"
check "A5 landscape: the driver feeds A5" "A5|420x595" "$(ps_paper_of $J)|$(ps_size_of $J)"
run_print as-report "$T/frp/mixed.frp" --printer opcoes --pages 4-5
J=$(new_jobs)
set -- $J
check "as the report says: each page its own paper" "612x792|842x595" "$(sizes_of $1)|$(sizes_of $2)"
check "as the report says: the job asks for each" "na_letter_8.5x11in portrait|iso_a4_210x297mm landscape" "$(media_of $1) $(orientation_of $1)|$(media_of $2) $(orientation_of $2)"

"$FRPTOOL" print "$T/frp/pages.frp" --printer opcoes --sides two-sided-long-edge > /dev/null 2> "$T/stderr"
check "two-sided without the unit installed fails" "2" "$?"
check "two-sided without the unit: says why" "yes" "$(grep -q 'not installed' "$T/stderr" && echo yes)"
"$FRPTOOL" print "$T/frp/pages.frp" --printer opcoes --option OptionDuplex=True > /dev/null 2> "$T/stderr"
check "what is installed is not a job option" "2" "$?"
check "refused before anything is sent" "" "$(new_jobs)"
run_print furos "$T/frp/pages.frp" --printer opcoes --pages 1 --option OrvFuros=Topo,Direita
J=$(new_jobs)
check "several choices: go with the job as one list" "yes" "$(has_option $J OrvFuros=Topo,Direita)"
run_print furo "$T/frp/pages.frp" --printer opcoes --pages 1 --option OrvFuros=Topo
J=$(new_jobs)
check "one of several choices: reaches the driver" "yes" "$(grep -q '^%%BeginFeature: \*OrvFuros Topo' "$T/out/job-$J.ps" && echo yes)"
"$FRPTOOL" print "$T/frp/pages.frp" --printer opcoes --option OrvFuros=Topo,Lateral > /dev/null 2>&1
check "several choices: one it lacks is refused" "2" "$?"

# The choices the reader remembers for the printer, in its own settings.
settings="$XDG_CONFIG_HOME/ReportEngine/Sistema Orvalen Report Reader.conf"
mkdir -p "$(dirname "$settings")"
printf '[OpcoesDaImpressora]\nopcoes=media=iso_a5_148x210mm, orientation-requested=4, OrvFuros=Topo\n' > "$settings"
run_print saved "$T/frp/pages.frp" --printer opcoes --pages 1
J=$(new_jobs)
check "remembered choices: used" "iso_a5_148x210mm landscape 595x420" "$(media_of $J) $(orientation_of $J) $(sizes_of $J)"
check "remembered choices: the driver's own too" "yes" "$(has_option $J OrvFuros=Topo)"
run_print saved-over "$T/frp/pages.frp" --printer opcoes --pages 1 --option orientation-requested=3
J=$(new_jobs)
check "remembered choices: the command line's come first" "iso_a5_148x210mm portrait 420x595" "$(media_of $J) $(orientation_of $J) $(sizes_of $J)"
run_print saved-ignored "$T/frp/pages.frp" --printer opcoes --pages 1 --no-saved-options
J=$(new_jobs)
check "--no-saved-options: the report's own paper" "iso_a4_210x297mm portrait 595x842" "$(media_of $J) $(orientation_of $J) $(sizes_of $J)"
check "--no-saved-options: nor the driver's" "" "$(has_option $J OrvFuros=Topo)"
run_print saved-other "$T/frp/pages.frp" --printer bandejas --pages 1
J=$(new_jobs)
check "remembered choices: only for their printer" "iso_a4_210x297mm 595x842" "$(media_of $J) $(sizes_of $J)"
# Without --printer, on the default queue: the reports here were laid out on
# the virtual printer, and the choices must reach the queue the job goes to.
lpadmin -d opcoes
run_print saved-default "$T/frp/pages.frp" --pages 1
J=$(new_jobs)
check "remembered choices: on the default printer too" "iso_a5_148x210mm landscape" "$(media_of $J) $(orientation_of $J)"
run_print options-default "$T/frp/pages.frp" --pages 1 --no-saved-options --gray --option media=iso_a5_148x210mm
J=$(new_jobs)
check "options on the default printer: taken" "iso_a5_148x210mm portrait yes" "$(media_of $J) $(orientation_of $J) $(has_option $J print-color-mode=monochrome)"
check "options on the default printer: says where the pages went" 'Enviada à impressora "opcoes": 1 página.' "$(tail -1 "$T/stderr")"
lpadmin -d pdf
rm -f "$settings"

"$FRPTOOL" print "$T/frp/pages.frp" --printer bandejas --sides two-sided-long-edge --gray --color > /dev/null 2>&1
check "--color and --gray exclude each other" "64" "$?"
"$FRPTOOL" print "$T/frp/pages.frp" --printer pdf --sides two-sided-long-edge > /dev/null 2> "$T/stderr"
check "two-sided on a queue without it fails" "2" "$?"
check "two-sided refused: nothing spooled" "" "$(new_jobs)"
"$FRPTOOL" print "$T/frp/pages.frp" --printer bandejas --option print-color-mode=roxo > /dev/null 2> "$T/stderr"
check "a value the queue does not offer fails" "2" "$?"
check "a value the queue does not offer is named" "yes" "$(grep -q 'print-color-mode=roxo' "$T/stderr" && echo yes)"

# The user's default names the queue as the spooler compares names: without
# regard to case, listed under the queue's own name, found by --printer.
lpadmin -p escritorio -v save:/ -P "$PPD" -E || { echo "FAIL lpadmin escritorio"; exit 1; }
echo "Default ESCRITORIO" > "$HOME/.cups/lpoptions"
"$FRPTOOL" printers > "$T/printers" 2>&1
check "lpoptions default: listed under the queue's own name" "escritorio (current)" "$(grep -i '^escritorio' "$T/printers")"
check "lpoptions default: no other queue is current" "1" "$(grep -c '(current)' "$T/printers")"
run_print lpdefault "$T/frp/pages.frp" --pages 1
J=$(new_jobs)
check "lpoptions default: the job goes to that queue" "escritorio" "$(awk -v j="$J" '$3==j {print $1; exit}' "$T/log/page_log")"
for name in escritorio ESCRITORIO; do
  run_print "by name $name" "$T/frp/pages.frp" --printer "$name" --pages 1
  J=$(new_jobs)
  check "--printer $name finds the queue" "escritorio" "$(awk -v j="$J" '$3==j {print $1; exit}' "$T/log/page_log")"
done
rm -f "$HOME/.cups/lpoptions"

# With no printer at all the print command does nothing, and the virtual
# printer still serves the layout.
lpadmin -x pdf; lpadmin -x cupspdf; lpadmin -x bandejas; lpadmin -x escritorio; lpadmin -x opcoes
"$FRPTOOL" print "$T/frp/pages.frp" > /dev/null 2> "$T/stderr"
check "no printer: print fails and says why" "2" "$?"
check "no printer: nothing spooled" "" "$(new_jobs)"
check "no printer: the virtual printer alone" "Impressora Virtual" "$("$FRPTOOL" printers | grep -v '^ ' | sed 's/ (current)$//')"
check "no printer: A4 laid out on the virtual printer" "758x1071" "$("$FRPTOOL" info --json "$T/frp/pages.frp" | grep -o '"paperWidthPx":[0-9]*,"paperHeightPx":[0-9]*' | head -1 | sed 's/[^0-9,]//g; s/,/x/')"

[ $fail = 0 ] && echo "all CUPS checks passed"
exit $fail
