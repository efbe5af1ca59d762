#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each one for
# a bounded time on a copy of its seed corpus. Usage: fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-20}
san="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
bash scripts/build.sh build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORV_TESTS=OFF -DORV_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="$san -fsanitize=fuzzer-no-link" -DCMAKE_C_FLAGS="$san"
status=0
for bin in build-fuzz/fuzz/fuzz_*; do
  name=${bin##*/fuzz_}
  work=$(mktemp -d)
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/"
  echo "fuzz $name: ${secs}s"
  if ! QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 "$bin" "$work" -max_total_time="$secs" \
      -rss_limit_mb=2048 -timeout=10 -print_final_stats=0 >"$work.log" 2>&1; then
    echo "fuzz $name FAILED:"; tail -40 "$work.log"; status=1
  fi
  rm -rf "$work" "$work.log"
done
exit $status
