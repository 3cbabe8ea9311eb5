#!/bin/bash
# The real program, headless, in a program folder of its own, with a standard
# input that nobody ever writes to: SIGTERM, SIGINT and SIGHUP each end it as
# an ordinary close does (status 0, the settings file written), and the lock
# is free again afterwards.
#   session_end_test.sh <quorvin executable>
set -u
program=$1
work=$(mktemp -d)
trap 'exec 3>&- 2>/dev/null; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
failures=0

fail() {
  echo "FAIL ($1): $2"
  failures=$((failures + 1))
}

for signal in TERM INT HUP; do
  dir=$work/$signal
  mkdir -p "$dir/run"
  chmod 700 "$dir/run"
  cp "$program" "$dir/quorvin"
  # Settings the program must hand back at close, rewritten in its own form.
  printf '[Main]\nUser=ALICE\n[Parameters]\nRememberPass=1\n[BDNames]\nName0=/data/shop.gdb\n' >"$dir/Quorvin.INI"
  mkfifo "$dir/stdin"
  exec 3<>"$dir/stdin"
  # As from a terminal: a background start would have SIGINT ignored.
  XDG_RUNTIME_DIR=$dir/run env --default-signal=INT,HUP "$dir/quorvin" <&3 >"$dir/out.txt" 2>&1 &
  pid=$!
  # The operation log appears once the controller exists; the signal
  # handling is in place before that.
  for _ in $(seq 200); do
    compgen -G "$dir/log/*.log" >/dev/null && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if ! compgen -G "$dir/log/*.log" >/dev/null; then
    fail "$signal" "the program did not start: $(cat "$dir/out.txt")"
    kill -KILL "$pid" 2>/dev/null
    exec 3>&-
    continue
  fi
  sleep 0.3
  kill -"$signal" "$pid"
  status=timeout
  for _ in $(seq 200); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      status=$?
      break
    fi
    sleep 0.1
  done
  if [ "$status" = timeout ]; then
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  fi
  exec 3>&-
  [ "$status" = 0 ] || fail "$signal" "exit status $status; output: $(cat "$dir/out.txt")"
  ini=$(cat "$dir/Quorvin.INI")
  # Written at close: every key of the program, the old ones kept.
  grep -q '^AutoBackName=' <<<"$ini" || fail "$signal" "settings file not written at close: $ini"
  grep -q '^User=ALICE$' <<<"$ini" || fail "$signal" "user lost: $ini"
  grep -q '^Name0=/data/shop.gdb$' <<<"$ini" || fail "$signal" "database list lost: $ini"
  # A new copy starts at once: the lock went with the first one.
  XDG_RUNTIME_DIR=$dir/run timeout 20 "$dir/quorvin" </dev/null >/dev/null 2>&1 &
  second=$!
  sleep 1.5
  if kill -0 "$second" 2>/dev/null; then
    kill -TERM "$second"
    wait "$second"
    second_status=$?
    [ "$second_status" = 0 ] || fail "$signal" "the next copy ended with $second_status"
  else
    wait "$second"
    fail "$signal" "the next copy did not keep running (status $?)"
  fi
done

# Started with nohup: a hang-up leaves it running, a SIGTERM closes it.
dir=$work/nohup
mkdir -p "$dir/run"
chmod 700 "$dir/run"
cp "$program" "$dir/quorvin"
XDG_RUNTIME_DIR=$dir/run nohup "$dir/quorvin" </dev/null >"$dir/out.txt" 2>&1 &
pid=$!
for _ in $(seq 200); do
  compgen -G "$dir/log/*.log" >/dev/null && break
  sleep 0.1
done
sleep 0.3
kill -HUP "$pid"
sleep 1
if kill -0 "$pid" 2>/dev/null; then
  kill -TERM "$pid"
  for _ in $(seq 200); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  wait "$pid"
  status=$?
  [ "$status" = 0 ] || fail nohup "exit status $status after SIGTERM"
  grep -q '^AutoBackName=' "$dir/Quorvin.INI" 2>/dev/null || fail nohup "settings file not written"
else
  wait "$pid"
  fail nohup "a hang-up ended the program started with nohup (status $?)"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "session end: all signals close the program as a close does"
