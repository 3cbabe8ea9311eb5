#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address sanitizer) in their own
# build folder and runs each for a bounded time. Usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
build=build-fuzz

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" \
  -DQUORVIN_FUZZ=ON -DQUORVIN_WITH_GUI=OFF -DQUORVIN_BENCH=OFF -DQUORVIN_SANITIZE=ON >/dev/null
cmake --build "$build" --target service_fuzz -j "$(nproc)"

# A few well-formed seeds: a line answer, the end answer, an attach list,
# backup and restore file lists, and stream answers.
corpus="$build/corpus/service_fuzz"
mkdir -p "$corpus"
printf '\x00\x06\x3e\x05\x00hello\x01' >"$corpus/answer_line"
printf '\x00\x06\x3e\x00\x00\x01' >"$corpus/answer_end"
printf '\x01User_Name=SYSDBA\nPassword=masterkey' >"$corpus/attach"
printf '\x02\x86db.fdb\na.gbk=100\nb.gbk' >"$corpus/backup"
printf '\x03\xa0a.gbk\nx.fdb=200\ny.fdb' >"$corpus/restore"
printf '\x04\x3f\x03\x00abc\x02\x3f\x00\x00\x01' >"$corpus/stream_backup"
printf '\x04\x4e\x00\x00\x04\x00\x3e\x02\x00ok\x01' >"$corpus/stream_restore"

# The fuzzer's own chatter goes to a log; a finding prints it whole and fails.
log="$build/service_fuzz.log"
if ! "$build/tests/service/service_fuzz" -max_total_time="$seconds" -print_final_stats=1 "$corpus" >"$log" 2>&1; then
  cat "$log"
  echo "fuzz: service_fuzz found a fault (log above)" >&2
  exit 1
fi
echo "fuzz: service_fuzz ran ${seconds} s: $(grep -m1 -o 'Done [0-9]* runs' "$log" || echo 'no run count'), no fault found"
