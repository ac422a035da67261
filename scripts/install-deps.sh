#!/bin/sh
# Installs every Debian package that the build, the tests and the tools need.
# Safe to run again: packages already present are left as they are.
set -eu

PACKAGES="
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  duktape-dev libzip-dev zlib1g-dev librapidxml-dev libglew-dev libstb-dev
  libegl-dev libgl1-mesa-dri libgl-dev
  libelf-dev libpng-dev libopenexr-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xfonts-75dpi pcf2bdf python3
  imagemagick fonts-dejavu-core pngquant
  mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  python3-glad libz-mingw-w64-dev wine wine64 xvfb xauth
  libxrender1 libxrandr2 libxi6 libxcursor1 libxcomposite1 libxinerama1 libxxf86vm1 libxfixes3
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libcpp-httplib-dev chromium chromium-driver python3-selenium python3-skimage
  libspng-dev libdeflate-dev valgrind
  frei0r-plugins-dev ffmpeg melt
"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -n "$missing" ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
