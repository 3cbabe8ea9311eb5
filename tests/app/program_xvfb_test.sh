#!/usr/bin/env bash
# The real program under a private Xvfb server with the icewm window manager,
# driven as a user would with xdotool: a backup of a database made with the
# embedded engine (protocol Local), the pane saved from its menu, a restore
# under a new name, both jobs in the history, the weekly plan making a
# backup while the window sits in the notification area, a second start that
# brings the first copy back, the tray icon's double click, and closing by the
# title bar. Screenshots of every step are left in the screenshot folder.
#
# usage: program_xvfb_test.sh <quorvin binary> <screenshot folder>
set -euo pipefail

binary=${1:?program binary}
shots=${2:?screenshot folder}
mkdir -p "$shots"
rm -f "$shots"/*.png

work=$(mktemp -d /tmp/quorvin-xvfb-XXXXXX)
chmod 0777 "$work"
pids=()
prog_pid=
cleanup() {
  local i
  [ -n "$prog_pid" ] && kill "$prog_pid" 2>/dev/null || true
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
    # The window manager's keeper is gone: end the manager itself.
    if [ -s "$work/icewm.pid" ] && ((i == 1)); then kill "$(cat "$work/icewm.pid")" 2>/dev/null || true; fi
  done
  if [ -n "${QUORVIN_KEEP_WORK:-}" ]; then echo "kept $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  echo "--- program errors" >&2; tail -n 30 "$work/program.err" >&2 || true
  echo "--- operation log" >&2; cat "$work"/prog/log/*.log >&2 2>/dev/null || true
  echo "--- window manager" >&2; tail -n 10 "$work/icewm.log" >&2 || true
  shot "99_failure" || true
  exit 1
}
shot() { import -window root "$shots/$1.png" 2>/dev/null && echo "screenshot $shots/$1.png"; }

# ---- display, window manager
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "FAIL: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
echo "display $DISPLAY"
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
# icewm now and then dies under Xvfb; it is started again at once so the
# program always has a task bar and a notification area to work with.
(
  while :; do
    HOME="$work/home" icewm >>"$work/icewm.log" 2>&1 &
    echo $! >"$work/icewm.pid"
    wait $! || true
    echo "icewm ended; starting it again" >>"$work/icewm.log"
    sleep 0.3
  done
) &
pids+=($!)
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done
sleep 1

# ---- a database of some size, so a job lasts long enough to be seen
data="$work/data"
mkdir -p "$data"
chmod 0777 "$data"
db="$data/shop.fdb"
isql-fb -q >"$work/isql.log" 2>&1 <<SQL || { cat "$work/isql.log" >&2; fail "cannot create the database"; }
create database '$db' page_size 8192;
create table orders (id integer not null primary key, customer varchar(40), note varchar(200));
commit;
set term ^;
execute block as
declare i integer = 0;
begin
  while (i < 200000) do
  begin
    insert into orders values (:i, 'customer ' || mod(:i, 977), rpad('order ' || :i, 180, '.'));
    i = i + 1;
  end
end^
set term ;^
commit;
create index orders_customer on orders (customer);
commit;
SQL
[ -f "$db" ] || fail "no database made"

# ---- the program folder: the executable and a settings file that chooses
# the embedded engine and the login.
prog="$work/prog"
mkdir -p "$prog"
cp "$binary" "$prog/quorvin"
cat >"$prog/Quorvin.INI" <<INI
[Main]
User=SYSDBA
Pass=masterkey
[Parameters]
Protocol=3
BackShutDown=0
AutoBackName=1
RememberPass=1
INI

# A plan with a clock time on every weekday, a minute and a half to two and
# a half minutes after the start, so the jobs before it end first. Day and
# night start together: there is no day window, the night's rhythm holds all
# day (a day rhythm would never run, and the dialog would not save it).
at=$(date -d "@$(($(date +%s) + 150))" +%H:%M:00)
echo "plan backup due at $at"
cat >>"$prog/Quorvin.INI" <<INI
[Plan]
Day1Back=1
Day2Back=1
Day3Back=1
Day4Back=1
Day5Back=1
Day6Back=1
Day7Back=1
NightPeriodBack=7
NightClockBack=$at
INI

export LC_ALL=C.UTF-8
export XDG_RUNTIME_DIR="$work/runtime"
export QT_QPA_PLATFORM=xcb

start_program() {
  "$prog/quorvin" >"$work/program.out" 2>"$work/program.err" &
  prog_pid=$!
  main_win=
  for _ in $(seq 100); do
    main_win=$(xdotool search --onlyvisible --name '^Quorvin$' 2>/dev/null | head -1 || true)
    [ -n "$main_win" ] && break
    sleep 0.1
  done
  [ -n "$main_win" ] || fail "the main window did not appear"
  sleep 0.5
  read -r win_x win_y < <(xdotool getwindowgeometry "$main_win" | awk '/Position/ {split($2, p, ","); print p[1], p[2]}')
  echo "main window $main_win at $win_x,$win_y"
}
# Click at a point of the main window's client area.
click_at() { xdotool mousemove "$((win_x + $1))" "$((win_y + $2))" click 1; sleep 0.3; }
window_visible() { xdotool search --onlyvisible --name '^Quorvin$' 2>/dev/null | grep -qx "$main_win"; }
# The first visible window titled $1 other than the main window.
find_other() {
  local w
  for w in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
    [ "$w" != "$main_win" ] && { echo "$w"; return 0; }
  done
  return 1
}
wait_other() {
  local w tries=${2:-100}
  for _ in $(seq "$tries"); do
    w=$(find_other "$1") && { echo "$w"; return 0; }
    kill -0 "$prog_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
# Answers a message box with its default button (Enter).
answer_box() {
  local box=$1
  xdotool windowactivate --sync "$box" 2>/dev/null || true
  sleep 0.2
  xdotool key --clearmodifiers Return
  for _ in $(seq 50); do
    xdotool search --onlyvisible --name '.' 2>/dev/null | grep -qx "$box" || return 0
    sleep 0.1
  done
  fail "the message box did not close"
}
# Presses the schedule dialog's "Запустить" (bottom row, 24 px above its
# lower edge; the buttons keep to the right edge, whatever the dialog's width).
start_plan() {
  local dlg=$1 dlg_x dlg_y dlg_w dlg_h
  read -r dlg_x dlg_y < <(xdotool getwindowgeometry "$dlg" | awk '/Position/ {split($2, p, ","); print p[1], p[2]}')
  read -r dlg_w dlg_h < <(xdotool getwindowgeometry "$dlg" | awk '/Geometry/ {split($2, g, "x"); print g[1], g[2]}')
  xdotool mousemove "$((dlg_x + dlg_w - 231))" "$((dlg_y + dlg_h - 24))" click 1
}
oplog() { cat "$prog"/log/*.log 2>/dev/null | tr -d '\r'; }

# Positions in the client area (the window's layout is fixed).
tab_x=(29 89 149 208)
tab_y=22

start_program
shot 01_database_page

# ---- every tab page
for i in 1 2 3; do
  click_at "${tab_x[i]}" "$tab_y"
  shot "0$((i + 1))_tab_page_$i"
done
click_at "${tab_x[0]}" "$tab_y"

# ---- backup: type the database path, press "Создать резервную копию"
click_at 266 87
xdotool key ctrl+a
xdotool type --delay 5 "$db"
shot 05_database_typed
xdotool mousemove "$((win_x + 102))" "$((win_y + 153))" click 1
shot 06_backup_in_progress
box=$(wait_other '^Quorvin$' 1200) || fail "no message after the backup"
shot 07_backup_done_message
answer_box "$box"
backup=$(ls "$data"/shop.fdb_*.gbk 2>/dev/null | head -1)
[ -n "$backup" ] || fail "no backup file beside the database"
echo "backup $backup ($(stat -c %s "$backup") bytes)"
oplog | grep -q "Резервная копия создана. $backup" || fail "no outcome line for the backup"

# ---- the pane's lines, saved from its context menu
click_at 296 282
xdotool mousemove "$((win_x + 296))" "$((win_y + 282))" click 3
sleep 0.4
shot 08_pane_menu
xdotool key Down Return
save=$(wait_other '.' 50) || fail "no save dialog"
sleep 0.4
xdotool key ctrl+a
xdotool type --delay 5 "$work/pane"
xdotool key Return
for _ in $(seq 50); do [ -f "$work/pane.txt" ] && break; sleep 0.1; done
[ -f "$work/pane.txt" ] || fail "the pane was not saved as pane.txt"
lines=$(grep -c 'gbak:' "$work/pane.txt" || true)
echo "pane: $(wc -l <"$work/pane.txt") lines, $lines from gbak"
[ "$lines" -ge 20 ] || fail "the pane holds too few lines of the job"
grep -q "$backup" "$work/pane.txt" || true

# ---- restore the new backup under a new name
click_at "${tab_x[1]}" "$tab_y"
restored="$data/restored.fdb"
click_at 280 129
xdotool type --delay 5 "$restored"
shot 09_restore_page_filled
click_at 58 155
box=$(wait_other '^Quorvin$' 100) || fail "no confirmation before the restore"
shot 10_restore_confirmation
xdotool windowactivate --sync "$box" 2>/dev/null || true
xdotool key --clearmodifiers Return
shot 11_restore_in_progress
box=$(wait_other '^Quorvin$' 1800) || fail "no message after the restore"
shot 12_restore_done_message
answer_box "$box"
[ -f "$restored" ] || fail "no restored database"
oplog | grep -q "Резервная копия восстановлена. $restored" || fail "no outcome line for the restore"
echo "restored $restored"

# ---- the history: the backup and the restore just made, one record each
history="$prog/Quorvin.history.jsonl"
grep -q '"kind":"backup".*"outcome":"success"' "$history" || fail "no backup in the history"
grep -q '"kind":"restore".*"outcome":"success"' "$history" || fail "no restore in the history"

# ---- the plan (prepared in the settings file at start, loaded by the
# schedule dialog): "Запустить" hides the window into the notification area
click_at "${tab_x[0]}" "$tab_y"
click_at 323 153
plan=$(wait_other 'Расписание' 50) || fail "no schedule dialog"
shot 13_schedule_dialog
start_plan "$plan"
for _ in $(seq 50); do window_visible || break; sleep 0.1; done
window_visible && fail "the window did not hide when the plan started"
sleep 0.5
shot 14_plan_running_in_tray
oplog | grep -q 'Сервис запущен.' || fail "no start line for the plan"
echo "waiting for the plan backup"
for _ in $(seq 2000); do
  oplog | grep -q 'резервная копия. начало' && break
  sleep 0.1
done
oplog | grep -q 'резервная копия. начало' || fail "the plan started no backup"
sleep 0.5
shot 15_plan_backup_in_progress
for _ in $(seq 600); do
  [ "$(oplog | grep -c '^---$' || true)" -ge 1 ] && break
  sleep 0.1
done
[ "$(oplog | grep -c 'Резервная копия создана.' || true)" -ge 2 ] || fail "the plan backup made no file"
window_visible && fail "the window came back during the plan backup"
echo "plan backup made"

# ---- a second start brings the hidden copy back and ends at once
t0=$(date +%s%N)
set +e
timeout 5 "$prog/quorvin" >/dev/null 2>"$work/second.err"
second_status=$?
set -e
t1=$(date +%s%N)
second_ms=$(((t1 - t0) / 1000000))
echo "second start: status $second_status after $second_ms ms"
[ "$second_status" -eq 0 ] || fail "the second start ended with status $second_status"
[ "$second_ms" -lt 1000 ] || fail "the second start took $second_ms ms"
kill -0 "$prog_pid" 2>/dev/null || fail "the first copy ended"
for _ in $(seq 30); do window_visible && break; sleep 0.1; done
window_visible || fail "the first copy did not show itself"
[ "$(pgrep -c -f "$prog/quorvin" || true)" -eq 1 ] || fail "more than one copy runs"
sleep 0.3
shot 16_shown_by_second_start

# ---- into the tray again; a double click on the icon brings it back
click_at 323 153
plan=$(wait_other 'Расписание' 50) || fail "no schedule dialog"
start_plan "$plan"
for _ in $(seq 50); do window_visible || break; sleep 0.1; done
window_visible && fail "the window did not hide the second time"
icon=
for _ in $(seq 50); do
  for w in $(xdotool search --classname quorvin 2>/dev/null); do
    [ "$w" = "$main_win" ] && continue
    geo=$(xwininfo -id "$w" 2>/dev/null) || continue
    echo "$geo" | grep -q 'IsViewable' || continue
    width=$(echo "$geo" | awk '/Width:/ {print $2}')
    [ "$width" -le 48 ] && [ "$width" -ge 8 ] && icon=$w && break
  done
  [ -n "$icon" ] && break
  sleep 0.1
done
[ -n "$icon" ] || fail "no icon in the notification area"
read -r icon_x icon_y < <(xwininfo -id "$icon" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} /Width:/ {w=$2} /Height:/ {h=$2} END {print x + int(w / 2), y + int(h / 2)}')
import -window root -crop "300x40+$((icon_x - 150))+$((icon_y - 20))" +repage "$work/tray.png"
convert "$work/tray.png" -scale 300% "$shots/17_tray_icon_running.png"
xdotool mousemove "$icon_x" "$icon_y"
sleep 0.3
xdotool click --repeat 2 --delay 120 1
for _ in $(seq 50); do window_visible && break; sleep 0.1; done
window_visible || fail "the double click did not bring the window back"
shot 18_back_from_tray

# ---- the pages the README shows (docs/): "О программе" and "История"
click_at "${tab_x[3]}" "$tab_y"
sleep 0.3
import -window "$main_win" "$shots/readme_about.png"
click_at 268 "$tab_y"
sleep 0.8
import -window "$main_win" "$shots/readme_history.png"
click_at "${tab_x[0]}" "$tab_y"
sleep 0.3
[ "$(oplog | grep -c 'Сервис остановлен.' || true)" -ge 2 ] || fail "bringing the window back did not stop the plan"

# ---- closing by the title bar ends the program and saves the settings
xdotool windowactivate --sync "$main_win" 2>/dev/null || true
xdotool key --clearmodifiers alt+F4
for _ in $(seq 100); do kill -0 "$prog_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$prog_pid" 2>/dev/null && fail "the program did not end when its window closed"
wait "$prog_pid" 2>/dev/null || true
grep -q "Name0=$db" "$prog/Quorvin.INI" || fail "the database list was not saved"

# ---- the lock was given up: an immediate new start shows its window
start_program
kill -0 "$prog_pid" 2>/dev/null || fail "a new start after closing did not run"
xdotool windowactivate --sync "$main_win" 2>/dev/null || true
xdotool key --clearmodifiers alt+F4
for _ in $(seq 100); do kill -0 "$prog_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$prog_pid" 2>/dev/null && fail "the new start did not end"
prog_pid=
echo "--- operation logs"
oplog
echo "PASS: the program under $DISPLAY; screenshots in $shots"
