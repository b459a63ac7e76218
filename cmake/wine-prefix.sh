#!/usr/bin/env bash
# Creates the build folder's wine prefix, then waits for its wine server to
# end, so that no test connects to a server that is shutting down.
set -e
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i
wineserver -w
