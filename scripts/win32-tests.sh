#!/usr/bin/env bash
# Runs every test of the Windows build under wine, with real windows on a
# virtual display, and writes the Windows build's solver hash to
# OUT_DIR/solver_hash. Where this machine cannot start 32-bit programs the
# test command runs this script inside the emulated guest instead.
#
#   win32-tests.sh [OUT_DIR]   (default: FI_GUEST_OUT in the guest, else build/win32/results)
set -uo pipefail
cd "$(dirname "$0")/.."
out="${1:-${FI_GUEST_OUT:-build/win32/results}}"
mkdir -p "$out"

xvfb-run -a ctest --preset win32 -j "$(nproc)"
status=$?
cp build/win32/Testing/Temporary/LastTest.log "$out/" 2>/dev/null

# In the prefix the suites created.
WINEPREFIX="$PWD/build/win32/wineprefix" cmake/wine-run.sh build/win32/tests/numerics/solver_hash.exe \
  | tr -d '\r' >"$out/solver_hash"
exit "$status"
