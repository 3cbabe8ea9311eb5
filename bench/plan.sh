#!/usr/bin/env bash
# One tick of the plan with 50 databases (each checked against its weekly
# plan), and the status line's next backup of each; target: a tick under 1 ms.
# $1: the build folder.
set -euo pipefail
build=${1:-build}
cmake --build "$build" --target plan_bench >/dev/null
"$build/bench/plan_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
