#!/usr/bin/env bash
# Runs one program of the Windows build under wine and prints its output:
# directly where this machine can start 32-bit programs, else in the
# emulated guest (a boot of about half a minute first). Paths are those of
# this clone; in the guest, files the program writes into the folder named
# by FI_GUEST_OUT come back into build/win32/guest-out. FI_WIN32_GUEST=1
# uses the guest even where this machine could run the program itself.
#
#   win32-run.sh PROGRAM [ARGS...]   e.g. win32-run.sh build/win32/tests/numerics/solver_hash.exe
set -euo pipefail
clone="$(cd "$(dirname "$0")/.." && pwd)"
[ "$#" -gt 0 ] || { sed -n '2,8p' "$0" >&2; exit 2; }
export WINEPREFIX="$clone/build/win32/wineprefix"

if [ "${FI_WIN32_GUEST:-0}" != 1 ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  exec "$clone/cmake/wine-run.sh" "$@"
fi
# There the prefix starts as a copy of the image's, and windows get a
# virtual display.
exec bash "$clone/scripts/guest/run.sh" "$clone/build/win32/guest-out" \
  env WINEPREFIX="$WINEPREFIX" xvfb-run -a bash -c 'cmake/wine-prefix.sh && exec cmake/wine-run.sh "$@"' - "$@"
