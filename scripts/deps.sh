#!/usr/bin/env bash
# Installs the Debian packages Brelvix needs to build, run and test, if any
# are missing. Uses sudo when not run as root.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  qt6-base-dev libxcb1-dev libjpeg62-turbo-dev libpng-dev libgif-dev libtiff-dev zlib1g-dev
  libwebp-dev libavif-dev libheif-dev libjxl-dev libexif-dev liblcms2-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core xvfb xauth x11-utils xdotool openbox libxtst-dev
  libglib2.0-dev libglib2.0-bin desktop-file-utils appstream shared-mime-info dbus-daemon
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
