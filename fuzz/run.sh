#!/bin/bash
# Runs one fuzz target of a build made with -DPALVREN_FUZZ=ON:
#   fuzz/run.sh <road> [seconds=600] [build folder=build-fuzz]
# The corpus grows in <build>/fuzz/work/<road>/corpus, findings land in .../artifacts (triage
# them afterwards); the committed seeds are only read.
set -u
road=$1
seconds=${2:-600}
here=$(cd "$(dirname "$0")" && pwd)
# Absolute: the roads run each input from a folder of its own.
build=$(cd "${3:-$here/../build-fuzz}" && pwd)
seeds=$here/corpus/$road
# The three single-file archive roads share one set of seeds.
[ -d "$seeds" ] || seeds=$here/corpus/zip
# The archive roads take inputs of the full length at once and know the ZIP signatures.
extra=()
case $road in
  zip_*) extra=(-len_control=0 -dict="$here/zip.dict") ;;
esac
work=$build/fuzz/work/$road
mkdir -p "$work/corpus" "$work/artifacts"
export LSAN_OPTIONS=suppressions=$here/lsan.supp
export QT_QPA_PLATFORM=offscreen
start=$SECONDS
status=0
# A crash ends libFuzzer's run; it starts again on the grown corpus until the time is spent,
# so that one known fault cannot hide the others.
while left=$((seconds - (SECONDS - start))); [ "$left" -gt 0 ]; do
  nice -n 10 "$build/fuzz/fuzz_$road" -max_total_time="$left" -max_len=16384 -timeout=30 -rss_limit_mb=2048 \
    "${extra[@]}" -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" "$seeds" && break
  status=1
done
# An input that crashed left its scratch folder behind; those of ended processes go.
for folder in /dev/shm/palvren-fuzz-*; do
  pid=${folder#/dev/shm/palvren-fuzz-}
  pid=${pid%%-*}
  [ -d "$folder" ] && ! kill -0 "$pid" 2>/dev/null && rm -rf "$folder"
done
exit $status
