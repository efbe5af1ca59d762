#!/usr/bin/env bash
# Starts the real reader under Xvfb on a generated report, waits for its
# window, takes a screenshot and checks that the page area shows a page:
# grey background, a white page and dark text on it.
# Usage: screenshot_test.sh READER FRPGEN [KEEP_PNG]
set -u
reader=$1
frpgen=$2
keep=${3:-}
command -v Xvfb >/dev/null && command -v import >/dev/null || { echo "SKIP: Xvfb or ImageMagick missing"; exit 77; }
work=$(mktemp -d)
trap 'kill $app $xvfb 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
"$frpgen" "$work/teste.frp" --pages 3 || exit 1
display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
export DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
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
