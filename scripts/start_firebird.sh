#!/usr/bin/env bash
# Starts the Firebird 3.0 server for the tests and waits until it answers at
# 127.0.0.1:3050 and at this computer's own name (jobs on local files address
# the server by the computer's name). Idempotent: a server that answers is
# left alone.
set -euo pipefail

conf=/etc/firebird/3.0/firebird.conf
host=$(cat /proc/sys/kernel/hostname)

answers() { (exec 3<>"/dev/tcp/$1/3050") 2>/dev/null; }
ready() { answers 127.0.0.1 && answers "$host"; }
wait_ready() {
  for _ in $(seq 1 60); do
    if ready; then return 0; fi
    sleep 0.5
  done
  return 1
}

if ready; then exit 0; fi
/etc/init.d/firebird3.0 start >/dev/null 2>&1 || true
if wait_ready; then exit 0; fi

# Debian's server binds to "localhost", which a standard hosts file may
# resolve to ::1 alone, and the computer's name often resolves to 127.0.1.1:
# then neither address answers. Listening on every address reaches both.
if grep -q '^RemoteBindAddress = localhost$' "$conf"; then
  echo "start_firebird: the server answers neither at 127.0.0.1 nor at $host;" \
       "commenting out 'RemoteBindAddress = localhost' in $conf so it listens on every address" >&2
  sed -i 's/^RemoteBindAddress = localhost$/#RemoteBindAddress = localhost  # commented out by Quorvin test set-up/' "$conf"
  /etc/init.d/firebird3.0 restart >/dev/null 2>&1 || /etc/init.d/firebird3.0 start >/dev/null 2>&1 || true
  if wait_ready; then exit 0; fi
fi

echo "start_firebird: the Firebird server does not answer at 127.0.0.1:3050 and $host:3050" >&2
exit 1
