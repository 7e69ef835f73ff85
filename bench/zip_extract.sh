#!/usr/bin/env bash
# Extraction of a tree of many files, timed as whole processes beside bsdtar
# and unzip in interleaved rounds, every side pinned to the same CPUs. Two
# trees from fixed seeds: 20,000 files of the mixed kind (PALVREN_BENCH_FILES)
# and 80,000 small ones (PALVREN_BENCH_SMALL_FILES); each is archived once
# with zip -r, the archive kept on tmpfs.
# Usage: bench/zip_extract.sh [build folder, a Release build made there when missing]
#   PALVREN_BENCH_FS      tmpfs (default): extract to tmpfs;
#                         ext4: to a fresh ext4 loop file made anew for each extraction (root),
#                         also timed with one sync of it after the extraction
#   PALVREN_BENCH_DISK    folder of the loop file, on a real disk (default /var/tmp)
#   PALVREN_BENCH_REPLACE 1: every extraction goes over an existing copy of the tree (made untimed
#                         by bsdtar and synced), so that every file is replaced
#   PALVREN_BENCH_ROUNDS  rounds (default 5)
#   PALVREN_BENCH_CPUS    taskset CPU list of every side (default the last 4 CPUs)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-bench}"
rounds="${PALVREN_BENCH_ROUNDS:-5}"
fs="${PALVREN_BENCH_FS:-tmpfs}"
cpus="${PALVREN_BENCH_CPUS:-$(($(nproc) > 4 ? $(nproc) - 4 : 0))-$(($(nproc) - 1))}"
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j3 --target zip_extract_driver >/dev/null
driver="$(realpath "$build/bench/zip_extract_driver")"
work="$(mktemp -d /dev/shm/palvren-extract.XXXXXX)"
image=""
if [ "$fs" = ext4 ]; then
  command -v mkfs.ext4 >/dev/null || { echo "mkfs.ext4 missing (apt-get install e2fsprogs)"; exit 1; }
  image="$(mktemp -u "${PALVREN_BENCH_DISK:-/var/tmp}/palvren-extract-XXXXXX.img")"
fi
cleanup() {
  if [ -n "$image" ] && mountpoint -q "$image.mnt" 2>/dev/null; then umount "$image.mnt"; fi
  [ -n "$image" ] && rm -rf "$image" "$image.mnt"
  rm -rf "$work"
}
trap cleanup EXIT
export QT_QPA_PLATFORM=offscreen
replace=()
mode="fresh"
if [ "${PALVREN_BENCH_REPLACE:-0}" = 1 ]; then replace=(--replace); mode="over an existing copy"; fi
echo "$(nproc) cores, every side on CPUs $cpus, extraction to $fs, $mode; load at start: $(cat /proc/loadavg)"
run_case() {
  local label="$1"; shift
  python3 bench/make_tree.py "$work/src" "$@"
  (cd "$work/src" && zip -q -r ../a.zip .)
  echo "== $label: $(find "$work/src" -type f | wc -l) files, $(du -sm "$work/src" | cut -f1) MB, archive $(du -m "$work/a.zip" | cut -f1) MB"
  rm -rf "$work/src"
  local extra=()
  [ -n "$image" ] && extra=(--ext4 "$image" --peers bsdtar)
  python3 bench/extract_rounds.py "$driver" "$work/a.zip" "$work" --rounds "$rounds" --cpus "$cpus" "${extra[@]}" "${replace[@]}"
  rm -rf "${work:?}"/*
  echo "load after: $(cat /proc/loadavg)"
}
run_case "mixed tree" "${PALVREN_BENCH_FILES:-20000}" 600 --seed 1
run_case "small files" "${PALVREN_BENCH_SMALL_FILES:-80000}" --seed 2 --small
