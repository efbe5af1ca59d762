#!/usr/bin/env bash
# Starts the real reader under Xvfb on a generated report, waits for its
# window, takes a screenshot and checks that the page area shows a page:
# grey background, a white page and dark text on it. Then it finds a text of
# the page's title through the find dialog, as a user would, and checks that
# the hit is marked: its inverted rectangle turns the title's white dark.
# Usage: screenshot_test.sh READER FRPGEN [KEEP_PNG]
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
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
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

command -v xdotool >/dev/null || { echo "SKIP: xdotool missing, find hit not checked"; exit 0; }
# Dark pixels in the top band of the page, where the report's title is.
title_dark() {
  convert "$1" -crop 100%x20%+0+60 +repage -colorspace gray -threshold 50% -negate \
    -format '%[fx:int(mean*w*h)]' info:
}
before=$(title_dark "$shot")
win=$(xdotool search --sync --onlyvisible --pid $app 2>/dev/null | head -1)
[ -n "$win" ] || { echo "the reader's window was not found"; exit 1; }
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
