#!/usr/bin/env bash
# The real program in a StatusNotifierItem notification area: a private Xvfb
# server and D-Bus session bus, and Xfce's panel with its notification area
# (the systray plugin hosts StatusNotifierItems). The program resumes its plan
# at start, hidden; the plan backup fails (the database is missing) with no
# box anywhere: the log says why, the icon turns to its warning picture and
# its tool tip tells. A single click brings the window back; in a second run
# the icon's menu ends the program. A screenshot is left only on failure.
#
# usage: program_sni_xvfb_test.sh <quorvin binary> <screenshot folder>
set -euo pipefail

binary=${1:?program binary}
shots=${2:?screenshot folder}
# Everything below runs on a session bus of its own.
if [ -z "${QUORVIN_SNI_BUS:-}" ]; then
  work=$(mktemp -d /tmp/quorvin-sni-XXXXXX)
  export QUORVIN_SNI_BUS=1 QUORVIN_SNI_WORK=$work XDG_CONFIG_HOME=$work/config HOME=$work/home
  status=0
  dbus-run-session -- bash "$0" "$@" 2>"$work/bus.err" || status=$?
  [ "$status" -eq 0 ] || tail -n 20 "$work/bus.err" >&2
  rm -rf "$work"
  exit "$status"
fi
work=$QUORVIN_SNI_WORK
mkdir -p "$shots" "$HOME" "$work/runtime" "$work/prog" "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
rm -f "$shots"/*.png
chmod 700 "$work/runtime"
pids=()
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  tail -n 20 "$work/program.err" >&2 || true
  cat "$work"/prog/log/*.log >&2 2>/dev/null || true
  import -window root "$shots/failure.png" 2>/dev/null || true
  exit 1
}
oplog() { cat "$work"/prog/log/*.log 2>/dev/null | tr -d '\r'; }
wait_for() {  # <tries of 0.1 s> <command...>
  local tries=$1
  shift
  for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.1; done
  return 1
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
wait_for 100 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(tr -d '[:space:]' <"$work/display")" XDG_RUNTIME_DIR="$work/runtime"
export NO_AT_BRIDGE=1 LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb

# A panel along the top holding only the notification area.
cat >"$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="size" type="uint" value="32"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="plugin-ids" type="array"><value type="int" value="1"/></property>
    </property>
  </property>
  <property name="plugins" type="empty"><property name="plugin-1" type="string" value="systray"/></property>
</channel>
XML
xfce4-panel --disable-wm-check >"$work/panel.log" 2>&1 &
pids+=($!)
watcher() {
  gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher "$1" 2>/dev/null
}
host_ready() { [[ $(watcher IsStatusNotifierHostRegistered) == *true* ]]; }
wait_for 300 host_ready || fail "no StatusNotifierItem host on the session bus"

# A plan due at the next whole minute (with time to start first), for a
# database that is not there; the plan was running at the last close.
now=$(date +%s)
at=$(date -d "@$((now - now % 60 + (now % 60 < 45 ? 60 : 120)))" +%H:%M:00)
cp "$binary" "$work/prog/quorvin"
{
  printf '[Main]\nUser=SYSDBA\nPass=masterkey\nDataBase=%s\n' "$work/missing.fdb"
  printf '[Parameters]\nProtocol=3\nBackShutDown=0\nRememberPass=1\n[Plan]\n'
  for d in 1 2 3 4 5 6 7; do echo "Day${d}Back=1"; done
  printf 'DayPeriodBack=7\nNightPeriodBack=7\nDayClockBack=%s\nNightClockBack=%s\n' "$at" "$at"
  printf 'ResumePlan=1\nPlanRunning=1\n'
} >"$work/prog/Quorvin.INI"

start_program() {
  "$work/prog/quorvin" >"$work/program.out" 2>"$work/program.err" &
  prog=$!
  wait_for 100 item_registered || fail "the icon did not reach the notification area"
  sleep 1
}
# The program's item (registered under its bus name): the only one here.
item() { watcher RegisteredStatusNotifierItems | grep -o "'[^']*/StatusNotifierItem'" | tr -d "'" | cut -d/ -f1; }
item_registered() { [ -n "$(item)" ]; }
visible_windows() { xdotool search --onlyvisible --pid "$prog" 2>/dev/null || true; }
shown() { [ -n "$(visible_windows)" ]; }
ended() { ! kill -0 "$prog" 2>/dev/null; }
# The item's tool tip, as the host reads it.
tool_tip() {
  gdbus call --session --dest "$(item)" --object-path /StatusNotifierItem \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem ToolTip
}
# The icon: what the panel strip holds beside its background.
locate_icon() {
  import -window root -crop 1024x30+0+1 +repage "$work/strip.png"
  local box
  box=$(convert "$work/strip.png" -fuzz 12% -trim -format '%w %h %X %Y' info:)
  read -r w h x y <<<"$box"
  icon_x=$((x + w / 2)) icon_y=$((y + 1 + h / 2))
}

# ---- first run: the plan resumes hidden and its backup fails unattended
start_program
[ -z "$(visible_windows)" ] || fail "a window is shown although the plan resumed"
oplog | grep -q 'Сервис запущен.' || fail "the plan did not resume"
reason_logged() { oplog | grep -q 'Причина: '; }
wait_for 1400 reason_logged || fail "the failed plan backup wrote no reason"
[ -z "$(visible_windows)" ] || fail "the failed plan backup opened a window"
# The notification's attention icon gives way to the program's own picture.
sleep 16
locate_icon
[[ $(tool_tip) == *"НЕ создана"* ]] || fail "the tool tip does not tell: $(tool_tip)"

# A single click: there is no double click on this kind of notification area.
xdotool mousemove "$icon_x" "$icon_y" click 1
wait_for 50 shown || fail "a single click did not bring the window back"
oplog | grep -q 'Сервис остановлен.' || fail "bringing the window back did not stop the plan"
kill -TERM "$prog"
wait "$prog" || fail "the program did not end cleanly on SIGTERM"
grep -q '^PlanRunning=0' "$work/prog/Quorvin.INI" || fail "the stopped plan would resume"

# ---- second run (no backup due): the icon's menu, which the host shows
# itself, ends the program; the plan stays to resume
away=$(date -d "@$((now + 12 * 3600))" +%H:%M:00)
sed -i "s/^PlanRunning=0/PlanRunning=1/; s/ClockBack=.*/ClockBack=$away/" "$work/prog/Quorvin.INI"
start_program
locate_icon
xdotool mousemove "$icon_x" "$icon_y" click 3
sleep 1
xdotool key Up Return
wait_for 100 ended || fail "\"Закрыть\" did not end the program"
wait "$prog" || fail "the program ended with an error"
grep -q '^PlanRunning=1' "$work/prog/Quorvin.INI" || fail "the plan ended from the tray would not resume"
echo "PASS: the program in Xfce's StatusNotifierItem notification area"
