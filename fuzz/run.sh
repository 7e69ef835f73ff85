#!/bin/bash
# Runs one fuzz target of a build made with -DPALVREN_FUZZ=ON:
#   fuzz/run.sh <road> [seconds=600] [build folder=build-fuzz]
# The corpus grows in <build>/fuzz/work/<road>/corpus, findings land in .../artifacts; the
# committed seeds are only read. Crashes do not stop the run (fork mode), so one known fault
# cannot hide the others: triage the artifacts afterwards.
set -eu
road=$1
seconds=${2:-600}
build=${3:-build-fuzz}
here=$(cd "$(dirname "$0")" && pwd)
seeds=$here/corpus/$road
# The three single-file archive roads share one set of seeds.
[ -d "$seeds" ] || seeds=$here/corpus/zip
work=$build/fuzz/work/$road
mkdir -p "$work/corpus" "$work/artifacts"
export LSAN_OPTIONS=suppressions=$here/lsan.supp
export QT_QPA_PLATFORM=offscreen
exec nice -n 10 "$build/fuzz/fuzz_$road" -max_total_time="$seconds" -max_len=16384 -timeout=30 \
  -rss_limit_mb=2048 -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
  -artifact_prefix="$work/artifacts/" "$work/corpus" "$seeds"
