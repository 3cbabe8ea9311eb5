#!/usr/bin/env bash
# Builds and runs every benchmark at full size (bench/*.sh), after the same
# set-up as the tests. Each prints its own figures.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install_deps.sh
bash scripts/start_firebird.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

for b in bench/*.sh; do
  [ -e "$b" ] || continue
  echo "== $b"
  bash "$b" build
done
