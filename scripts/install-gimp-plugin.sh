#!/usr/bin/env bash
# Sets up the machine, builds the GIMP plug-in with the native preset and
# installs it for the current user, in GIMP 2.10's plug-ins folder
# ($GIMP2_DIRECTORY, else ~/.config/GIMP/2.10). Running it again replaces
# the installed plug-in with a fresh build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh

cmake --preset native >/dev/null
cmake --build --preset native --target fractal-interpolation

gimp_dir=${GIMP2_DIRECTORY:-${XDG_CONFIG_HOME:-$HOME/.config}/GIMP/2.10}
target=$gimp_dir/plug-ins/fractal-interpolation
install -d "$target"
# Through a temporary name, so that a running GIMP never sees half a file.
install -m 755 build/native/src/gimp/fractal-interpolation "$target/fractal-interpolation.new"
mv -f "$target/fractal-interpolation.new" "$target/fractal-interpolation"
echo "Installed $target/fractal-interpolation"
echo "Start GIMP and open an image: Image > Fractal interpolation... (beside Scale Image)"
