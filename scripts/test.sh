#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test: native,
# native under AddressSanitizer + UBSan and under ThreadSanitizer, native with
# link-time optimisation (whose link fails on two different definitions of
# one class), and the Windows build under wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

# wine runs the Windows programs as 32-bit Linux processes, which a kernel
# built without 32-bit support cannot start. There the Windows build is still
# compiled and linked, but its tests cannot run: say so loudly.
can_run_win32=1
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  can_run_win32=0
  echo "*** This machine cannot run 32-bit programs (its kernel lacks 32-bit support):" >&2
  echo "*** the Windows build is compiled and linked, but its tests are NOT run here." >&2
fi

jobs=$(nproc)
for preset in native native-asan native-tsan native-lto win32; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  case "$preset" in
    # Windows tests may open real windows: give wine a virtual display.
    win32) [ "$can_run_win32" = 0 ] || xvfb-run -a ctest --preset "$preset" -j "$jobs" ;;
    *) ctest --preset "$preset" -j "$jobs" ;;
  esac
done

# --- Solver results: bitwise identical on both targets ---------------------
# solver_hash solves a fixed set of least-squares and eigen problems and
# prints one hash of every result bit; the native and the Windows build
# (under wine, in the prefix the win32 tests created) must print the same.
echo "=== solver hash ==="
if [ "$can_run_win32" = 0 ]; then
  echo "*** not compared: the Windows build cannot run on this machine" >&2
  exit 0
fi
native_hash=$(build/native/tests/numerics/solver_hash)
win32_hash=$(WINEPREFIX="$PWD/build/win32/wineprefix" cmake/wine-run.sh build/win32/tests/numerics/solver_hash.exe | tr -d '\r')
echo "native: $native_hash  win32: $win32_hash"
if [ -z "$native_hash" ] || [ "$native_hash" != "$win32_hash" ]; then
  echo "solver results differ between the native and the Windows build" >&2
  exit 1
fi
