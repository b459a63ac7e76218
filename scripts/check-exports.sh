#!/usr/bin/env bash
# Checks that a built module exports exactly RegisterPlugin and ProcessImage.
# Usage: check-exports.sh MODULE
set -euo pipefail
module=$1
case "$module" in
  *.dll) names=$(i686-w64-mingw32-objdump -p "$module" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\]/ && !/Table/ {print $NF}') ;;
  *)     names=$(nm -D --defined-only "$module" | awk '{print $NF}') ;;
esac
sorted=$(printf '%s\n' $names | sort | tr '\n' ' ')
if [ "$sorted" != "ProcessImage RegisterPlugin " ]; then
  echo "unexpected exports of $module: $sorted" >&2
  exit 1
fi
echo "exports of $module: $sorted"
