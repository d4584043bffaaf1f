#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs every Debian package that building, running and testing Kinetra
# needs. Run as root (or through sudo) on Debian 12. Installs only what is
# missing, so a second run is quick.
set -euo pipefail

PACKAGES=(
  # tool chain
  build-essential cmake ninja-build pkg-config ccache clang clang-format
  # Qt 5.15: libraries, tools and the QML modules the window imports
  qtbase5-dev qtdeclarative5-dev qtdeclarative5-dev-tools qtquickcontrols2-5-dev
  libqt5serialport5-dev libqt5svg5-dev
  qml-module-qtquick2 qml-module-qtquick-window2 qml-module-qtquick-layouts
  qml-module-qtquick-controls qml-module-qtquick-controls2 qml-module-qtquick-templates2
  qml-module-qtquick-dialogs qml-module-qt-labs-platform qml-module-qtqml-models2
  qml-module-qtgraphicaleffects qml-module-qttest
  # JUCE and what its audio and MIDI modules link against
  juce-modules-source libasound2-dev libjack-jackd2-dev libfreetype-dev
  # tests: GoogleTest, Google Benchmark, a JACK server with its dummy driver,
  # an X server for the window, an independent OSC decoder, SVG rendering
  libgtest-dev libgmock-dev libbenchmark-dev jackd2 xvfb xauth libgl1-mesa-dri liblo-tools
  librsvg2-bin libclang-rt-14-dev
  # accessibility test: an AT-SPI bus and client, a private D-Bus session and
  # synthetic key presses
  at-spi2-core python3-pyatspi dbus-daemon dbus-x11 xdotool
  # packaging: validators for the desktop and AppStream files
  appstream desktop-file-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  # jackd2 asks about realtime priority; answer it up front.
  echo "jackd2 jackd/tweak_rt_limits boolean false" | $SUDO debconf-set-selections
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq "${missing[@]}"
fi
