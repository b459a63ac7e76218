#!/usr/bin/env bash
# Creates the build folder's wine prefix, then waits for its wine server to
# end, so that no test connects to a server that is shutting down. Where a
# finished prefix is at hand (FI_WINE_TEMPLATE, made once in the emulated
# test guest's image), the new one starts as its copy: creating one takes
# minutes of emulated time.
set -e
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ -n "${FI_WINE_TEMPLATE:-}" ] && [ -d "$FI_WINE_TEMPLATE" ] && [ ! -e "$WINEPREFIX" ]; then
  cp -a "$FI_WINE_TEMPLATE" "$WINEPREFIX"
fi
wineboot -i
wineserver -w
