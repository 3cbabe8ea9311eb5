#!/usr/bin/env bash
# Full-size service benchmark: a generated database of at least 200 MB backed
# up and restored through the service classes and through gbak -se, for
# protocols Local and TCP. Usage: bench/service.sh <build dir> [size MB] [runs]
set -euo pipefail
build="${1:-build}"
size="${2:-200}"
runs="${3:-5}"
cmake --build "$build" --target service_bench >/dev/null
"$build/bench/service_bench" --size-mb "$size" --runs "$runs" --protocols local,tcp
