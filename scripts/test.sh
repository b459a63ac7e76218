#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test: native,
# native under AddressSanitizer + UBSan and under ThreadSanitizer, native with
# link-time optimisation (whose link fails on two different definitions of
# one class), and the Windows build under wine.
#
#   test.sh [PRESET...]   only these presets (default: all); the solver
#                         hashes are compared when native and win32 both ran
#
# FI_WIN32_GUEST=1 runs the Windows tests in the emulated guest even where
# this machine could run them itself.
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ "${#presets[@]}" -gt 0 ] || presets=(native native-asan native-tsan native-lto win32)
has_preset() { [[ " ${presets[*]} " == *" $1 "* ]]; }

bash scripts/setup.sh

# wine runs the Windows programs as 32-bit Linux processes, which a kernel
# built without 32-bit support cannot start. There the Windows tests run in
# an emulated x86-64 guest with such a kernel; its image is built once from
# Debian's packages (about 5 minutes), in the background while the native
# builds run.
guest=0
if has_preset win32 &&
   { [ "${FI_WIN32_GUEST:-0}" = 1 ] || ! /usr/lib/wine/wine --version >/dev/null 2>&1; }; then
  guest=1
  echo "*** The Windows tests run in an emulated guest (this machine cannot run 32-bit programs, or FI_WIN32_GUEST=1)." >&2
  mkdir -p build
  bash scripts/guest/image.sh >build/guest-image.log 2>&1 &
  image_job=$!
fi

jobs=$(nproc)
for preset in "${presets[@]}"; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  case "$preset" in
    win32)
      rm -rf build/win32/results
      if [ "$guest" = 0 ]; then
        bash scripts/win32-tests.sh build/win32/results
      else
        image_status=0
        wait "$image_job" || image_status=$?
        cat build/guest-image.log >&2
        if [ "$image_status" != 0 ]; then
          echo "the emulated guest for the Windows tests could not be built" >&2
          exit 1
        fi
        bash scripts/guest/run.sh build/win32/results bash scripts/win32-tests.sh
      fi
      ;;
    *) ctest --preset "$preset" -j "$jobs" ;;
  esac
done

# --- Solver results: bitwise identical on both targets ---------------------
# solver_hash solves a fixed set of least-squares and eigen problems and
# prints one hash of every result bit; the native and the Windows build
# (run by win32-tests.sh after the suites) must print the same.
has_preset native && has_preset win32 || exit 0
echo "=== solver hash ==="
native_hash=$(build/native/tests/numerics/solver_hash)
win32_hash=$(cat build/win32/results/solver_hash 2>/dev/null || true)
echo "native: $native_hash  win32: $win32_hash"
if [ -z "$native_hash" ] || [ "$native_hash" != "$win32_hash" ]; then
  echo "solver results differ between the native and the Windows build" >&2
  exit 1
fi
