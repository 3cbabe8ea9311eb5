#!/usr/bin/env bash
# Off-site copies at two sizes against the local S3 gateway, beside the
# administrator's own pipeline; the peak memory of our copy at each size.
# Usage: bench/offsite.sh <build dir> [small MB] [large MB] [runs]
set -euo pipefail
build="${1:-build}"
small="${2:-200}"
large="${3:-1000}"
runs="${4:-3}"
set -a
# shellcheck disable=SC1091
. /run/quorvin-s3/env
set +a
cmake --build "$build" --target offsite_bench >/dev/null
for size in "$small" "$large"; do
  "$build/bench/offsite_bench" --size-mb "$size" --runs "$runs"
done
