#!/usr/bin/env bash
# Installs every Debian package Tintavo needs to build, test and run. Safe to run again:
# packages already present are skipped, and nothing is downloaded when all are there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libjpeg-dev libpng-dev libtiff-dev liblcms2-dev
  libcli11-dev nlohmann-json3-dev  # the command-line tool's arguments and JSON
  clang-14 libclang-rt-14-dev clang-format-14
  opencolorio-tools python3-pyopencolorio python3-numpy
  xvfb xdotool imagemagick libvips-tools
  fonts-liberation2  # Arial-compatible metrics: the windows are laid out for Arial
  locales
  librsvg2-bin groff-base  # the icon's PNG sizes, the manual pages' check
  dpkg-dev desktop-file-utils appstream lintian  # the Debian package and its validators
  ffmpeg  # interop tests: our LUT files through ffmpeg's lut3d
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# A locale with a decimal comma, for the tests that check that LUT numbers never follow the
# process locale.
ensure_comma_locale() {
  if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    SUDO_L=""
    if [ "$(id -u)" -ne 0 ]; then SUDO_L="sudo"; fi
    $SUDO_L localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "install-deps: could not generate de_DE.UTF-8"
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  ensure_comma_locale
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
ensure_comma_locale
