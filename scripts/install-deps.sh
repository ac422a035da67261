#!/bin/sh
# Installs the Debian packages the project needs. Safe to run again:
# packages already present are left as they are.
#   install-deps.sh            everything: the build, the tests, the Windows
#                              cross-build, the benchmarks and the tools
#   install-deps.sh --command  only what building the lumivex command and the
#                              effect modules needs
set -eu

# The command, the studio and the effect modules.
COMMAND_PACKAGES="
  build-essential cmake ninja-build pkg-config
  duktape-dev libzip-dev zlib1g-dev librapidxml-dev libglew-dev libstb-dev
  libegl-dev libgl1-mesa-dri libgl-dev
  libelf-dev libpng-dev libopenexr-dev nlohmann-json3-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libcpp-httplib-dev frei0r-plugins-dev libjs-codemirror
"
# The tests, fuzzing, the Windows cross-build, benchmarks and the font tools.
TEST_PACKAGES="
  clang libclang-rt-14-dev clang-format clang-tidy
  libgtest-dev libgmock-dev libbenchmark-dev
  xfonts-75dpi pcf2bdf python3
  imagemagick fonts-dejavu-core pngquant
  mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  python3-glad libz-mingw-w64-dev wine wine64 xvfb xauth
  libxrender1 libxrandr2 libxi6 libxcursor1 libxcomposite1 libxinerama1 libxxf86vm1 libxfixes3
  chromium chromium-driver python3-selenium python3-skimage
  valgrind
  ffmpeg melt
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
"

case "${1:-}" in
  --command) PACKAGES="$COMMAND_PACKAGES" ;;
  "") PACKAGES="$COMMAND_PACKAGES $TEST_PACKAGES" ;;
  *) echo "install-deps.sh: unknown option $1 (use --command, or nothing for everything)" >&2; exit 2 ;;
esac

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
