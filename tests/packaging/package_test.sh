#!/usr/bin/env bash
# The Debian packages (quorvin, the window; quorvinctl, the headless program
# and its systemd units): built with CPack, their fields, files, lintian and
# units checked, unpacked into a throw-away root (never into this machine's
# /usr), both programs asked for --help and --version without a display, and
# the window started the way the desktop menu starts it, under Xvfb, by an
# ordinary user who cannot write to the program's folder: its settings file
# and log must appear in the XDG folders, where quorvinctl finds them.
# usage: package_test.sh <build folder>
set -euo pipefail
build=${1:?build folder}

work=$(mktemp -d /tmp/quorvin-package-XXXXXX)
chmod 0755 "$work"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [ -e "$work/program.err" ] && tail -n 20 "$work/program.err" >&2
  exit 1
}

# ---- the packages: the window program and the headless one
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cpack"; }
debs=("$work"/pkg/*.deb)
[ ${#debs[@]} -eq 2 ] || fail "expected two packages, found: ${debs[*]}"
deb="$work/pkg/$(cd "$work/pkg" && ls quorvin_*.deb)"
ctl="$work/pkg/$(cd "$work/pkg" && ls quorvinctl_*.deb)"
version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "quorvin_${version}_amd64.deb" ] || fail "package file named $(basename "$deb")"
[ "$(basename "$ctl")" = "quorvinctl_${version}_amd64.deb" ] || fail "package file named $(basename "$ctl")"
[ "$(dpkg-deb -f "$deb" Package)" = quorvin ] || fail "package name"
[ "$(dpkg-deb -f "$ctl" Package)" = quorvinctl ] || fail "headless package name"
[ "$(dpkg-deb -f "$deb" Architecture)" = amd64 ] || fail "architecture"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libfbclient2 qt6-translations-l10n libqt6widgets6 libc6; do
  grep -qw "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
grep -qw firebird3.0-server-core <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "the embedded engine is not recommended"
grep -qw quorvinctl <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "the window package does not recommend quorvinctl"
ctl_depends=$(dpkg-deb -f "$ctl" Depends)
grep -qw libfbclient2 <<<"$ctl_depends" || fail "quorvinctl does not depend on the client library: $ctl_depends"
grep -qi qt <<<"$ctl_depends" && fail "quorvinctl depends on Qt: $ctl_depends"
# Every package they name exists for this Debian release.
for pkg in $(sed -e 's/([^)]*)//g' -e 's/[,|]/ /g' <<<"$depends $(dpkg-deb -f "$deb" Recommends) $ctl_depends"); do
  [ "$pkg" = quorvinctl ] && continue
  apt-cache show "$pkg" >/dev/null 2>&1 || fail "no package $pkg in this release"
done
for package in "$deb" "$ctl"; do
  dpkg-deb -c "$package" | awk '{print $2}' | grep -qvx 'root/root' && fail "files not owned by root in $package"
  # Lintian: no errors (warnings and notes are its advice).
  if command -v lintian >/dev/null; then
    lintian --tag-display-limit 0 "$package" >"$work/lintian.log" 2>&1 || true
    grep -q '^E: ' "$work/lintian.log" && { cat "$work/lintian.log" >&2; fail "lintian errors in $(basename "$package")"; }
  fi
done
# What apt would install on a machine that has nothing yet (an empty package
# database, this release's archive; simulated, nothing is installed): the
# window with everything, and the headless program alone without Qt.
: >"$work/empty-status"
apt-get -s -o Dir::State::status="$work/empty-status" -o Debug::NoLocking=1 install "$deb" "$ctl" >"$work/apt.log" 2>&1 ||
  { tail -n 20 "$work/apt.log" >&2; fail "apt cannot install the packages"; }
for pkg in quorvin quorvinctl libfbclient2 firebird3.0-server-core libqt6widgets6; do
  grep -q "^Inst $pkg " "$work/apt.log" || fail "apt would not install $pkg"
done
apt-get -s -o Dir::State::status="$work/empty-status" -o Debug::NoLocking=1 install "$ctl" >"$work/apt-ctl.log" 2>&1 ||
  { tail -n 20 "$work/apt-ctl.log" >&2; fail "apt cannot install quorvinctl alone"; }
grep -q '^Inst libqt6' "$work/apt-ctl.log" && fail "quorvinctl alone pulls in Qt: $(grep '^Inst libqt6' "$work/apt-ctl.log")"
grep -q '^Inst quorvinctl ' "$work/apt-ctl.log" || fail "apt would not install quorvinctl"

# ---- their files, unpacked
root="$work/root"
dpkg -x "$deb" "$root"
dpkg -x "$ctl" "$root"
usr="$root/usr"
for program in quorvin quorvinctl; do
  [ -x "$usr/bin/$program" ] || fail "no $program in /usr/bin"
  ldd "$usr/bin/$program" | grep -q 'not found' && fail "unresolved libraries: $(ldd "$usr/bin/$program")"
  [ -s "$usr/share/man/man1/$program.1.gz" ] || fail "no manual page for $program"
  zcat "$usr/share/man/man1/$program.1.gz" | grep -q "^.SH NAME" || fail "the manual page of $program is empty"
  [ -s "$usr/share/doc/$program/copyright" ] || fail "no copyright file for $program"
done
ldd "$usr/bin/quorvinctl" | grep -qi qt && fail "quorvinctl is linked with Qt"
# The settings file's own page, key by key with an example plan, comes with
# the headless program.
settings_page="$usr/share/man/man5/quorvin.ini.5.gz"
[ -s "$settings_page" ] || fail "no manual page of the settings file"
for part in "^.SH KEYS" "^.SH EXAMPLE" "^.BR DayPeriodBack" "^\\[Plan2\\]" "quorvinctl plan add"; do
  zcat "$settings_page" | grep -q "$part" || fail "the settings file's page lacks $part"
done
dpkg-deb -c "$deb" | grep -q 'quorvin.ini.5' && fail "the window's package ships the settings file's page as well"
system_unit="$root/lib/systemd/system/quorvinctl.service"
user_unit="$usr/lib/systemd/user/quorvinctl.service"
[ -s "$system_unit" ] && [ -s "$user_unit" ] || fail "the units are missing"
grep -qx 'User=quorvin' "$system_unit" || fail "the system unit does not run as quorvin"
# Both check the set-up before the plan, without keeping a broken entry from
# stopping the others.
grep -q '^ExecStartPre=-/usr/bin/quorvinctl .*check$' "$system_unit" || fail "the system unit does not check first"
grep -q '^ExecStartPre=-/usr/bin/quorvinctl check$' "$user_unit" || fail "the user unit does not check first"
# The system unit's user reaches the Firebird server's folders (the engine's
# lock folder /tmp/firebird and Debian's database folder, both group firebird,
# mode 0770): the package's configuration makes user quorvin a member of that
# group where the server made it, and only there (a unit naming a group that
# does not exist would not start at all); the unit keeps the /tmp the server
# shares. The maintainer script runs with stand-ins for the commands that
# would change this machine, which note what they are asked.
grep -q '^PrivateTmp=yes' "$system_unit" && fail "the system unit hides /tmp/firebird behind a private /tmp"
dpkg-deb -e "$ctl" "$work/control"
mkdir -p "$work/stand-ins"
for command in getent adduser install systemctl; do
  printf '#!/bin/sh\necho "%s $*" >>"$CALLS"\n' "$command" >"$work/stand-ins/$command"
  chmod +x "$work/stand-ins/$command"
done
cat >>"$work/stand-ins/getent" <<'EOF'
case "$*" in
  "passwd quorvin") exit 0 ;;
  "group firebird") [ -n "$SERVER_GROUP" ] ;;
  *) exit 2 ;;
esac
EOF
for server in "" yes; do
  : >"$work/calls"
  CALLS="$work/calls" SERVER_GROUP=$server PATH="$work/stand-ins:$PATH" sh "$work/control/postinst" configure ||
    fail "postinst configure: $(cat "$work/calls")"
  if [ -n "$server" ]; then
    grep -qx 'adduser --quiet quorvin firebird' "$work/calls" ||
      fail "user quorvin does not join group firebird: $(cat "$work/calls")"
  else
    grep -q '^adduser.*firebird' "$work/calls" && fail "a group firebird that is not there is joined: $(cat "$work/calls")"
  fi
done
# The units as systemd reads them, their program where the package put it.
if command -v systemd-analyze >/dev/null; then
  mkdir -p "$work/units/system" "$work/units/user" "$work/runtime-units"
  chmod 0700 "$work/runtime-units"
  sed "s|/usr/bin/quorvinctl|$usr/bin/quorvinctl|" "$system_unit" >"$work/units/system/quorvinctl.service"
  sed "s|/usr/bin/quorvinctl|$usr/bin/quorvinctl|" "$user_unit" >"$work/units/user/quorvinctl.service"
  systemd-analyze verify --man=no "$work/units/system/quorvinctl.service" >"$work/verify.log" 2>&1 ||
    { cat "$work/verify.log" >&2; fail "systemd-analyze verify: the system unit"; }
  XDG_RUNTIME_DIR="$work/runtime-units" systemd-analyze --user verify --man=no "$work/units/user/quorvinctl.service" \
    >>"$work/verify.log" 2>&1 || { cat "$work/verify.log" >&2; fail "systemd-analyze verify: the user unit"; }
  [ -s "$work/verify.log" ] && { cat "$work/verify.log" >&2; fail "systemd-analyze has remarks on the units"; }
fi

# ---- on a shell without a display: both programs answer, the window says
# in one line that it needs one
for program in quorvin quorvinctl; do
  env -i PATH="$usr/bin:/usr/bin:/bin" "$usr/bin/$program" --version >"$work/version.out" 2>&1 ||
    fail "$program --version without a display: $(cat "$work/version.out")"
  grep -qx "$program $version" "$work/version.out" || fail "$program --version says $(cat "$work/version.out")"
  env -i PATH="$usr/bin:/usr/bin:/bin" "$usr/bin/$program" --help >"$work/help.out" 2>&1 ||
    fail "$program --help without a display"
  grep -q '^Usage: ' "$work/help.out" || fail "$program --help: $(head -3 "$work/help.out")"
done
status=0
env -i PATH="$usr/bin:/usr/bin:/bin" HOME="$work" "$usr/bin/quorvin" >"$work/nodisplay.out" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "quorvin without a display ended with $status"
[ "$(wc -l <"$work/nodisplay.out")" -eq 1 ] && grep -q quorvinctl "$work/nodisplay.out" ||
  fail "quorvin without a display said: $(cat "$work/nodisplay.out")"
desktop="$usr/share/applications/org.example.quorvin.desktop"
desktop-file-validate "$desktop" || fail "desktop entry"
appstreamcli validate --no-net --strict "$usr/share/metainfo/org.example.quorvin.metainfo.xml" >"$work/appstream.log" 2>&1 ||
  { cat "$work/appstream.log" >&2; fail "AppStream metadata"; }
grep -qx 'Name=Quorvin' "$desktop" || fail "the menu entry is not called Quorvin"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -s "$usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon"
for size in 16 22 24 32 48 64 128 256; do
  png="$usr/share/icons/hicolor/${size}x${size}/apps/$icon.png"
  [ "$(identify -format '%wx%h' "$png" 2>/dev/null)" = "${size}x${size}" ] || fail "icon $png is not ${size}x${size}"
done

# ---- started from the menu's command, by user nobody
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -ac 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
display=":$(tr -d '[:space:]' <"$work/display")"
home="$work/home"
mkdir -p "$home/runtime"
chown -R 65534:65534 "$home"
chmod 0700 "$home/runtime"
command=$(sed -n 's/^Exec=//p' "$desktop")
setpriv --reuid=65534 --regid=65534 --clear-groups \
  env -i HOME="$home" DISPLAY="$display" XDG_RUNTIME_DIR="$home/runtime" XDG_STATE_HOME="$home/state" \
  PATH="$usr/bin:/usr/bin:/bin" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 \
  sh -c "exec $command" </dev/null >"$work/program.out" 2>"$work/program.err" &
program=$!
pids+=("$program")
window=
for _ in $(seq 150); do
  window=$(DISPLAY=$display xdotool search --onlyvisible --name '^Quorvin$' 2>/dev/null | head -1 || true)
  [ -n "$window" ] && break
  kill -0 "$program" 2>/dev/null || fail "the program ended at start"
  sleep 0.1
done
[ -n "$window" ] || fail "the main window did not appear"

# A termination closes it as a close does: the settings are written.
kill -TERM "$program"
status=0
for _ in $(seq 200); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
wait "$program" || status=$?
[ "$status" -eq 0 ] || fail "the program ended with status $status"

settings="$home/.config/Quorvin/Quorvin.INI"
[ -s "$settings" ] || fail "no settings file at $settings: $(find "$home" -type f)"
[ "$(stat -c '%a %u' "$settings")" = "600 65534" ] || fail "settings file mode/owner $(stat -c '%a %u' "$settings")"
[ "$(stat -c '%a' "$home/.config/Quorvin")" = 700 ] || fail "settings folder mode $(stat -c '%a' "$home/.config/Quorvin")"
logs=("$home"/state/Quorvin/log/*.log)
[ -s "${logs[0]}" ] || fail "no operation log under $home/state/Quorvin/log"
grep -q 'Начало работы' "${logs[0]}" || fail "the log lacks its first line"
# The headless program of the same user finds the window's settings; with
# nothing running the plan, status is CRITICAL (2).
status=0
setpriv --reuid=65534 --regid=65534 --clear-groups \
  env -i HOME="$home" XDG_STATE_HOME="$home/state" PATH="$usr/bin:/usr/bin:/bin" LC_ALL=C.UTF-8 \
  "$usr/bin/quorvinctl" status </dev/null >"$work/status.out" 2>&1 || status=$?
[ "$status" -eq 2 ] && grep -q '^QUORVIN CRITICAL - nothing runs the plan' "$work/status.out" ||
  fail "quorvinctl status ended with $status: $(cat "$work/status.out")"
grep -qx "Settings: $settings" "$work/status.out" || fail "quorvinctl status does not read $settings: $(cat "$work/status.out")"
leftovers=$(find "$root" -newer "$deb" -type f)
[ -z "$leftovers" ] || fail "files written beside the program: $leftovers"
echo "packages: $(basename "$deb") and $(basename "$ctl") install and run with their files under the XDG folders"
