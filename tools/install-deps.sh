#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the demo and `make package` need.
#   tools/install-deps.sh            what building, running and packing the program need
#   tools/install-deps.sh test       that and what the tests start (desktops, portals, broker)
#   tools/install-deps.sh windows    the Windows cross-compiler and wine, for the Windows checks
#   tools/install-deps.sh bench      the serial terminal the load benchmark compares with
#   tools/install-deps.sh --check <package>...   only says which of those are missing
# Installed packages are read from the dpkg database, which any user may read; nothing is
# fetched when all are there. Missing ones are installed when run as root; any other user
# gets the one apt-get line to run and exit status 1.
set -euo pipefail

# One list per group, so that additions to one group stay on their own lines.
# Real package names only: a virtual one (a name some package provides) is never reported
# as installed, so it would always count as missing.
packages=(
  cmake g++ make ccache clang-format
  qt6-base-dev qt6-serialport-dev qt6-svg-dev
  libx11-dev libxtst-dev
  pkg-config libwayland-dev libwayland-bin libxkbcommon-dev
  libmosquitto-dev qtkeychain-qt6-dev
  xvfb xauth x11-utils xdotool socat imagemagick
  dpkg-dev desktop-file-utils appstream
)
# What only the tests use: the desktops, portals, broker and tools they start on their own.
test_packages=(
  dbus-daemon dbus-bin python3-dbusmock
  kwin-wayland xdg-desktop-portal xdg-desktop-portal-kde qtwayland5 qt6-wayland
  plasma-wayland-protocols
  sway foot wtype
  mosquitto mosquitto-clients openssl
  nftables iproute2 lintian
)
# Some 290 MB for the compiler alone, and only the Windows checks use them; they skip
# without them, and CI installs them.
windows_packages=(
  g++-mingw-w64-x86-64-posix wine64
)
bench_packages=(
  picocom xterm
)

wanted=()
case "${1:-}" in
  "") wanted=("${packages[@]}") ;;
  test) wanted=("${packages[@]}" "${test_packages[@]}") ;;
  windows) wanted=("${windows_packages[@]}") ;;
  bench) wanted=("${bench_packages[@]}") ;;
  --check) wanted=("${@:2}") ;;
  *)
    echo "usage: tools/install-deps.sh [test | windows | bench | --check <package>...]" >&2
    exit 2
    ;;
esac

# Unpacked and configured; a trigger still waiting (another apt run in progress) counts too.
installed() {
  case "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" in
    installed | triggers-awaited | triggers-pending) return 0 ;;
    *) return 1 ;;
  esac
}

missing=()
for p in "${wanted[@]}"; do
  installed "$p" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "${1:-}" = --check ] || [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages; install them with:" >&2
  echo "  sudo apt-get install --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
