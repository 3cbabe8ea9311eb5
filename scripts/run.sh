#!/usr/bin/env bash
# Installs what the program needs, builds it and starts it. The program keeps
# its settings file and log folder beside the executable (build/src/app/).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install_deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target quorvin

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display found; starting the program on a virtual display (Xvfb)." >&2
  exec xvfb-run -a build/src/app/quorvin
fi
exec build/src/app/quorvin
