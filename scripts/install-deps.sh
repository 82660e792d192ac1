#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Idempotent and quick when everything is present: apt is only called for
# packages that are missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-translations-l10n
  libqt6sql6-sqlite libgl-dev
  libsqlcipher-dev sqlcipher
  libzip-dev zipcmp
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  fonts-ipafont fonts-ipafont-gothic fonts-ipafont-mincho
  espeak-ng sox
  poppler-utils
  xvfb xauth xdotool
  dbus dbus-x11 at-spi2-core python3-pyatspi gir1.2-atspi-2.0
  p7zip-full
  mdbtools mdbtools-dev
  imagemagick librsvg2-bin
  desktop-file-utils appstream lintian debootstrap
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
