#!/usr/bin/env bash
# scripts/start_firebird.sh against stand-ins: a configuration file, a hosts
# file and a service whose "server" listens where the configuration says
# ("localhost" stands for a name that leads elsewhere: 127.0.0.2; no binding
# means every address). The server never ends up on every address, only
# needed changes are made, and --restore puts back what was changed.
# Usage: start_firebird_test.sh <path of start_firebird.sh>
set -euo pipefail
script=$1
work=$(mktemp -d)
trap 'bash "$work/service" stop >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$work/service" <<SERVICE
#!/usr/bin/env bash
echo "\$1" >>"$work/calls"
stop() { [ -e "$work/pid" ] && kill "\$(cat "$work/pid")" 2>/dev/null; rm -f "$work/pid"; sleep 0.2; }
start() {
  [ -e "$work/pid" ] && return 0
  addr=0.0.0.0
  grep -qx 'RemoteBindAddress = 127.0.0.1' "$work/firebird.conf" && addr=127.0.0.1
  grep -qx 'RemoteBindAddress = localhost' "$work/firebird.conf" && addr=127.0.0.2
  echo "\$addr" >"$work/bound"
  /usr/bin/python3 -c "import socket,time; s=socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1); s.bind(('\$addr', $port)); s.listen(); time.sleep(600)" &
  echo \$! >"$work/pid"
  sleep 0.3
}
case "\$1" in start) start ;; stop) stop ;; restart) stop; start ;; esac
SERVICE
chmod +x "$work/service"

run() {
  QUORVIN_FB_CONF="$work/firebird.conf" QUORVIN_HOSTS_FILE="$work/hosts" QUORVIN_FB_SERVICE="$work/service" \
    QUORVIN_FB_PORT="$port" QUORVIN_HOST_NAME=localhost QUORVIN_FB_WAIT_TRIES=6 bash "$script" "$@" 2>>"$work/said"
}
debian=$'# Firebird\n#RemoteBindAddress =\nRemoteBindAddress = localhost\nUdfAccess = None'
legacy=$'# Firebird\n#RemoteBindAddress =\n#RemoteBindAddress = localhost  # commented out by Quorvin test set-up\nUdfAccess = None'
bound=$'# Firebird\n#RemoteBindAddress =\nRemoteBindAddress = 127.0.0.1\nUdfAccess = None'
printf '127.0.0.1 localhost\n::1 ip6-localhost\n' >"$work/hosts"
cp "$work/hosts" "$work/hosts.orig"

# Debian's binding that leads elsewhere: bound to 127.0.0.1, then put back.
printf '%s\n' "$debian" >"$work/firebird.conf"
run || fail "no server after the set-up: $(cat "$work/said")"
[ "$(cat "$work/firebird.conf")" = "$bound" ] || fail "not bound to 127.0.0.1: $(cat "$work/firebird.conf")"
[ "$(cat "$work/bound")" = 127.0.0.1 ] || fail "listening on $(cat "$work/bound")"
run --restore
[ "$(cat "$work/firebird.conf")" = "$debian" ] || fail "not put back: $(cat "$work/firebird.conf")"
[ ! -e "$work/firebird.conf.quorvin-saved" ] || fail "the saved copy stays"

# An earlier set-up's server on every address: bound again at once.
printf '%s\n' "$legacy" >"$work/firebird.conf"
bash "$work/service" restart
[ "$(cat "$work/bound")" = 0.0.0.0 ] || fail "the stand-in did not listen everywhere"
run || fail "no server after the set-up: $(cat "$work/said")"
[ "$(cat "$work/bound")" = 127.0.0.1 ] || fail "still listening on $(cat "$work/bound")"
run --restore
[ "$(cat "$work/firebird.conf")" = "$debian" ] || fail "Debian's line not put back: $(cat "$work/firebird.conf")"

# A server that answers is left alone: no change, no restart.
printf '%s\n' "$bound" >"$work/firebird.conf"
bash "$work/service" restart
: >"$work/calls"
run || fail "a running server was not accepted"
[ ! -s "$work/calls" ] || fail "the service was called: $(cat "$work/calls")"
[ "$(cat "$work/firebird.conf")" = "$bound" ] || fail "the configuration was changed"

# --restore takes out only the hosts line it added.
printf '127.0.0.1 someone # added by Quorvin test set-up\n' | cat - "$work/hosts.orig" >"$work/hosts"
run --restore
cmp -s "$work/hosts" "$work/hosts.orig" || fail "hosts not put back: $(cat "$work/hosts")"
echo "start_firebird: every case passed"
