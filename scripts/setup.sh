#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what the configurator needs from Debian's archive (only what is missing), then
# configures and builds it in build/. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  gettext
  xvfb xauth x11-utils libx11-dev libxtst-dev fonts-liberation openbox
  # For building the Debian packages (cpack): its dependency scan runs file and dpkg-shlibdeps,
  # and without dpkg-shlibdeps the package would silently lack its library dependencies;
  # dpkg-buildflags gives the build Debian's hardening flags. The package test checks the
  # packages with Debian's own checker, lintian.
  file dpkg-dev lintian
  # The network transports' tests run a real serial-to-network server in front of the simulator,
  # and take a network of their own down (ip) to see a silent peer noticed.
  ser2net iproute2
)
bash scripts/install-packages.sh "${packages[@]}"

echo "Building in build/ (the compiler's output is in build/build.log)"
mkdir -p build
if ! { cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" &&
       cmake --build build --parallel "$(nproc)"; } > build/build.log 2>&1; then
  tail -n 40 build/build.log
  echo "The build failed; the whole log is build/build.log." >&2
  exit 1
fi
