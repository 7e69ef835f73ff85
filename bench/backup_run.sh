#!/usr/bin/env bash
# The backup run (the main window's run over one folder, through a small driver that is the
# whole program process) against Info-ZIP's zip on the same tree, in paired interleaved rounds:
#   first run      ours on no archive      vs  zip -r -6 on no archive
#   unchanged run  ours on its own archive vs  zip -ru on its own archive
# Each side is timed as a whole process (wall time, peak memory); the ratios are ours / zip.
#
# Usage: bench/backup_run.sh [FILES] [MEGABYTES] [ROUNDS]   (default 20000 600 3)
#   BENCH_BUILD   build folder (default bench/build-release, a Release build of its own)
#   BENCH_WORK    work folder; the tree is kept there between calls (default /tmp/palvren-bench)
#   BENCH_JOBS    compile jobs (default 3)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
files=${1:-20000}
megabytes=${2:-600}
rounds=${3:-3}
build=${BENCH_BUILD:-$top/bench/build-release}
work=${BENCH_WORK:-/tmp/palvren-bench}
source "$top/bench/paired_rounds.sh"

cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"${BENCH_JOBS:-3}" --target backup_run_driver >/dev/null
driver="$build/bench/backup_run_driver"

tree="$work/tree-$files-$megabytes"
if [ ! -d "$tree" ]; then
  echo "building the tree: $files files, about $megabytes MB"
  /usr/bin/python3 "$top/bench/make_tree.py" "$tree.part" "$files" "$megabytes"
  mv "$tree.part" "$tree"
fi
echo "tree: $(find "$tree" -type f | wc -l) files, $(du -sm "$tree" | cut -f1) MB; $(nproc) cores"
find "$tree" -type f -exec cat {} + >/dev/null  # both sides start from a warm cache

prog="$work/programme"
mkdir -p "$prog"
ours="$prog/palvrenftp.zip"
theirs="$work/zip.zip"
fresh_ours() { rm -f "$ours" "$prog"/*.log; }
fresh_theirs() { rm -f "$theirs"; }
keep() { :; }

paired_rounds "first run ($files files)" "$rounds" fresh_ours "'$driver' '$prog' '$tree'" \
  fresh_theirs "cd '$tree' && exec zip -r -6 -q '$theirs' ."
echo "sizes: ours $(stat -c %s "$ours") bytes, zip $(stat -c %s "$theirs") bytes"
unzip -tqq "$ours" && echo "unzip -t: ok"

before=$(stat -c '%i %Y %s' "$ours")
paired_rounds "unchanged run ($files files)" "$rounds" keep "'$driver' '$prog' '$tree'" \
  keep "cd '$tree' && exec zip -ru -6 -q '$theirs' ."
after=$(stat -c '%i %Y %s' "$ours")
echo "archive rewritten by the unchanged runs: $([ "$before" = "$after" ] && echo no || echo YES)"
