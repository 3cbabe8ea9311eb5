#!/usr/bin/env bash
# scripts/start_s3_gateway.sh for real, with a folder and ports of its own
# (the shared gateway is left alone): it starts a store that answers signed
# requests on 127.0.0.1 only and takes buckets with Object Lock, writes its
# environment file readable by root only, says so when already running, and
# --stop leaves nothing behind.
# Usage: start_s3_gateway_test.sh <path of start_s3_gateway.sh>
set -euo pipefail
script=$1
work=$(mktemp -d)
dir="$work/s3"
free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
port=$(free_port)
mon_port=$(free_port)
run() { QUORVIN_S3_DIR="$dir" QUORVIN_S3_PORT="$port" QUORVIN_S3_MON_PORT="$mon_port" bash "$script" "$@"; }
trap 'run --stop >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || fail "needs root (the script runs Ceph's daemons)"
env_file=$(run 2>"$work/said") || fail "the first start failed: $(cat "$work/said")"
[ "$env_file" = "$dir/env" ] || fail "it printed '$env_file', not its environment file"
[ "$(stat -c %a "$env_file")" = 600 ] || fail "the environment file is not the owner's only"
grep -q "started in" "$work/said" || fail "it did not say how long it took: $(cat "$work/said")"
set -a
# shellcheck disable=SC1090
. "$env_file"
set +a
[ "$AWS_ENDPOINT_URL" = "http://127.0.0.1:$port" ] || fail "endpoint $AWS_ENDPOINT_URL"
[ -n "$AWS_REGION" ] && [ -n "$AWS_ACCESS_KEY_ID" ] && [ -n "$AWS_SECRET_ACCESS_KEY" ] || fail "keys missing"
ss -ltnH "sport = :$port" | grep -qv "127.0.0.1:$port" && fail "the gateway listens beyond 127.0.0.1"

empty=e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855
s3() {
  curl -sS --aws-sigv4 "aws:amz:$AWS_REGION:s3" --user "$AWS_ACCESS_KEY_ID:$AWS_SECRET_ACCESS_KEY" \
    -H "x-amz-content-sha256: $empty" "$@"
}
s3 -f -X PUT -H "x-amz-bucket-object-lock-enabled: true" "$AWS_ENDPOINT_URL/locked" || fail "no bucket made"
s3 -f "$AWS_ENDPOINT_URL/locked?object-lock=" | grep -q "<ObjectLockEnabled>Enabled</ObjectLockEnabled>" ||
  fail "the bucket has no Object Lock"
s3 -f "$AWS_ENDPOINT_URL/" | grep -q "<Name>locked</Name>" || fail "the bucket is not listed"

again=$(run 2>"$work/said") || fail "a second start failed"
grep -q "already running" "$work/said" || fail "a second start did not say it runs: $(cat "$work/said")"
[ "$again" = "$env_file" ] || fail "a second start printed '$again'"

run --stop 2>/dev/null || fail "--stop failed"
[ ! -e "$dir" ] || fail "--stop left $dir"
pgrep -f "$dir" >/dev/null && fail "--stop left daemons running"
(exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && fail "the gateway still answers"
echo "start_s3_gateway: all checks passed"
