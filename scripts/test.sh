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
