#!/usr/bin/env bash
# Starts the real reader under Xvfb on a generated report, waits for its
# window, takes a screenshot and checks that the page area shows a page:
# grey background, a white page and dark text on it. Then, driven by xdotool
# like a user, it finds a text of the page's title through the find dialog and
# checks that the hit is marked (its inverted rectangle turns the title's white
# dark), opens the thumbnail panel (F4) and zooms to 400 % (Ctrl+plus), and
# checks each in a screenshot of its own. Before that, the shown file is
# replaced by a rename, as editors do, and the page shown must change to the
# new report's; at the end the window is made tall and narrow and "Página Inteira"
# must show the whole page, grey on both sides of it.
# Usage: screenshot_test.sh READER FRPGEN [KEEP_PNG]  (KEEP_PNG-find.png,
# KEEP_PNG-thumbs.png, KEEP_PNG-400.png, KEEP_PNG-reload.png and
# KEEP_PNG-whole.png are kept beside it)
set -u
reader=$1
frpgen=$2
keep=${3:-}
command -v Xvfb >/dev/null && command -v import >/dev/null || { echo "SKIP: Xvfb or ImageMagick missing"; exit 77; }
work=$(mktemp -d)
wm=
trap 'kill $app $wm $xvfb 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
"$frpgen" "$work/teste.frp" --pages 3 || exit 1
display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1280x1300x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
export DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
# A window manager, as a user has, when there is one.
if command -v openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 0.5
fi
"$reader" "$work/teste.frp" >"$work/reader.log" 2>&1 &
app=$!
shot=$work/shot.png
ok=
for _ in $(seq 60); do
  sleep 0.5
  kill -0 $app 2>/dev/null || { echo "the reader exited early:"; cat "$work/reader.log"; exit 1; }
  import -window root "$shot" 2>/dev/null || continue
  # The page area's grey, the page's white, and dark (text) pixels.
  grey=$(convert "$shot" -fill black +opaque '#808080' -fill white -opaque '#808080' \
    -format '%[fx:int(mean*w*h)]' info:)
  white=$(convert "$shot" -fill black +opaque white -format '%[fx:int(mean*w*h)]' info:)
  # Text: dark pixels in the middle of the screen, where the page lies (the
  # root window around the program is black too).
  dark=$(convert "$shot" -gravity center -crop 30%x30%+0+0 +repage -colorspace gray \
    -threshold 30% -negate -format '%[fx:int(mean*w*h)]' info:)
  if [ "$grey" -gt 20000 ] && [ "$white" -gt 100000 ] && [ "$dark" -gt 500 ]; then ok=1; break; fi
done
[ -n "$keep" ] && cp "$shot" "$keep"
if [ -z "$ok" ]; then
  echo "no page seen: grey=$grey white=$white dark=$dark"
  exit 1
fi
echo "page seen: grey=$grey white=$white dark=$dark"

command -v xdotool >/dev/null || { echo "xdotool missing: find, thumbnails and zoom not looked at"; exit 0; }
win=$(xdotool search --sync --onlyvisible --pid $app 2>/dev/null | head -1)
[ -n "$win" ] || { echo "the reader's window was not found"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$win")"
# Another report renamed onto the shown one: a new file under the old name,
# with other rows, so the page on screen must change.
"$frpgen" "$work/novo.frp" --pages 5 --seed 9 >/dev/null || exit 1
mv "$work/novo.frp" "$work/teste.frp"
reload=$work/reload.png
changed=0
for _ in $(seq 20); do
  sleep 0.3
  import -window root "$reload" 2>/dev/null || continue
  changed=$(compare -metric AE -fuzz 10% "$shot" "$reload" null: 2>&1 | cut -d' ' -f1)
  [ "${changed%.*}" -gt 5000 ] && break
done
[ -n "$keep" ] && cp "$reload" "${keep%.png}-reload.png"
[ "${changed%.*}" -gt 5000 ] || { echo "no reload after a rename: $changed pixels changed"; exit 1; }
echo "reloaded after a rename: $changed pixels changed"
shot=$reload
# Dark pixels in the top band of the page, where the report's title is.
title_dark() {
  convert "$1" -crop 100%x20%+0+60 +repage -colorspace gray -threshold 50% -negate \
    -format '%[fx:int(mean*w*h)]' info:
}
before=$(title_dark "$shot")
xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win"
xdotool key --clearmodifiers ctrl+f
sleep 1
xdotool type --delay 20 "Vendas por"
xdotool key Return
marked=
for _ in $(seq 20); do
  sleep 0.5
  import -window root "$shot" 2>/dev/null || continue
  after=$(title_dark "$shot")
  # "Vendas por" in the title is some 150 x 20 pixels, mostly white before.
  if [ "$after" -gt $((before + 1500)) ]; then marked=1; break; fi
done
[ -n "$keep" ] && cp "$shot" "${keep%.png}-find.png"
if [ -z "$marked" ]; then
  echo "no find hit marked: title dark pixels $before before, ${after:-?} after"
  exit 1
fi
echo "find hit marked: title dark pixels $before before, $after after"

# The window is named after the file it shows.
xdotool search --name 'teste\.frp' | grep -qx "$win" || { echo "no window named after the file"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$win")"
# White in a strip along the window's left edge: grey page area before, the
# white thumbnails once the panel is open.
strip() {
  convert "$1" -crop "80x400+$((X + 10))+$((Y + 120))" +repage -fill black +opaque white \
    -format '%[fx:int(mean*w*h)]' info:
}
before=$(strip "$shot")
xdotool key F4
thumbs=$work/thumbs.png
for _ in $(seq 20); do
  sleep 0.3
  import -window root "$thumbs" 2>/dev/null || continue
  after=$(strip "$thumbs")
  [ "$after" -gt $((before + 8000)) ] && break
done
[ -n "$keep" ] && cp "$thumbs" "${keep%.png}-thumbs.png"
[ "$after" -gt $((before + 8000)) ] || { echo "no thumbnail panel: white $before -> $after"; exit 1; }
echo "thumbnail panel seen: white in the left strip $before -> $after"

# 100 % -> 125, 150, 200, 300, 400 %. At 400 % the body text's tall letters
# stand 30 pixels and more; at 100 % not even the title's do.
for _ in 1 2 3 4 5; do xdotool key ctrl+plus; sleep 0.2; done
tall() {
  convert "$1" -crop "$((WIDTH - 220))x$((HEIGHT - 160))+$((X + 180))+$((Y + 100))" +repage \
    -colorspace gray -threshold 50% -negate -define connected-components:verbose=true \
    -define connected-components:area-threshold=20 -connected-components 8 null: 2>/dev/null |
    awk 'NR > 1 { split($2, a, "[x+]"); if (a[2] >= 30 && a[2] <= 120) n++ } END { print n + 0 }'
}
zoom=$work/zoom.png
for _ in $(seq 20); do
  sleep 0.3
  import -window root "$zoom" 2>/dev/null || continue
  letters=$(tall "$zoom")
  [ "$letters" -ge 5 ] && break
done
[ -n "$keep" ] && cp "$zoom" "${keep%.png}-400.png"
[ "$letters" -ge 5 ] || { echo "no 400 % zoom seen: $letters tall letters (at 100 %: $(tall "$shot"))"; exit 1; }
echo "400 % zoom seen: $letters letters 30 pixels or taller (at 100 %: $(tall "$shot"))"

# A tall, narrow window (a portrait monitor): out of the maximised state by a
# double click on the title bar (at the screen's top), then 700 x 1150, then "Exibir" › "Página Inteira".
xdotool mousemove $((X + WIDTH / 2)) 5 click --repeat 2 --delay 80 1
sleep 0.5
xdotool windowsize "$win" 700 1150
xdotool windowmove "$win" 20 40
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$win")"
[ "$WIDTH" -eq 700 ] && [ "$HEIGHT" -eq 1150 ] || { echo "the window could not be made 700x1150 (${WIDTH}x$HEIGHT)"; exit 1; }
xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win"
xdotool key --clearmodifiers alt+x
sleep 0.4
xdotool key Down Return
# Along a line through the window's middle: the page's white, and grey again
# to the right of its last white pixel (none when the page is cut off).
grey_right_of_page() {
  convert "$1" -crop "${WIDTH}x1+$X+$((Y + HEIGHT / 2))" +repage txt:- |
    awk -F'[,:]' 'NR > 1 { x = $1 + 0; if ($0 ~ /#FFFFFF/) last = x; if ($0 ~ /#808080/) grey[x] = 1 }
      END { n = 0; for (x in grey) if (x + 0 > last && last > 0) n++; print n + 0 }'
}
whole=$work/whole.png
for _ in $(seq 20); do
  sleep 0.3
  import -window root "$whole" 2>/dev/null || continue
  grey=$(grey_right_of_page "$whole")
  [ "$grey" -ge 5 ] && break
done
[ -n "$keep" ] && cp "$whole" "${keep%.png}-whole.png"
[ "$grey" -ge 5 ] || { echo "the whole page does not fit a 700x1150 window: $grey grey pixels right of it"; exit 1; }
echo "whole page fits a 700x1150 window: $grey grey pixels right of it"
