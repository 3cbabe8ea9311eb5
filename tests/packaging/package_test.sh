#!/usr/bin/env bash
# The Debian package: built with CPack, its fields and files checked, unpacked
# into a throw-away root (never into this machine's /usr), and the installed
# program started the way the desktop menu starts it, under Xvfb, by an
# ordinary user who cannot write to the program's folder: its settings file
# and log must appear in the XDG folders.
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

# ---- the package
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cpack"; }
debs=("$work"/pkg/*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one package, found: ${debs[*]}"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "quorvin_${version}_amd64.deb" ] || fail "package file named $(basename "$deb")"
[ "$(dpkg-deb -f "$deb" Package)" = quorvin ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Architecture)" = amd64 ] || fail "architecture"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libfbclient2 qt6-translations-l10n libqt6widgets6 libc6; do
  grep -qw "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
grep -qw firebird3.0-server-core <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "the embedded engine is not recommended"
# Every package it names exists for this Debian release.
for pkg in $(sed -e 's/([^)]*)//g' -e 's/[,|]/ /g' <<<"$depends $(dpkg-deb -f "$deb" Recommends)"); do
  apt-cache show "$pkg" >/dev/null 2>&1 || fail "no package $pkg in this release"
done
dpkg-deb -c "$deb" | awk '{print $2}' | grep -qvx 'root/root' && fail "files not owned by root"
# What apt would install on a machine that has nothing yet (an empty package
# database, this release's archive; simulated, nothing is installed).
: >"$work/empty-status"
apt-get -s -o Dir::State::status="$work/empty-status" -o Debug::NoLocking=1 install "$deb" >"$work/apt.log" 2>&1 ||
  { tail -n 20 "$work/apt.log" >&2; fail "apt cannot install the package"; }
for pkg in quorvin libfbclient2 firebird3.0-server-core libqt6widgets6; do
  grep -q "^Inst $pkg " "$work/apt.log" || fail "apt would not install $pkg"
done

# ---- its files, unpacked
root="$work/root"
dpkg -x "$deb" "$root"
usr="$root/usr"
[ -x "$usr/bin/quorvin" ] || fail "no program in /usr/bin"
ldd "$usr/bin/quorvin" | grep -q 'not found' && fail "unresolved libraries: $(ldd "$usr/bin/quorvin")"
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
leftovers=$(find "$root" -newer "$deb" -type f)
[ -z "$leftovers" ] || fail "files written beside the program: $leftovers"
echo "package: $(basename "$deb") installs and runs with its files under the XDG folders"
