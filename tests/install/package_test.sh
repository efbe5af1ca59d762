#!/usr/bin/env bash
# Builds the Debian package as scripts/package.sh does and checks what it
# installs: the file list, the dependencies, the desktop entry, the ".frp"
# file type and default program in a private XDG environment, the installed
# reader's start-up association, the manual pages against frptool's own
# commands and options, the bash completion, and lintian's verdict.
# Usage: package_test.sh SOURCE_DIR
set -euo pipefail
src=$(realpath "$1")
tmp=$(mktemp -d)
reader_pid=
cleanup() {
  [ -z "$reader_pid" ] || kill "$reader_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

start=$(date +%s)
# ORV_PACKAGE_DEB checks a package built before instead of building one.
deb=${ORV_PACKAGE_DEB:-$(bash "$src/scripts/package.sh" "$tmp/out")}
echo "package built in $(($(date +%s) - start)) s: $(basename "$deb")"

# The package carries the program's own version.
version=$(sed -n 's/^project(OrvalenReader VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
[[ $(basename "$deb") == orvalen-reader_${version}_*.deb ]] ||
  fail "$(basename "$deb") is not version $version"

# Every file where the file-system hierarchy and the desktop expect it.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./|/|' | sort >"$tmp/files"
sort >"$tmp/expected" <<'LIST'
/usr/bin/frptool
/usr/bin/frptool-print
/usr/bin/orvalen-reader
/usr/share/applications/orvalen-reader.desktop
/usr/share/bash-completion/completions/frptool
/usr/share/doc/orvalen-reader/changelog.gz
/usr/share/doc/orvalen-reader/copyright
/usr/share/icons/hicolor/128x128/mimetypes/application-x-orvalen-report.png
/usr/share/icons/hicolor/16x16/mimetypes/application-x-orvalen-report.png
/usr/share/icons/hicolor/32x32/mimetypes/application-x-orvalen-report.png
/usr/share/icons/hicolor/48x48/mimetypes/application-x-orvalen-report.png
/usr/share/icons/hicolor/scalable/mimetypes/application-x-orvalen-report.svg
/usr/share/man/man1/frptool-print.1.gz
/usr/share/man/man1/frptool.1.gz
/usr/share/man/man1/orvalen-reader.1.gz
/usr/share/mime/packages/orvalen-reader.xml
/usr/share/thumbnailers/orvalen-reader.thumbnailer
LIST
diff -u "$tmp/expected" "$tmp/files" || fail "the package's file list differs (- expected, + built)"

# The libraries come from the programs themselves; the plugins Qt loads at run
# time cannot, so they are named.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 libqt6sql6 libcups2 \
  libjpeg62-turbo libpng16-16 libsqlite3-0 libqt6sql6-sqlite qt6-qpa-plugins; do
  grep -Eq "(^|[ ,])$lib([ ,(]|\$)" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

root=$tmp/root
dpkg-deb -x "$deb" "$root"
share=$root/usr/share
entry=$share/applications/orvalen-reader.desktop
validation=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate rejects the entry"
! grep -Eq 'warning|error' <<<"$validation" || fail "desktop-file-validate: $validation"
grep -qx 'Exec="/usr/bin/orvalen-reader" %f' "$entry" || fail "the entry does not start /usr/bin/orvalen-reader"
grep -q '/usr/bin/frptool' "$share/thumbnailers/orvalen-reader.thumbnailer" ||
  fail "the thumbnailer entry does not run /usr/bin/frptool"

# What the triggers of shared-mime-info and desktop-file-utils do on install.
update-mime-database "$share/mime"
update-desktop-database "$share/applications"
mkdir -p "$tmp/home"
private=(env -i PATH=/usr/bin:/bin HOME="$tmp/home" XDG_DATA_HOME="$tmp/home/.local/share"
  XDG_CONFIG_HOME="$tmp/home/.config" XDG_CACHE_HOME="$tmp/home/.cache"
  XDG_DATA_DIRS="$share:/usr/share" XDG_CONFIG_DIRS="$tmp/etc" XDG_CURRENT_DESKTOP=X-Generic)
printf '\x19\x01' >"$tmp/teste.frp"
type=$("${private[@]}" xdg-mime query filetype "$tmp/teste.frp")
[ "$type" = application/x-orvalen-report ] || fail "xdg-mime query filetype gives \"$type\""
default=$("${private[@]}" xdg-mime query default application/x-orvalen-report)
[ "$default" = orvalen-reader.desktop ] || fail "xdg-mime query default gives \"$default\""

# The installed reader keeps to the system's files: here the installed place
# is the unpacked one, named by an entry earlier in the search order.
mkdir -p "$tmp/system/applications"
sed "s|^Exec=.*|Exec=\"$root/usr/bin/orvalen-reader\" %f|" "$entry" \
  >"$tmp/system/applications/orvalen-reader.desktop"
reader_env=("${private[@]}" XDG_DATA_DIRS="$tmp/system:$share:/usr/share"
  QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$tmp/home")
"${reader_env[@]}" "$root/usr/bin/orvalen-reader" "$tmp/teste.frp" >"$tmp/reader.log" 2>&1 &
reader_pid=$!
for _ in $(seq 100); do
  grep -qs orvalen-reader.desktop "$tmp/home/.config/mimeapps.list" && break
  sleep 0.2
done
sleep 1
kill "$reader_pid" 2>/dev/null || true
wait "$reader_pid" 2>/dev/null || true
reader_pid=
grep -qs 'application/x-orvalen-report=orvalen-reader.desktop' "$tmp/home/.config/mimeapps.list" ||
  fail "the installed reader did not make itself the default program: $(cat "$tmp/reader.log")"
if [ -e "$tmp/home/.local/share" ]; then
  fail "the installed reader wrote its own copies: $(find "$tmp/home/.local/share" -type f)"
fi

# The manual pages render without complaint and name every command and
# option that frptool's own help lists.
for page in frptool frptool-print orvalen-reader; do
  out=$(LC_ALL=C.UTF-8 MANWIDTH=100 man --warnings -l "$share/man/man1/$page.1.gz" 2>"$tmp/man.err") ||
    fail "man -l $page failed"
  [ ! -s "$tmp/man.err" ] || fail "man -l $page: $(cat "$tmp/man.err")"
  [ -n "$out" ] || fail "man -l $page shows nothing"
done
man_text=$(LC_ALL=C.UTF-8 MANWIDTH=1000 man -l "$share/man/man1/frptool.1.gz" 2>/dev/null)
help=$("$root/usr/bin/frptool" --help)
commands=$(sed -n 's/^  frptool \([a-z]*\) .*/\1/p; s/^  frptool \([a-z]*\)$/\1/p' <<<"$help")
[ -n "$commands" ] || fail "frptool --help lists no command"
source /usr/share/bash-completion/bash_completion
source "$share/bash-completion/completions/frptool"
complete_words() {
  read -ra COMP_WORDS <<<"$1"
  [[ $1 == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE=$1
  COMP_POINT=${#1}
  COMPREPLY=()
  _frptool
  echo " ${COMPREPLY[*]} "
}
first=$(complete_words "frptool ")
for c in $commands; do
  grep -Eq "^ +$c( |$)" <<<"$man_text" || fail "man frptool does not describe $c"
  [[ $first == *" $c "* ]] || fail "the completion does not offer $c"
  offered=$(complete_words "frptool $c -")
  # An option starts after a blank, a bracket or a bar ("one-sided" is a value).
  for o in $(grep -oE -- '(^|[ [|])--?[a-z][a-z0-9-]*' <<<"$(sed -n "s/^  frptool $c\b//p" <<<"$help")" | sed 's/^[ [|]//'); do
    grep -q -- "$o" <<<"$man_text" || fail "man frptool does not name $c's option $o"
    [[ $offered == *" $o "* ]] || fail "the completion does not offer $c's option $o"
  done
done

# frptool-print is found beside frptool wherever the two are installed.
"${private[@]}" "$root/usr/bin/frptool" printers >"$tmp/printers.out" 2>&1 || true
! grep -q 'cannot start' "$tmp/printers.out" || fail "frptool does not find frptool-print: $(cat "$tmp/printers.out")"

# lintian: no error and no warning that debian/ does not explain.
if ! lintian --fail-on error,warning "$deb" >"$tmp/lintian.out" 2>&1; then
  fail "lintian: $(cat "$tmp/lintian.out")"
fi
cat "$tmp/lintian.out"

echo "$failures failure(s); $(($(date +%s) - start)) s in all"
[ "$failures" -eq 0 ]
