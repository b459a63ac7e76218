#!/usr/bin/env bash
# Boots the test guest (built by image.sh) on a job folder and exits with
# the status of the folder's job.sh, whose output comes over the guest's
# serial console to this one. The guest's disk is used through a throw-away
# overlay, so every run starts from the same system.
#
#   boot.sh JOB_FOLDER
#
# FI_GUEST_TIMEOUT (seconds, default 3600) ends a guest that never powers off.
# FI_GUEST_IMAGE names the image folder to boot instead of the cached one;
# with FI_GUEST_WRITABLE=1 the run's changes to its disk are kept (for the
# image's own last step).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
job="$(cd "$1" && pwd)"
[ -f "$job/job.sh" ] || { echo "boot.sh: $job has no job.sh" >&2; exit 2; }

image="${FI_GUEST_IMAGE:-$(bash "$here/image.sh")}"
rm -f "$job/status"

# The emulator is the only processor here that runs 32-bit code. Without
# KVM it translates every instruction; one host thread per virtual core.
# The newest model of processor it offers, less the protections whose
# emulation breaks the guest kernel's return to 32-bit code, and less AVX2:
# on this emulator the Windows build's whole enlargements with the AVX2
# kernels never finish (the kernel's own test passes), where real AVX2
# processors give the reference's bits (under wine, on a kernel that runs
# 32-bit programs).
# FI_GUEST_CPU sets another model.
snapshot=on
[ "${FI_GUEST_WRITABLE:-0}" != 1 ] || snapshot=off
status=0
timeout --foreground -k 30 "${FI_GUEST_TIMEOUT:-3600}" \
  qemu-system-x86_64 \
    -accel tcg,thread=multi -smp 2 -m 6144 \
    -cpu "${FI_GUEST_CPU:-max,-smap,-smep,-pku,-avx2}" \
    -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
    -append "root=/dev/vda rw init=/fi-init console=ttyS0 quiet loglevel=3 panic=-1" \
    -drive "file=$image/disk.img,format=raw,if=virtio,snapshot=$snapshot" \
    -virtfs "local,path=$job,mount_tag=job,security_model=none,id=job" \
    -nic none -display none -monitor none -serial stdio -no-reboot \
    </dev/null | stdbuf -oL tr -d '\r' || status=$?
if [ "$status" != 0 ]; then
  echo "the test guest failed (emulator status $status)" >&2
  exit 1
fi
if [ ! -s "$job/status" ]; then
  echo "the test guest ended without finishing its job" >&2
  exit 1
fi
exit "$(cat "$job/status")"
