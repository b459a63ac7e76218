#!/usr/bin/env bash
# Checks that the engine's object code calls none of the C runtime's
# floating-point environment functions (fetestexcept and the like): some
# runtimes probe the processor on every call, so the per-pixel path reads
# and writes the flags and control words itself.
# Usage: check-engine-fenv.sh OBJDUMP LIBRARY...
set -euo pipefail
objdump=$1
shift
status=0
for library in "$@"; do
  calls=$("$objdump" -dr "$library" | grep -oE '\s_?_?fe(clear|get|hold|raise|set|test|update)[a-z]*\b' | tr -d '\t ' | sort -u | tr '\n' ' ' || true)
  if [ -n "$calls" ]; then
    echo "$library calls the C runtime's floating-point environment functions: $calls" >&2
    status=1
  fi
done
[ "$status" != 0 ] || echo "no floating-point environment calls in: $*"
exit "$status"
