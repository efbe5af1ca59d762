#!/usr/bin/env bash
# Builds the Debian package: installs what the build needs (when missing),
# builds in a copy of the tree under a temporary folder (dpkg-buildpackage
# writes beside the tree it builds, and the checkout must stay clean) and
# copies orvalen-reader_VERSION_ARCH.deb into OUT_DIR (the checkout's root
# when not given). Usage: package.sh [OUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$(realpath -m "${1:-$root}")

install_packages() {
  echo "Installing: $*" >&2
  if [ "$(id -u)" -ne 0 ]; then
    echo "package.sh: run as root, or install these packages first: $*" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

tools=(dpkg-dev debhelper fakeroot)
missing=()
for p in "${tools[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] || install_packages "${missing[@]}"
if ! unmet=$(dpkg-checkbuilddeps 2>&1); then
  # "Unmet build dependencies: cmake (>= 3.25) ninja-build ..." without versions
  # nor alternatives is what apt-get takes.
  # shellcheck disable=SC2046
  install_packages $(echo "${unmet#*: }" | sed -e 's/([^)]*)//g' -e 's/|[^ ]*//g')
fi

version=$(dpkg-parsechangelog -S Version)
arch=$(dpkg-architecture -q DEB_HOST_ARCH)
deb=orvalen-reader_${version}_${arch}.deb
# The same folder every time, so that the compiler cache recognises the
# sources; the lock keeps two builds of one user apart.
work=${TMPDIR:-/tmp}/orvalen-reader-package.$(id -u)
mkdir -p "$work"
exec 9>"$work/lock"
flock 9
rm -rf "$work/orvalen-reader" "$work"/orvalen-reader[_-]*
mkdir "$work/orvalen-reader"
tar -C "$root" --exclude='./.git' --exclude='./build*' --exclude='./.cache' \
  --exclude='./*.deb' --exclude='./obj-*' --exclude='./debian/.debhelper' -cf - . |
  tar -C "$work/orvalen-reader" -xf -

cd "$work/orvalen-reader"
dpkg-buildpackage -us -uc -b -j"$(nproc)" >"$work/build.log" 2>&1 || {
  tail -n 40 "$work/build.log" >&2
  echo "package.sh: the package build failed; the whole log is $work/build.log" >&2
  exit 1
}
mkdir -p "$out"
cp "$work/$deb" "$out/"
# The copy and its objects are large; the log stays for a look afterwards.
cd "$work"
rm -rf "$work/orvalen-reader" "$work"/orvalen-reader[_-]*
echo "$out/$deb"
