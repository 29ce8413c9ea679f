#!/usr/bin/env bash
# Installs the Debian 12 packages Dalmure needs to build, test and run (as root, or via sudo).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git ccache
  clang clang-format libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev nlohmann-json3-dev
  mdbtools mdbtools-dev libglib2.0-dev libglib2.0-bin desktop-file-utils xdg-utils
  libsqlite3-dev
  postgresql-15 libpq-dev postgresql-contrib
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-webengine-dev
  libqt6opengl6-dev libgl-dev qt6-qpa-plugins qt6-translations-l10n
  libhunspell-dev hunspell-fr hunspell-en-us
  xvfb xauth poppler-utils valgrind python3 chromium perl
  dbus at-spi2-core python3-pyatspi
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
