#!/usr/bin/env bash
# Asks XFCE's thumbnail service (tumbler, over a private D-Bus session) for a
# thumbnail of a file, with the thumbnailer entries and MIME types of the
# given XDG data folder, and waits for it in the given cache folder.
# Usage: tumbler_thumbnail.sh FILE MIME DATA_HOME CACHE_HOME
# Prints the thumbnail's path and exits 0 when one was made; 77 when tumbler
# or D-Bus is missing; 1 otherwise.
set -u
file=$1 mime=$2 data=$3 cache=$4
tumblerd=$(ls /usr/lib/*/tumbler-1/tumblerd 2>/dev/null | head -1)
[ -n "$tumblerd" ] && command -v dbus-run-session >/dev/null && command -v gdbus >/dev/null ||
  { echo "tumbler or D-Bus missing"; exit 77; }
mkdir -p "$cache/home" "$cache/config"
# Nothing of the user's own: a home and folders of its own.
export HOME=$cache/home XDG_CONFIG_HOME=$cache/config
export XDG_DATA_HOME=$data XDG_CACHE_HOME=$cache XDG_DATA_DIRS=$data:/usr/share
export FILE_URI="file://$(realpath "$file")" MIME=$mime
# The session bus starts the service itself, as a desktop session does.
exec dbus-run-session -- bash -c '
  for _ in $(seq 20); do
    gdbus call --session --dest org.freedesktop.thumbnails.Thumbnailer1 \
      --object-path /org/freedesktop/thumbnails/Thumbnailer1 \
      --method org.freedesktop.thumbnails.Thumbnailer1.Queue \
      "[\"$FILE_URI\"]" "[\"$MIME\"]" normal default 0 >/dev/null 2>&1 && break
    sleep 0.3
  done
  # The service writes a picture under a passing name and then renames it to
  # the one the thumbnail rules give (the MD5 of the URI): only that one is
  # whole. A loaded machine once caught the passing name half written.
  made=$XDG_CACHE_HOME/thumbnails/normal/$(printf %s "$FILE_URI" | md5sum | cut -d" " -f1).png
  for _ in $(seq 60); do
    [ -s "$made" ] && { echo "$made"; exit 0; }
    sleep 0.3
  done
  echo "no thumbnail made"
  exit 1'
