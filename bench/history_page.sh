#!/usr/bin/env bash
# Opening the history page with 10 000 records, headless; median of 7.
# $1: the build folder.
set -euo pipefail
build=${1:-build}
cmake --build "$build" --target history_page_bench >/dev/null
QT_QPA_PLATFORM=offscreen "$build/bench/history_page_bench" --records 10000 --runs 7
