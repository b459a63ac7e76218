#!/usr/bin/env bash
# Sets up a fresh machine, builds the native preset and enlarges the sample
# photo with the default setting (the best-quality preset).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh

sample=samples/chelsea.png
if [ ! -s "$sample" ]; then
  mkdir -p samples
  installed=/usr/lib/python3/dist-packages/skimage/data/chelsea.png
  if [ -s "$installed" ]; then
    cp "$installed" "$sample"
  else
    # Only the package file is fetched; nothing is installed.
    # Package lists may be stored compressed; a mirror in mid-sync may fail
    # one of them, which leaves the others usable.
    [ -n "$(ls /var/lib/apt/lists/*_Packages* 2>/dev/null)" ] ||
      { SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo; $SUDO apt-get update -qq || true; }
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' EXIT
    (cd "$tmp" && apt-get download -qq python3-skimage)
    dpkg-deb --fsys-tarfile "$tmp"/python3-skimage_*.deb |
      tar -xO ./usr/lib/python3/dist-packages/skimage/data/chelsea.png > "$sample.part"
    mv "$sample.part" "$sample"
  fi
fi

cmake --preset native >/dev/null
cmake --build --preset native --target fractal-enlarge

out=samples/chelsea-x2.png
build/native/src/tools/fractal-enlarge "$sample" -o "$out"
echo "Result: $root/$out"
