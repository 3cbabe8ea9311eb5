#!/usr/bin/env bash
# Starts the Firebird 3.0 server for the tests and waits until 127.0.0.1:3050
# answers. Idempotent: a running server is left alone.
set -euo pipefail

port_open() { (exec 3<>/dev/tcp/127.0.0.1/3050) 2>/dev/null; }

if port_open; then exit 0; fi
/etc/init.d/firebird3.0 start >/dev/null 2>&1 || true
for _ in $(seq 1 60); do
  if port_open; then exit 0; fi
  sleep 0.5
done
echo "start_firebird: the Firebird server does not answer on 127.0.0.1:3050" >&2
exit 1
