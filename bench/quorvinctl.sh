#!/usr/bin/env bash
# quorvinctl at full size: its TCP backup of a generated database beside
# gbak -b -se (7 runs), and the memory of `run` waiting for its plan.
# Usage: bench/quorvinctl.sh <build dir> [size MB] [runs]
set -euo pipefail
build="${1:-build}"
size="${2:-200}"
runs="${3:-7}"
cmake --build "$build" --target quorvinctl_bench >/dev/null
"$build/bench/quorvinctl_bench" --size-mb "$size" --runs "$runs" --idle
