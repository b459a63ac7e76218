#!/usr/bin/env bash
# Runs a cross-compiled executable under wine with a prefix private to the
# build folder (WINEPREFIX is set by CTest; a direct call falls back to ./wineprefix).
export WINEPREFIX="${WINEPREFIX:-$PWD/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
