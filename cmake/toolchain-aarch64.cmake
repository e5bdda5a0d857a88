# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds for 64-bit ARM (Debian's arm64, as on a Raspberry Pi OS) on a Debian amd64 machine
# set up for multiarch: crossbuild-essential-arm64, the -dev packages as :arm64, and the machine's
# own qt6-base-dev and qt6-base-dev-tools, whose moc, rcc and uic run while it builds.
#
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64.cmake
#
# Run cmake and cpack under "dpkg-architecture -aarm64 -c" so that dpkg-buildflags gives arm64's
# flags and dpkg-shlibdeps reads the arm64 libraries' dependencies.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# The arm64 libraries and their CMake packages are under /usr/lib/aarch64-linux-gnu (multiarch);
# the programs the build runs are the machine's own.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(PKG_CONFIG_EXECUTABLE aarch64-linux-gnu-pkg-config CACHE FILEPATH "pkg-config for arm64")
# Qt's own tools (moc, rcc, uic) come from the machine's Qt, which Qt finds through QT_HOST_PATH.
set(QT_HOST_PATH /usr CACHE PATH "The Qt whose tools run during the build")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "That Qt's CMake packages")
# The packages are for arm64, whatever machine builds them.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
