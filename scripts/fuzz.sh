#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs them.
#
#   fuzz.sh [SECONDS]                   every target for a short bounded time on a
#                                       copy of its seed corpus (the test command)
#   fuzz.sh --long SECONDS [TARGET...]  the named targets (all by default) for a long
#                                       run each; the inputs that reach new code are
#                                       merged back into fuzz/corpus/TARGET, each
#                                       run is recorded in fuzz/long-runs.tsv, and a
#                                       crashing input is kept in fuzz/findings/
set -euo pipefail
cd "$(dirname "$0")/.."
long=0
targets=()
if [ "${1:-}" = --long ]; then
  long=1
  secs=${2:?fuzz.sh --long SECONDS [TARGET...]}
  shift 2
  targets=("$@")
else
  secs=${1:-20}
fi
san="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
bash scripts/build.sh build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORV_TESTS=OFF -DORV_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="$san -fsanitize=fuzzer-no-link" -DCMAKE_C_FLAGS="$san"
if [ ${#targets[@]} -eq 0 ]; then
  for bin in build-fuzz/fuzz/fuzz_*; do targets+=("${bin##*/fuzz_}"); done
fi
export QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
limits=(-rss_limit_mb=2048 -timeout=10)
status=0
for name in "${targets[@]}"; do
  bin=build-fuzz/fuzz/fuzz_$name
  if [ ! -x "$bin" ]; then
    echo "fuzz $name: no such target" >&2
    status=1
    continue
  fi
  work=$(mktemp -d)
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/"
  echo "fuzz $name: ${secs}s"
  extra=(-print_final_stats=0)
  if [ $long = 1 ]; then
    mkdir -p fuzz/findings
    extra=(-print_final_stats=1 -artifact_prefix="fuzz/findings/$name-")
  fi
  started=$SECONDS
  if ! "$bin" "$work" -max_total_time="$secs" "${limits[@]}" "${extra[@]}" >"$work.log" 2>&1; then
    echo "fuzz $name FAILED:"; tail -40 "$work.log"; status=1
  fi
  ran=$((SECONDS - started))
  if [ $long = 1 ]; then
    # Add only the inputs that reach code the corpus does not: it grows by what
    # is new, not by everything the run tried, and the named seeds stay.
    mkdir -p "fuzz/corpus/$name"
    "$bin" -merge=1 "${limits[@]}" "fuzz/corpus/$name" "$work" >"$work.merge" 2>&1 || {
      echo "fuzz $name: merge FAILED"; tail -20 "$work.merge"; status=1; }
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work.log" | tail -1)
    [ -f fuzz/long-runs.tsv ] || printf 'date\ttarget\tseconds\tinputs run\tcorpus files\tresult\n' >fuzz/long-runs.tsv
    result=clean
    grep -q -E 'ERROR: (AddressSanitizer|libFuzzer|UndefinedBehaviorSanitizer)|runtime error:' "$work.log" && result=finding
    # The time it ran, which a finding cuts short, not the time asked for.
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%F)" "$name" "$ran" "${runs:-?}" \
      "$(ls "fuzz/corpus/$name" | wc -l)" "$result" >>fuzz/long-runs.tsv
    echo "fuzz $name: ${runs:-?} inputs, $result"
    rm -f "$work.merge"
  fi
  rm -rf "$work" "$work.log"
done
exit $status
