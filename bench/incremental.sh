#!/usr/bin/env bash
# Incremental backups at full size: a generated database of at least 1 GB
# with about 1 % of its pages changed after a level 0; a level-1 backup
# beside a logical backup, and the chain's restore beside gbak -c, through
# the server. Needs about 3 × the size free in the temporary folder.
# Usage: bench/incremental.sh <build dir> [size MB] [runs]
set -euo pipefail
build="${1:-build}"
size="${2:-1100}"
runs="${3:-3}"
cmake --build "$build" --target incremental_bench >/dev/null
free_mb=$(df -Pm "${TMPDIR:-/tmp}" | awk 'NR==2 {print $4}')
if [ "$free_mb" -lt $((size * 4)) ]; then
  echo "incremental.sh: ${free_mb} MB free in ${TMPDIR:-/tmp}, $((size * 4)) MB needed" >&2
  exit 1
fi
"$build/bench/incremental_bench" --size-mb "$size" --runs "$runs" --protocol tcp
