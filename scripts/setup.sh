#!/usr/bin/env bash
# Installs every Debian package that building and testing need. Idempotent:
# when everything is present it only checks and returns.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libpng-dev libjpeg62-turbo-dev libtiff-dev libwebp-dev libexiv2-dev libhwy-dev
  hyperfine imagemagick
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  wine wine32:i386 fonts-wine xvfb xauth
  gimp libgimp2.0-dev
)

need_i386=0
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done

if [ "$need_i386" = 0 ] && [ "${#missing[@]}" = 0 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" = 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
if [ "$need_i386" = 1 ]; then
  $SUDO dpkg --add-architecture i386
fi
# A mirror in mid-sync can fail one index file; the install below says so
# loudly if a package is then really out of reach.
$SUDO apt-get update -qq || echo "apt-get update reported errors; installing from the lists it has" >&2
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
