#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent, and quiet when
# everything is already present.
set -euo pipefail

packages=(
  build-essential g++ clang libclang-rt-14-dev cmake ninja-build pkg-config
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev qt6-translations-l10n
  libssl-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  firebird3.0-server-core firebird3.0-utils firebird3.0-server libfbclient2 firebird-dev
  xvfb xauth icewm xdotool x11-apps x11-utils imagemagick fonts-dejavu-core
  procps iproute2 locales python3-minimal
  clang-format desktop-file-utils appstream dpkg-dev file
  libzstd-dev zstd coreutils
  xfce4-panel dbus-daemon libglib2.0-bin
  lintian systemd
  libcurl4-openssl-dev
  prometheus-node-exporter
  ceph-mon ceph-osd radosgw ceph-common s3cmd
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install_deps: these packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi
echo "install_deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
# The metrics test runs the node exporter itself, on 127.0.0.1 only: the
# service the package starts on every address of this computer is stopped
# when this script installed it.
if [[ " ${missing[*]} " == *" prometheus-node-exporter "* ]] && [ -d /run/systemd/system ]; then
  echo "install_deps: stopping the prometheus-node-exporter service the package started (the tests run their own)"
  systemctl disable --now prometheus-node-exporter.service >/dev/null 2>&1 || true
fi
