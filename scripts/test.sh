#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test: native,
# native under AddressSanitizer + UBSan and under ThreadSanitizer, native with
# link-time optimisation (whose link fails on two different definitions of
# one class), and the Windows build under wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
for preset in native native-asan native-tsan native-lto win32; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  case "$preset" in
    # Windows tests may open real windows: give wine a virtual display.
    win32) xvfb-run -a ctest --preset "$preset" -j "$jobs" ;;
    *) ctest --preset "$preset" -j "$jobs" ;;
  esac
done

# --- Solver results: bitwise identical on both targets ---------------------
# solver_hash solves a fixed set of least-squares and eigen problems and
# prints one hash of every result bit; the native and the Windows build
# (under wine, in the prefix the win32 tests created) must print the same.
echo "=== solver hash ==="
native_hash=$(build/native/tests/numerics/solver_hash)
win32_hash=$(WINEPREFIX="$PWD/build/win32/wineprefix" cmake/wine-run.sh build/win32/tests/numerics/solver_hash.exe | tr -d '\r')
echo "native: $native_hash  win32: $win32_hash"
if [ -z "$native_hash" ] || [ "$native_hash" != "$win32_hash" ]; then
  echo "solver results differ between the native and the Windows build" >&2
  exit 1
fi
