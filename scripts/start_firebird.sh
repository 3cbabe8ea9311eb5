#!/usr/bin/env bash
# Starts the Firebird 3.0 server for the tests and waits until it answers at
# 127.0.0.1:3050 and at this computer's own name (jobs on local files address
# the server by the computer's name). Idempotent: a server that answers is
# left alone.
#
# The server never listens on more than 127.0.0.1. Where Debian's binding to
# "localhost" reaches neither address (a hosts file that gives localhost as
# ::1 first), the server is bound to 127.0.0.1; where the computer's name does
# not lead there (Debian gives it 127.0.1.1), a hosts line sends the name to
# 127.0.0.1. Every change is saved first and marked;
#   scripts/start_firebird.sh --restore
# puts back what this script changed.
set -euo pipefail

# The files and commands it works on (tests of this script point them elsewhere).
conf=${QUORVIN_FB_CONF:-/etc/firebird/3.0/firebird.conf}
hosts=${QUORVIN_HOSTS_FILE:-/etc/hosts}
service=${QUORVIN_FB_SERVICE:-/etc/init.d/firebird3.0}
port=${QUORVIN_FB_PORT:-3050}
host=${QUORVIN_HOST_NAME:-$(cat /proc/sys/kernel/hostname)}
tries=${QUORVIN_FB_WAIT_TRIES:-60}  # half-seconds

saved="$conf.quorvin-saved"
mark="# added by Quorvin test set-up"
legacy='#RemoteBindAddress = localhost  # commented out by Quorvin test set-up'

say() { echo "start_firebird: $*" >&2; }
answers() { (exec 3<>"/dev/tcp/$1/$port") 2>/dev/null; }
ready() { answers 127.0.0.1 && answers "$host"; }
wait_ready() {
  for _ in $(seq 1 "$tries"); do
    if ready; then return 0; fi
    sleep 0.5
  done
  return 1
}
restart() { "$service" restart >/dev/null 2>&1 || "$service" start >/dev/null 2>&1 || true; }
# Rewrites a file in place (same inode: /etc/hosts may be a bind mount).
rewrite() { local text; text=$(cat); printf '%s\n' "$text" >"$1"; }

# Binds the server to 127.0.0.1 in place of Debian's "localhost" (or of an
# earlier set-up's commented-out line, which listened on every address).
bind_loopback() {
  if ! grep -qxF 'RemoteBindAddress = localhost' "$conf" && ! grep -qxF "$legacy" "$conf"; then
    return 1
  fi
  # What was there before any change of ours: Debian's line.
  [ -e "$saved" ] || sed "s/^$legacy\$/RemoteBindAddress = localhost/" "$conf" >"$saved"
  say "binding the server to 127.0.0.1 in $conf (saved as $saved; --restore puts it back)"
  sed -e "s/^RemoteBindAddress = localhost\$/RemoteBindAddress = 127.0.0.1/" \
      -e "s/^$legacy\$/RemoteBindAddress = 127.0.0.1/" "$conf" | rewrite "$conf"
}

# Sends the computer's name to 127.0.0.1, ahead of any other line for it.
name_to_loopback() {
  grep -qF "$mark" "$hosts" && return 1
  say "adding '127.0.0.1 $host' to $hosts (--restore takes it out)"
  { echo "127.0.0.1 $host $mark"; cat "$hosts"; } | rewrite "$hosts"
}

restore() {
  if [ -e "$saved" ]; then
    say "putting back $conf and restarting the server"
    rewrite "$conf" <"$saved"
    rm -f "$saved"
    restart
  elif grep -qxF "$legacy" "$conf"; then
    say "putting back 'RemoteBindAddress = localhost' in $conf and restarting the server"
    sed "s/^$legacy\$/RemoteBindAddress = localhost/" "$conf" | rewrite "$conf"
    restart
  fi
  if grep -qF "$mark" "$hosts"; then
    say "taking the line for $host out of $hosts"
    grep -vF "$mark" "$hosts" | rewrite "$hosts"
  fi
}

if [ "${1:-}" = "--restore" ]; then
  restore
  exit 0
fi

# A server left listening on every address by an earlier set-up is bound
# again first.
if grep -qxF "$legacy" "$conf"; then
  bind_loopback
  restart
fi
if ready; then exit 0; fi
"$service" start >/dev/null 2>&1 || true
if wait_ready; then exit 0; fi

if ! answers 127.0.0.1 && bind_loopback; then
  restart
  wait_ready && exit 0
fi
if answers 127.0.0.1 && ! answers "$host" && name_to_loopback; then
  wait_ready && exit 0
fi

say "the Firebird server does not answer at 127.0.0.1:$port and $host:$port"
exit 1
