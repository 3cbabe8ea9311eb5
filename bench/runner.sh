#!/usr/bin/env bash
# The job runner's benchmarks at full size: pane throughput for 1 000 000
# lines, then a backup and restore of a 200 MB database beside gbak.
# $1: the build folder.
set -euo pipefail
build=${1:-build}
"$build/bench/runner_pane_bench" 1000000
"$build/bench/runner_job_bench" --size-mb 200 --rounds 3 --protocol tcp
