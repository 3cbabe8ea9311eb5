#!/usr/bin/env bash
# Verification of a backup by a test restore beside gbak -c of the same file,
# for a generated database of 200 MB, protocols TCP and Local.
# $1: the build folder.
set -euo pipefail
build=${1:-build}
cmake --build "$build" --target verify_bench >/dev/null
"$build/bench/verify_bench" --size-mb 200 --rounds 3 --protocol tcp
"$build/bench/verify_bench" --size-mb 200 --rounds 3 --protocol local
