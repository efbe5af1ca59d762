# A private CUPS spooler for the printing tests, sourced by them: its own
# folder, Unix socket, HOME and XDG folders, and a "save" backend that keeps
# each job's data in $T/out. Exits 77 (skipped) when none can be started here.
# After sourcing: T, SOCK, CUPS_SERVER, start_cupsd and stop_cupsd; the
# spooler is stopped and the folder removed when the test exits.
SKIP=77
for tool in cupsd lpadmin lpstat ipptool pdfinfo pdftotext; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit $SKIP; }
done
[ -x /usr/lib/cups/backend/cups-pdf ] || { echo "SKIP: cups-pdf missing"; exit $SKIP; }
PPD=$(ls /usr/share/ppd/cups-pdf/CUPS-PDF_noopt.ppd /usr/share/ppd/cups-pdf/*.ppd 2>/dev/null | head -1)
[ -n "$PPD" ] || { echo "SKIP: no cups-pdf PPD"; exit $SKIP; }
[ "$(id -u)" = 0 ] || { echo "SKIP: a private cupsd with cups-pdf needs root"; exit $SKIP; }

T=$(mktemp -d /tmp/orv-cups.XXXXXX)
# cups-pdf writes into the home the password file names; everything else
# (lpoptions, settings) comes from a home of the test's own, so that the
# user's default printer cannot change what the test sees.
home=$(getent passwd "$(id -un)" | cut -d: -f6)
export HOME="$T/home" XDG_CONFIG_HOME="$T/home/.config" XDG_DATA_HOME="$T/home/.local/share"
mkdir -p "$HOME/.cups" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
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
echo "\$5" > "$T/out/job-\$1.options"
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
# State reaches the disk at once, so a spooler killed by a test comes back
# with its queues.
DirtyCleanInterval 0
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

stop_cupsd() {
  if [ -n "${CUPSD_PID:-}" ]; then
    kill -CONT "$CUPSD_PID" 2>/dev/null
    kill "$CUPSD_PID" 2>/dev/null
    wait "$CUPSD_PID" 2>/dev/null
  fi
  CUPSD_PID=
}
cleanup() {
  stop_cupsd
  [ -n "${ORV_KEEP_CUPS_DIR:-}" ] || rm -rf "$T"
}
trap cleanup EXIT

export CUPS_SERVER="$SOCK"
start_cupsd() {  # returns 1 when the spooler does not answer
  cupsd -f -c "$T/etc/cupsd.conf" -s "$T/etc/cups-files.conf" &
  CUPSD_PID=$!
  for i in $(seq 50); do [ -S "$SOCK" ] && lpstat -r >/dev/null 2>&1 && return 0; sleep 0.1; done
  lpstat -r >/dev/null 2>&1
}
if ! start_cupsd; then
  echo "SKIP: cupsd did not start"; tail -5 "$T/log/error_log" 2>/dev/null; exit $SKIP
fi
echo "cupsd up at $SOCK"
