#!/usr/bin/env bash
# The backup run through a driver, not the program a user starts (bench/backup_run.sh times
# that one): the main window's run over one folder, its windows built but never shown, the
# driver being the whole process, against Info-ZIP's zip on the same tree, in paired interleaved rounds:
#   first run      ours on no archive      vs  zip -r -6 on no archive
#   unchanged run  ours on its own archive vs  zip -ru on its own archive
# Each side is timed as a whole process (wall time to the microsecond, peak memory), both pinned
# to the same CPUs; the ratios are ours / zip. The driver on an empty folder gives the fixed cost
# of our process (Qt start-up, the run's 50 ms wait, the failed upload).
#
# Usage: bench/backup_run_driver.sh [FILES] [MEGABYTES] [ROUNDS]   (default 20000 600 5)
#   BENCH_BUILD   build folder (default bench/build-release, a Release build of its own)
#   BENCH_WORK    work folder; the tree is kept there between calls (default /tmp/palvren-bench)
#   BENCH_JOBS    compile jobs (default 3)
#   BENCH_CPUS    taskset CPU list of both sides (default the last 4 CPUs)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
files=${1:-20000}
megabytes=${2:-600}
rounds=${3:-5}
build=${BENCH_BUILD:-$top/bench/build-release}
work=${BENCH_WORK:-/tmp/palvren-bench}
cpus=${BENCH_CPUS:-$(($(nproc) > 4 ? $(nproc) - 4 : 0))-$(($(nproc) - 1))}
source "$top/bench/paired_rounds.sh"

# paired_rounds.sh's timing with a finer clock: /usr/bin/time gives the peak memory only.
timed() {
  local out start end
  out=$(mktemp)
  start=$(date +%s%N)
  /usr/bin/time -f "%M" -o "$out" "$@" >/dev/null || true  # zip -u with nothing to do exits 12
  end=$(date +%s%N)
  last_seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", (b - a) / 1e9 }')
  last_kb=$(tail -n 1 "$out")
  rm -f "$out"
}
load() { uptime | sed 's/.*load average: *//'; }

cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"${BENCH_JOBS:-3}" --target backup_run_driver >/dev/null
driver="$build/bench/backup_run_driver"

tree="$work/tree-$files-$megabytes"
if [ ! -d "$tree" ]; then
  echo "building the tree: $files files, about $megabytes MB"
  /usr/bin/python3 "$top/bench/make_tree.py" "$tree.part" "$files" "$megabytes"
  mv "$tree.part" "$tree"
fi
echo "tree: $(find "$tree" -type f | wc -l) files, $(du -sm "$tree" | cut -f1) MB; $(nproc) cores, both sides on CPUs $cpus; load $(load)"
find "$tree" -type f -exec cat {} + >/dev/null  # both sides start from a warm cache

prog="$work/programme"
mkdir -p "$prog"
ours="$prog/palvrenftp.zip"
theirs="$work/zip.zip"
fresh_ours() { rm -f "$ours" "$prog"/*.log; }
fresh_theirs() { rm -f "$theirs"; }
keep() { :; }

paired_rounds "first run ($files files)" "$rounds" fresh_ours "exec taskset -c $cpus '$driver' '$prog' '$tree'" \
  fresh_theirs "cd '$tree' && exec taskset -c $cpus zip -r -6 -q '$theirs' ."
echo "sizes: ours $(stat -c %s "$ours") bytes, zip $(stat -c %s "$theirs") bytes"
unzip -tqq "$ours" && echo "unzip -t: ok"

before=$(stat -c '%i %Y %s' "$ours")
paired_rounds "unchanged run ($files files)" "$rounds" keep "exec taskset -c $cpus '$driver' '$prog' '$tree'" \
  keep "cd '$tree' && exec taskset -c $cpus zip -ru -6 -q '$theirs' ."
after=$(stat -c '%i %Y %s' "$ours")
echo "archive rewritten by the unchanged runs: $([ "$before" = "$after" ] && echo no || echo YES)"

mkdir -p "$work/empty" "$work/programme-empty"
fixed=()
for ((r = 1; r <= 3; r++)); do
  rm -f "$work/programme-empty"/*.zip
  timed bash -c "exec taskset -c $cpus '$driver' '$work/programme-empty' '$work/empty'"
  fixed+=("$last_seconds")
done
read -r fmin fmed < <(stats "${fixed[@]}")
echo "fixed cost of our process (the driver on an empty folder): min $fmin s, median $fmed s; load $(load)"
