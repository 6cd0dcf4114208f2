#!/bin/sh
# Installs, with apt-get, the Debian packages the BMC VM needs and that the
# machine lacks: QEMU (its ipmi-bmc-sim is the BMC), and what build-image.sh
# puts into the guest (busybox, ipmitool, the 32-bit runtime) or uses to
# build it (kmod, cpio, xz). Run as root on Debian 12.
set -eu
packages="qemu-system-x86 busybox-static ipmitool kmod cpio xz-utils libc6-i386
  lib32gcc-s1 lib32stdc++6"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "bmc-vm packages: installing$missing"
  export DEBIAN_FRONTEND=noninteractive
  # Wait for another apt-get rather than fail on its lock.
  apt-get -o DPkg::Lock::Timeout=300 update -qq
  # shellcheck disable=SC2086
  apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends $missing
fi
