#!/usr/bin/env bash
# The copy on this computer at full size: a generated database of at least
# 200 MB over TCP, backed up into a compressed copy and restored from it,
# beside gbak -b -se / gbak -c -se on the server's disk, alternating.
# Usage: bench/local_copy.sh <build dir> [size MB] [runs]
set -euo pipefail
build="${1:-build}"
size="${2:-200}"
runs="${3:-3}"
cmake --build "$build" --target local_copy_bench >/dev/null
"$build/bench/local_copy_bench" --size-mb "$size" --runs "$runs"
