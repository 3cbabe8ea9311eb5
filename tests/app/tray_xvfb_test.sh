#!/usr/bin/env bash
# The tray icon in a real notification area: a private Xvfb server with the
# icewm window manager (its task bar hosts tray icons), the demo program
# tray_xvfb_demo driven with xdotool, and screenshots of every step.
#
# usage: tray_xvfb_test.sh <tray_xvfb_demo binary> <screenshot folder>
set -euo pipefail

demo=${1:?demo binary}
shots=${2:?screenshot folder}
mkdir -p "$shots"
rm -f "$shots"/*.png

work=$(mktemp -d)
pids=()
started() {  # remembers a process this script started
  pids+=("$1")
  echo "$1" >>"$work/pids"
}
cleanup() {
  exec 4>&- 2>/dev/null || true
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
  [ -n "${watchdog:-}" ] && kill "$watchdog" 2>/dev/null
  return 0
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP PIPE
# Should this script be killed outright, the watchdog still ends the server,
# the window manager and the demo it started.
script_pid=$$
(
  while kill -0 "$script_pid" 2>/dev/null; do sleep 1; done
  [ -f "$work/pids" ] && xargs -r kill <"$work/pids" 2>/dev/null
  rm -rf "$work"
) >/dev/null 2>&1 &
watchdog=$!

fail() {
  echo "FAIL: $*" >&2
  echo "--- demo report" >&2; cat "$work/report" >&2 || true
  echo "--- demo errors" >&2; tail -n 30 "$work/demo.err" >&2 || true
  echo "--- icewm" >&2; tail -n 20 "$work/icewm.log" >&2 || true
  echo "--- Xvfb" >&2; tail -n 20 "$work/xvfb.log" >&2 || true
  exit 1
}

# Xvfb chooses a free display number itself and writes it to fd 3 when ready.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
started $!
for _ in $(seq 300); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
echo "display $DISPLAY"

# The window manager with its task bar and tray, with a settings folder of
# its own so no user's configuration interferes.
mkdir -p "$work/home"
HOME="$work/home" icewm >"$work/icewm.log" 2>&1 &
started $!
# (Output captured first: `grep -q` in a pipe can fail the pipe under pipefail.)
wm_ready() {
  local out
  out=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null) || true
  [[ $out == *"window id"* ]]
}
for _ in $(seq 300); do wm_ready && break; sleep 0.1; done
wm_ready || fail "icewm did not start"
sleep 1  # the task bar and its tray come up just after the manager

mkfifo "$work/commands"
: >"$work/report"
QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work" "$demo" <"$work/commands" >"$work/report" 2>"$work/demo.err" &
demo_pid=$!
started "$demo_pid"
exec 4>"$work/commands"

send() { echo "$1" >&4; }
# Waits until the report holds at least <count> lines starting with <prefix>.
wait_count() {
  local prefix=$1 count=$2 tries=${3:-300}
  for _ in $(seq "$tries"); do
    [ "$(grep -c "^$prefix" "$work/report" || true)" -ge "$count" ] && return 0
    kill -0 "$demo_pid" 2>/dev/null || fail "the demo ended while waiting for '$prefix'"
    sleep 0.1
  done
  fail "no report '$prefix' (x$count)"
}
last() { grep "^$1=" "$work/report" | tail -n 1 | cut -d= -f2-; }
wait_last() {
  local key=$1 value=$2
  for _ in $(seq 300); do
    [ "$(last "$key")" = "$value" ] && return 0
    sleep 0.1
  done
  fail "$key is '$(last "$key")', expected '$value'"
}
shot() { import -window root "$shots/$1.png"; echo "screenshot $shots/$1.png"; }
# Shot of the task bar's right end, where the tray sits, enlarged.
shot_tray() {
  local x=$((icon_x - 150)) y=$((icon_y - 20))
  ((x < 0)) && x=0
  ((y < 0)) && y=0
  import -window root -crop "260x60+$x+$y" +repage -resize 300% "$shots/$1.png"
  echo "screenshot $shots/$1.png"
}
centre_of() {  # "x,y,w,h" -> "cx cy"
  local x y w h
  IFS=, read -r x y w h <<<"$1"
  echo "$((x + w / 2)) $((y + h / 2))"
}

wait_count "window=shown" 1
[ "$(last tray-available)" = 1 ] || fail "no notification area under icewm"
shot 01_window_shown

# The plan starts: the window hides and the icon enters the tray with picture 1.
send start-plan
wait_count "icon=" 1
[ "$(last icon)" != none ] || fail "the icon never appeared in the tray"
[ "$(last window)" = hidden ] || fail "the window did not hide into the tray"
[ "$(last icon-index)" = 1 ] || fail "picture 1 is not shown"
read -r icon_x icon_y < <(centre_of "$(last icon)")
echo "icon at $icon_x,$icon_y"
shot 02_hidden_in_tray
shot_tray 03_tray_icon

# The tool tip.
xdotool mousemove "$icon_x" "$icon_y"
sleep 0.3
xdotool mousemove "$((icon_x + 1))" "$icon_y"
wait_last tooltip Quorvin
shot_tray 04_tray_tooltip

# A right click opens the menu at the cursor; a click elsewhere closes it.
xdotool mousemove "$icon_x" "$icon_y" click 3
wait_count "menu=open" 1
sleep 0.3
shot 05_tray_menu
xdotool mousemove 600 300 click 1
wait_count "menu=closed" 1

# A double click brings the window back and takes the icon away.
xdotool mousemove "$icon_x" "$icon_y"
sleep 0.2
xdotool click --repeat 2 --delay 120 1
wait_count "event=dblclick" 1
wait_last window shown
wait_last icon-visible 0
shot 06_restored_by_double_click

# Hidden again; this time the menu item "Восстановить" brings it back.
send start-plan
wait_count "icon=" 2
[ "$(last window)" = hidden ] || fail "the window did not hide the second time"
read -r icon_x icon_y < <(centre_of "$(last icon)")
xdotool mousemove "$icon_x" "$icon_y" click 3
wait_count "menu=open" 2
read -r item_x item_y < <(centre_of "$(last restore-item)")
xdotool mousemove "$item_x" "$item_y"
sleep 0.2
xdotool click 1
wait_last window shown
wait_last icon-visible 0

# While MinimizeToTray is on, minimising the window hides it into the tray.
send start-plan
wait_count "icon=" 3
send reveal-only
wait_last window shown
hides=$(grep -c '^window-event=hide' "$work/report" || true)
# The icon's own window shares the title; the main window is the normal one.
main_window=
for w in $(xdotool search --onlyvisible --name '^Quorvin$'); do
  type=$(xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null) || true
  [[ $type == *_NET_WM_WINDOW_TYPE_NORMAL* ]] && main_window=$w
done
[ -n "$main_window" ] || fail "the main window is not on screen"
xdotool windowminimize "$main_window"
wait_count "window-event=minimized" 1
wait_count "window-event=hide" $((hides + 1))
shot 07_minimised_into_tray
shown=$(grep -c '^window=shown' "$work/report" || true)
xdotool mousemove "$icon_x" "$icon_y"
sleep 0.2
xdotool click --repeat 2 --delay 120 1
wait_count "event=dblclick" 2
wait_count "window=shown" $((shown + 1))
wait_last icon-visible 0

# Both dialogs, opened on the backup page and on the restore page.
send dialogs-backup
wait_count "dialogs=shown" 1
shot 08_dialogs_backup_page
send dialogs-restore
wait_count "dialogs=shown" 2
shot 09_dialogs_restore_page
send close-dialogs

send quit
wait_count "exit=1" 1
for _ in $(seq 100); do kill -0 "$demo_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$demo_pid" 2>/dev/null && fail "the demo did not end"
status=0
wait "$demo_pid" || status=$?
[ "$status" -eq 0 ] || fail "the demo ended with status $status"
if grep -q "^unknown=" "$work/report"; then fail "the demo did not understand a command"; fi
echo "PASS: tray icon under $DISPLAY; screenshots in $shots"
