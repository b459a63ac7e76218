#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test: native,
# native under AddressSanitizer + UBSan and under ThreadSanitizer, and the
# Windows build under wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
for preset in native native-asan native-tsan win32; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  if [ "$preset" = win32 ]; then
    # Windows tests may open real windows: give wine a virtual display.
    xvfb-run -a ctest --preset "$preset" -j "$jobs"
  else
    ctest --preset "$preset" -j "$jobs"
  fi
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
