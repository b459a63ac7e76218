#!/usr/bin/env bash
# Runs a command in the test guest, in a copy of this clone with its Windows
# build, at the same absolute path, so that the build's CTest files and the
# wine runner work there unchanged. The command's output comes to this
# terminal; files it writes into the folder named by FI_GUEST_OUT come back
# into OUT_DIR. Exits with the command's status.
#
#   run.sh OUT_DIR COMMAND [ARGS...]
#
# Programs run from the guest's own disk: the Windows loader fails on
# libraries mapped from the 9p share, which only carries the job in and the
# results out.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
clone="$(cd "$here/../.." && pwd)"
out="$1"
shift
[ "$#" -gt 0 ] || { echo "usage: run.sh OUT_DIR COMMAND [ARGS...]" >&2; exit 2; }
[ -d "$clone/build/win32" ] || { echo "run.sh: no Windows build in $clone/build/win32" >&2; exit 2; }

mkdir -p "$out"
out="$(cd "$out" && pwd)"
job="$(mktemp -d "${TMPDIR:-/tmp}/fi-guest-job.XXXXXX")"
trap 'rm -rf "$job"' EXIT
mkdir "$job/out"

# The sources (scripts, presets, the folder floors), and of the build what
# running needs: programs, libraries, test files, not the objects.
rel="${clone#/}"
members=()
for entry in "$clone"/* "$clone"/.[!.]*; do
  [ -e "$entry" ] || continue
  case "${entry##*/}" in build | .git) continue ;; esac
  members+=("$rel/${entry##*/}")
done
tar -C / -cf "$job/in.tar" \
  --exclude='*.obj' --exclude='*.o' --exclude='*.a' --exclude=CMakeFiles \
  --exclude="$rel/build/win32/wineprefix" --exclude="$rel/build/win32/guest-out" --exclude="$rel/build/win32/results" \
  "${members[@]}" "$rel/build/win32"

{
  echo 'set -u'
  echo 'tar -C / -xf /mnt/host/in.tar || exit 125'
  printf 'cd %q || exit 125\n' "$clone"
  printf 'FI_GUEST_OUT=/mnt/host/out '
  printf '%q ' "$@"
  echo
  echo 'status=$?'
  echo 'sync'
  echo 'exit $status'
} >"$job/job.sh"

status=0
bash "$here/boot.sh" "$job" || status=$?
cp -a "$job/out/." "$out/"
exit "$status"
