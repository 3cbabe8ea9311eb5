#!/usr/bin/env bash
# Installs what the tests need, checks the code's format, starts the Firebird
# server and the S3 gateway (a single-node Ceph cluster, a few seconds),
# builds everything (program, tests, benchmarks) and runs every test;
# fuzzes the server-answer parser for a minute; then builds the core with
# address and undefined-behaviour sanitizers and runs its tests again.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install_deps.sh
bash scripts/format_check.sh
bash scripts/start_firebird.sh
bash scripts/start_s3_gateway.sh >/dev/null
# The object-storage tests fail, never skip, when the gateway is not there.
export QUORVIN_REQUIRE_S3=1

jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"

# GUI tests run headless; the real notification-area tests start their own Xvfb.
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j "$jobs"

# The answer parser and block builders under libFuzzer, for a bounded time.
bash scripts/fuzz.sh

# Core only (no Qt) under the sanitizers. Leak detection stays on for the
# unit tests; the embedded engine keeps process-wide caches until exit, so
# leak reports are switched off for the tests that load it.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DQUORVIN_WITH_GUI=OFF -DQUORVIN_BENCH=OFF -DQUORVIN_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs" -L unit
ctest --test-dir build-asan --output-on-failure -j "$jobs" -L s3
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-asan --output-on-failure -j 1 -L firebird

