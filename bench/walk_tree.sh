#!/usr/bin/env bash
# Walks a fresh tree of 100,000 files (PALVREN_BENCH_FILES to change it) and prints how long
# building and walking took; fails if a file is missed, reported twice or a descriptor leaks.
set -euo pipefail
build="${1:-build}"
cd "$(dirname "$0")/.."
cmake --build "$build" -j4 --target backup_tests >/dev/null
QT_QPA_PLATFORM=offscreen "$build/tests/backup_tests" --gtest_also_run_disabled_tests \
  --gtest_filter='ScruteDossierBench.*' | grep -E '^files|OK|FAILED'
