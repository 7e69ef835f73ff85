#!/usr/bin/env bash
# Extraction of a tree of many files, timed as whole processes beside bsdtar
# and unzip on tmpfs, in interleaved rounds. Two trees from fixed seeds:
# 20,000 files of the mixed kind (PALVREN_BENCH_FILES) and 80,000 small ones
# (PALVREN_BENCH_SMALL_FILES); each is archived once with zip -r.
# Usage: bench/zip_extract.sh [build folder, a Release build made there when missing]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-bench}"
rounds="${PALVREN_BENCH_ROUNDS:-3}"
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j3 --target zip_extract_driver >/dev/null
driver="$(realpath "$build/bench/zip_extract_driver")"
work="$(mktemp -d /dev/shm/palvren-extract.XXXXXX)"
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
run_case() {
  local label="$1"; shift
  python3 bench/make_tree.py "$work/src" "$@"
  (cd "$work/src" && zip -q -r ../a.zip .)
  echo "== $label: $(find "$work/src" -type f | wc -l) files, $(du -sm "$work/src" | cut -f1) MB, archive $(du -m "$work/a.zip" | cut -f1) MB"
  rm -rf "$work/src"
  python3 bench/extract_rounds.py "$driver" "$work/a.zip" "$work" --rounds "$rounds"
  rm -rf "$work"/*
}
run_case "mixed tree" "${PALVREN_BENCH_FILES:-20000}" 600 --seed 1
run_case "small files" "${PALVREN_BENCH_SMALL_FILES:-80000}" --seed 2 --small
