#!/usr/bin/env bash
# Installs what is missing, builds in Release and starts the reader,
# on its built-in report or on the ".frp" file given.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/deps.sh
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DORV_TESTS=OFF
args=()
for a in "$@"; do
  case "$a" in
    /*) args+=("$a") ;;
    *) args+=("$OLDPWD/$a") ;;
  esac
done
if [ -x build/src/orvalen-reader ]; then
  exec build/src/orvalen-reader "${args[@]}"
fi
# Until the viewer exists the companion tool shows what the file holds.
exec build/src/frptool info "${args[@]}"
