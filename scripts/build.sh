#!/usr/bin/env bash
# Configures and builds with Ninja. Usage: build.sh BUILD_DIR [cmake options...]
# A compiler cache is used when the machine has one: a rebuild of unchanged
# sources then costs seconds instead of minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
shift
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  # Paths inside the tree are hashed relative to the build folder, so a fresh
  # clone in another folder (CI's, a second work tree) reuses the same cache.
  export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
fi
cmake -S . -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir" --parallel "$(nproc)"
