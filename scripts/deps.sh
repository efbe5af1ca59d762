#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing,
# so that a second run costs a few milliseconds and no network.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config clang libclang-rt-14-dev
  # a compiler cache: rebuilding unchanged sources costs seconds
  ccache
  qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins
  # Qt's own dialogs in Brazilian Portuguese
  qt6-translations-l10n
  libjpeg62-turbo-dev libpng-dev libcups2-dev libsqlite3-dev
  # spreadsheets written by the export
  libxlsxwriter-dev
  # databases the data sets read, and a private server for their test
  libqt6sql6-sqlite libqt6sql6-psql postgresql-15
  libgtest-dev libgmock-dev libbenchmark-dev liblz4-dev libmuparser-dev
  # fonts the reports name, through metric-compatible substitutes
  fontconfig fonts-liberation fonts-dejavu-core
  # a face with one regular style only, for the synthesized bold and italic tests
  fonts-dejavu-extra
  # test oracles and tools used by the test suite
  xvfb xauth xdotool openbox zbar-tools mupdf-tools poppler-utils imagemagick
  cups cups-client cups-ipp-utils printer-driver-cups-pdf
  desktop-file-utils xdg-utils shared-mime-info libfile-mimeinfo-perl
  # independent readers of the exported spreadsheets and web pages
  python3-openpyxl libreoffice-calc chromium
  # file managers' thumbnail services (GNOME's factory, XFCE's tumbler over a
  # private D-Bus session), to read and run our thumbnailer entry
  gir1.2-gnomedesktop-3.0 tumbler dbus-daemon
  python3 libglib2.0-dev
  # peak memory of runs under hostile templates; small file systems for the
  # full-disk test
  time util-linux e2fsprogs
  # peer timings in bench/run_peers.sh
  hyperfine
  # the package test: building the Debian package and checking it
  dpkg-dev debhelper fakeroot lintian man-db bash-completion
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
