#!/usr/bin/env bash
# Starts an S3-compatible object store for the tests: a single-node Ceph
# cluster (one monitor, one OSD keeping its data in memory) with the RADOS
# gateway in front, from Debian's packages, without systemd, all under a
# folder of its own. The gateway listens on 127.0.0.1 only. Needs root.
#
#   scripts/start_s3_gateway.sh          start (already running: says so)
#   scripts/start_s3_gateway.sh --stop   stop it and remove its folder
#
# It writes an environment file (mode 0600) that the tests read:
#   AWS_ENDPOINT_URL, AWS_REGION, AWS_ACCESS_KEY_ID, AWS_SECRET_ACCESS_KEY
#   and QUORVIN_S3_CEPH_CONF (the cluster's configuration, for tests that
#   start a gateway of their own beside this one).
# The keys are new at every start; the store forgets everything when it stops.
set -euo pipefail

dir=${QUORVIN_S3_DIR:-/run/quorvin-s3}
port=${QUORVIN_S3_PORT:-7480}
mon_port=${QUORVIN_S3_MON_PORT:-13300}
region=us-east-1
conf="$dir/ceph.conf"
env_file="$dir/env"

say() { echo "start_s3_gateway: $*" >&2; }
die() { say "$*"; exit 1; }
answers() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
ceph_cmd() { ceph -c "$conf" --connect-timeout 10 "$@"; }

# The daemons this script started, by their pid files.
pids() {
  local f
  for f in "$dir"/run/*.pid; do
    [ -e "$f" ] && cat "$f"
  done
  return 0
}

running() {
  [ -e "$env_file" ] && answers "$port" || return 1
  local pid
  for pid in $(pids); do kill -0 "$pid" 2>/dev/null || return 1; done
}

stop() {
  local pid pending
  pending=$(pids)
  [ -n "$pending" ] && kill $pending 2>/dev/null || true
  for _ in $(seq 1 100); do
    pending=$(for pid in $pending; do if kill -0 "$pid" 2>/dev/null; then echo "$pid"; fi; done)
    [ -z "$pending" ] && break
    sleep 0.1
  done
  [ -n "$pending" ] && kill -9 $pending 2>/dev/null || true
  rm -rf "$dir"
}

write_conf() {
  cat >"$conf" <<EOF
[global]
fsid = $1
mon host = v2:127.0.0.1:$mon_port
public addr = 127.0.0.1
auth cluster required = none
auth service required = none
auth client required = none
# One OSD holding its data in memory: no disk set-up, nothing left behind.
# Memory is taken only as data is stored; the size leaves room for
# benchmarks of backups of a few GB (a full OSD blocks every write).
osd objectstore = memstore
memstore device bytes = 8589934592
osd pool default size = 1
osd pool default min size = 1
osd pool default pg num = 8
osd pool default pgp num = 8
mon allow pool size one = true
mon warn on pool no redundancy = false
mon max pg per osd = 1000
osd crush chooseleaf type = 0
# The gateway's pools are created in well under a second.
paxos propose interval = 0.1
# Deleted objects' space comes back within a minute, not after two hours.
rgw gc obj min wait = 30
rgw gc processor period = 30
mon data = $dir/mon.\$id
osd data = $dir/osd.\$id
run dir = $dir/run
pid file = $dir/run/\$name.pid
admin socket = $dir/run/\$name.asok
log file = $dir/log/\$name.log
keyring = $dir/keyring
[client]
# Without authentication the gateway opens its port only with this mode.
ms mon client mode = crc
EOF
}

start_monitor() {
  monmaptool --create --addv a "[v2:127.0.0.1:$mon_port]" --fsid "$1" "$dir/monmap" >/dev/null
  ceph-authtool --create-keyring "$dir/keyring" --gen-key -n mon. --cap mon 'allow *' >/dev/null
  ceph-mon -c "$conf" --mkfs -i a --monmap "$dir/monmap" --keyring "$dir/keyring"
  ceph-mon -c "$conf" -i a
}

start_osd() {
  local uuid
  uuid=$(cat /proc/sys/kernel/random/uuid)
  ceph_cmd osd new "$uuid" >/dev/null
  ceph-osd -c "$conf" -i 0 --mkfs --osd-uuid "$uuid" >"$dir/log/osd-mkfs.log" 2>&1 ||
    die "the OSD could not be prepared; see $dir/log/osd-mkfs.log"
  ceph-osd -c "$conf" -i 0 2>>"$dir/log/osd-start.log"
  for _ in $(seq 1 150); do
    ceph_cmd osd stat -f json 2>/dev/null | grep -q '"num_up_osds":1' && return 0
    sleep 0.2
  done
  die "the OSD did not come up within 30 s; see $dir/log"
}

start_gateway() {
  radosgw -c "$conf" -n client.rgw.quorvin --rgw-frontends "beast endpoint=127.0.0.1:$port"
  for _ in $(seq 1 300); do
    answers "$port" && return 0
    sleep 0.1
  done
  die "the gateway did not open 127.0.0.1:$port within 30 s; see $dir/log/client.rgw.quorvin.log"
}

# The test user's keys are the ones the gateway makes (never on a command
# line), written with the address to the environment file.
write_env() {
  (
    umask 077
    radosgw-admin -c "$conf" user create --uid=quorvin-test --display-name="Quorvin tests" >"$dir/user.json"
    python3 - "$dir/user.json" "$port" "$region" "$conf" >"$env_file.new" <<'PY'
import json, sys
keys = json.load(open(sys.argv[1]))["keys"][0]
print(f"AWS_ENDPOINT_URL=http://127.0.0.1:{sys.argv[2]}")
print(f"AWS_REGION={sys.argv[3]}")
print(f"AWS_ACCESS_KEY_ID={keys['access_key']}")
print(f"AWS_SECRET_ACCESS_KEY={keys['secret_key']}")
print(f"QUORVIN_S3_CEPH_CONF={sys.argv[4]}")
PY
    rm -f "$dir/user.json"
  )
  mv "$env_file.new" "$env_file"
}

if [ "${1:-}" = "--stop" ]; then
  [ -d "$dir" ] || { say "not running"; exit 0; }
  stop
  say "stopped; $dir removed"
  exit 0
fi
[ "$(id -u)" -eq 0 ] || die "needs root"
if running; then
  say "already running at http://127.0.0.1:$port (environment in $env_file)"
  echo "$env_file"
  exit 0
fi
answers "$port" && die "127.0.0.1:$port is taken by another program"
for tool in ceph-mon ceph-osd radosgw radosgw-admin ceph monmaptool ceph-authtool; do
  command -v "$tool" >/dev/null || die "$tool is missing (scripts/install_deps.sh installs it)"
done

# Whatever a run before left (a crash, a killed script) goes first.
stop
started=$(date +%s%N)
mkdir -p "$dir/run" "$dir/log" "$dir/mon.a" "$dir/osd.0"
chmod 700 "$dir"
fsid=$(cat /proc/sys/kernel/random/uuid)
write_conf "$fsid"
start_monitor "$fsid"
start_osd
start_gateway
write_env
tenths=$((($(date +%s%N) - started) / 100000000))
say "running at http://127.0.0.1:$port, started in $((tenths / 10)).$((tenths % 10)) s (environment in $env_file)"
echo "$env_file"
