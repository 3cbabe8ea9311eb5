#!/usr/bin/env bash
# The application shell's benchmarks at full size, on a private Xvfb display
# with the icewm window manager (so the notification area exists):
#   - cold start to the main window shown, median of 9 starts;
#   - resident memory with the window in the notification area, median of 3;
#   - cost per line of the log pane up to 1 000 000 lines, with the longest
#     gap in event handling meanwhile;
#   - the longest time the user-interface thread handles no events during a
#     backup and a restore of a generated database of at least 200 MB;
#   - resident memory after 20 jobs from the window;
#   - the longest stall and the wall time of that backup while a notice stays
#     open, beside the same backup without one.
# $1: the build folder. APP_BENCH_SIZE_MB and APP_BENCH_ROUNDS shrink the
# last one for a quick look.
set -euo pipefail
build=${1:-build}
bench="$build/bench/app_bench"
size_mb=${APP_BENCH_SIZE_MB:-200}
rounds=${APP_BENCH_ROUNDS:-3}

work=$(mktemp -d /tmp/quorvin-app-bench-XXXXXX)
pids=()
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "app bench: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
HOME="$work/home" icewm >"$work/icewm.log" 2>&1 &
pids+=($!)
sleep 2
export XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
value() { awk -v k="$1:" '$1 == k {print $2}'; }

: >"$work/start"
for _ in $(seq 9); do
  QUORVIN_BENCH_T0=$(date +%s%N) "$bench" start 2>/dev/null | value start_ms >>"$work/start"
done
echo "start_to_window_shown_ms (median of 9): $(median <"$work/start")  [$(tr '\n' ' ' <"$work/start")]"

: >"$work/idle"
for _ in 1 2 3; do
  "$bench" idle 2>/dev/null >"$work/idle.out"
  value idle_in_tray_mb <"$work/idle.out" >>"$work/idle"
done
echo "idle_in_notification_area_mb (median of 3): $(median <"$work/idle")  [$(tr '\n' ' ' <"$work/idle")]; icon shown: $(value icon_in_notification_area <"$work/idle.out")"

"$bench" pane --lines 1000000 2>/dev/null | grep -v '_at_'

"$bench" stall --size-mb "$size_mb" --rounds "$rounds" 2>/dev/null

# The same backup with a notice open from early in the job to its end, beside
# the backup without one: the notice must not hold the job up.
"$bench" notice --size-mb "$size_mb" --rounds "${APP_BENCH_NOTICE_ROUNDS:-7}" 2>/dev/null

# Resident memory after 20 jobs from the window (backups and restores of a
# 20 MB database, the history page looked at after each), and what keeps
# data between jobs.
"$bench" jobs --jobs 20 --size-mb "${APP_BENCH_JOBS_SIZE_MB:-20}" 2>/dev/null | grep -v '^database_mb'
