#!/usr/bin/env bash
# Builds, once, the emulated x86-64 guest in which the Windows build's tests
# run when this machine's kernel cannot start 32-bit programs, and prints the
# folder that holds it (vmlinuz, initrd.img, disk.img).
#
# Everything comes from Debian's archive: a minimal system made with
# debootstrap, the guest's kernel, and wine with its 32-bit half. The result
# is cached outside the clone (FI_GUEST_CACHE, by default under /var/cache)
# under a key made of this script and the guest's init, so later runs and
# later clones reuse it and a change of the package list builds it anew.
# Needs root (debootstrap and chroot).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

# What the guest runs: wine for the programs, Xvfb for their windows, CTest
# for the suites, the mingw binutils for the export-table check.
packages=(
  linux-image-amd64 kmod
  wine wine32:i386 wine64 fonts-wine
  xvfb xauth
  cmake binutils-mingw-w64-i686
)

cache="${FI_GUEST_CACHE:-/var/cache/fractal-interpolation/win32-guest}"
suite="$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")"
prefix_script="$here/../../cmake/wine-prefix.sh"
key="$( { cat "$0" "$here/init" "$prefix_script"; echo "$suite"; } | sha256sum | cut -c1-16)"
image="$cache/$key"

if [ -f "$image/ready" ]; then
  echo "$image"
  exit 0
fi

mkdir -p "$cache"
# One builder at a time; a second caller waits and then finds it ready.
exec 9>"$cache/lock"
flock 9
if [ -f "$image/ready" ]; then
  echo "$image"
  exit 0
fi

if [ "$(id -u)" != 0 ]; then
  echo "building the test guest needs root (debootstrap, chroot)" >&2
  exit 1
fi

# The mirror this machine's apt uses, else Debian's own.
mirror="$(grep -rhoE '^(URIs:|deb) +https?://[^ ]+/debian/?( |$)' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null \
          | grep -oE 'https?://[^ ]+' | head -n 1 || true)"
mirror="${mirror:-http://deb.debian.org/debian}"
mirror="${mirror%/}"

work="$(mktemp -d "$cache/build.XXXXXX")"
root="$work/root"
mounted=()
cleanup() {
  local m
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    m="${mounted[$i]}"
    umount -l "$m" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

log() { echo "[guest image] $*" >&2; }
started=$SECONDS

log "debootstrap $suite from $mirror"
debootstrap --variant=minbase --arch=amd64 "$suite" "$root" "$mirror" >"$work/debootstrap.log" 2>&1 || {
  tail -n 30 "$work/debootstrap.log" >&2
  echo "debootstrap failed: the test guest cannot be built" >&2
  exit 1
}
log "base system in $((SECONDS - started)) s"

for fs in proc sys dev; do
  mount --rbind "/$fs" "$root/$fs"
  mount --make-rslave "$root/$fs"
  mounted+=("$root/$fs")
done
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror $suite main
deb $mirror $suite-updates main
deb ${mirror}-security $suite-security main
EOF
# No daemons start inside the chroot.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod +x "$root/usr/sbin/policy-rc.d"

in_root() { chroot "$root" /usr/bin/env DEBIAN_FRONTEND=noninteractive LC_ALL=C "$@"; }
in_root dpkg --add-architecture i386
in_root apt-get update -qq >"$work/apt.log" 2>&1 || { tail -n 30 "$work/apt.log" >&2; exit 1; }
in_root apt-get install -y -qq --no-install-recommends "${packages[@]}" >>"$work/apt.log" 2>&1 || {
  tail -n 30 "$work/apt.log" >&2
  echo "installing the guest's packages failed: the test guest cannot be built" >&2
  exit 1
}
in_root apt-get clean
rm -f "$root/usr/sbin/policy-rc.d"
log "packages in $((SECONDS - started)) s"

for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[$i]}"; done
mounted=()

install -m 755 "$here/init" "$root/fi-init"
echo "fi-guest" >"$root/etc/hostname"
mkdir -p "$root/mnt/host"

out="$work/image"
mkdir -p "$out"
cp "$(ls -1 "$root"/boot/vmlinuz-* | sort -V | tail -n 1)" "$out/vmlinuz"
cp "$(ls -1 "$root"/boot/initrd.img-* | sort -V | tail -n 1)" "$out/initrd.img"
# Room for the build folder, its wine prefix and the logs beside the system;
# the file is sparse, and every run writes to a throw-away overlay.
used_mb=$(du -sm "$root" | cut -f1)
mke2fs -q -t ext4 -L fi-guest -d "$root" -F "$out/disk.img" "$((used_mb + 6144))M" >/dev/null
rm -rf "$root"
log "disk image in $((SECONDS - started)) s"

# A wine prefix made once in the guest, which each build folder's prefix
# starts as a copy of: making one there takes about five minutes.
mkdir "$work/prefix-job"
cp "$prefix_script" "$work/prefix-job/wine-prefix.sh"
cat >"$work/prefix-job/job.sh" <<'EOF_JOB'
WINEPREFIX=/opt/wine-prefix xvfb-run -a bash ./wine-prefix.sh
EOF_JOB
FI_GUEST_IMAGE="$out" FI_GUEST_WRITABLE=1 bash "$here/boot.sh" "$work/prefix-job" >"$work/prefix.log" 2>&1 || {
  cat "$work/prefix.log" >&2
  echo "the test guest did not boot, or could not make its wine prefix" >&2
  exit 1
}
log "wine prefix in $((SECONDS - started)) s"

rm -rf "$image"
mv "$out" "$image"
touch "$image/ready"
# Older guests are of no further use.
for old in "$cache"/*/; do
  [ "${old%/}" = "$image" ] || rm -rf "${old%/}"
done
echo "$image"
