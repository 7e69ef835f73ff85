#!/usr/bin/env bash
# The cost of opening an archive of many entries (60,000 by default, BENCH_COUNT to change):
# the system calls of the whole process (strace -c -f) and the best wall time over
# BENCH_ROUNDS (default 5) opens, beside "unzip -l" of the same archive.
# Usage: bench/zip_open.sh [WORK_DIR]. Builds into build/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$(mktemp -d /tmp/palvren-bench-XXXXXX)}
count=${BENCH_COUNT:-60000}
rounds=${BENCH_ROUNDS:-5}

cmake -S "$top" -B "$top/build" -G Ninja >/dev/null
cmake --build "$top/build" -j3 --target zip_open_driver >/dev/null
driver="$top/build/bench/zip_open_driver"

archive="$work/open$count.zip"
if [ ! -f "$archive" ]; then
  /usr/bin/python3 - "$archive" "$count" <<'PY'
import sys, zipfile
path, count = sys.argv[1], int(sys.argv[2])
with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
    for i in range(count):
        z.writestr("d%03d/f%05d.txt" % (i // 1000, i), "x" * (i % 50))
PY
fi
echo "cores $(nproc), load $(cut -d' ' -f1-3 /proc/loadavg), archive $(stat -c %s "$archive") bytes"
if command -v strace >/dev/null; then
  strace -c -f -o "$work/strace.txt" "$driver" "$archive" >/dev/null
  awk '$NF ~ /^(lseek|read|pread64|openat|fstat|newfstatat)$/ {print "  " $NF ": " $4 " calls"}' "$work/strace.txt"
fi
# Whole processes, paired and interleaved (the order alternates): "ours unzip" seconds a round.
wall() { { /usr/bin/time -f %e "$@" >/dev/null; } 2>&1 | tail -1; }
: >"$work/times.txt"
for r in $(seq "$rounds"); do
  if [ $((r % 2)) -eq 1 ]; then
    a=$(wall "$driver" "$archive"); b=$(wall unzip -l "$archive")
  else
    b=$(wall unzip -l "$archive"); a=$(wall "$driver" "$archive")
  fi
  echo "$a $b" >>"$work/times.txt"
done
awk '{ours[NR] = $1; peer[NR] = $2; ratio[NR] = ($2 > 0 ? $1 / $2 : 0)}
  function med(v, n,   i, j, t) { for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
    return v[int((n + 1) / 2)] }
  END { n = NR; mo = med(ours, n); mp = med(peer, n); mr = med(ratio, n)
    printf "open, whole process, %d rounds: ours median %.2f s (min %.2f), unzip -l median %.2f s (min %.2f); ratio min %.2f, median %.2f\n", n, mo, ours[1], mp, peer[1], ratio[1], mr }' "$work/times.txt"
