#!/usr/bin/env bash
# Installs what building, testing and the live demo need on a fresh Debian machine (run as root).
# Does nothing when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang libclang-rt-dev
  lintian
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libicu-dev
  libxcb1-dev libxcb-composite0-dev libxcb-damage0-dev
  libtesseract-dev libleptonica-dev tesseract-ocr-eng zlib1g-dev
  libatspi2.0-dev libglib2.0-dev libjson-glib-dev libportal-dev libpipewire-0.3-dev libwayland-dev libwayland-bin
  sway at-spi2-core dbus-daemon dbus-bin util-linux
  xvfb openbox chromium python3 x11-utils xdotool
  gnome-shell xwayland dbus libglib2.0-bin pipewire-bin wireplumber xdg-desktop-portal
  fonts-dejavu-core fonts-dejavu-extra fonts-liberation fonts-urw-base35 fonts-noto-mono fonts-noto-core
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
  echo "install-deps: missing packages: ${missing[*]} (run as root to install them)" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
