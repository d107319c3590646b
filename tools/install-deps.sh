#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the demo and `make package` need.
# Only packages that are missing are installed; as non-root it prints the command instead.
set -euo pipefail
packages=(
  cmake g++ make ccache clang-format
  qt6-base-dev libqt6serialport6-dev qt6-serialport-dev
  libx11-dev libxtst-dev
  pkg-config libwayland-dev libwayland-bin libxkbcommon-dev
  dbus-daemon dbus-bin python3-dbusmock
  kwin-wayland xdg-desktop-portal xdg-desktop-portal-kde qtwayland5 qt6-wayland
  plasma-wayland-protocols
  xvfb xauth x11-utils xdotool socat imagemagick
  sway foot wtype
  libmosquitto-dev qtkeychain-qt6-dev mosquitto mosquitto-clients openssl
  nftables iproute2
  qt6-svg-dev dpkg-dev desktop-file-utils appstream
)
# `install-deps.sh bench`: also the serial terminal the load benchmark compares with.
[ "${1:-}" = bench ] && packages+=(picocom xterm)
# `install-deps.sh windows`: the cross compiler and wine for the Windows checks, which skip
# without them (CI installs them).
[ "${1:-}" = windows ] && packages+=(g++-mingw-w64-x86-64-posix wine64)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
