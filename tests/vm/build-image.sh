#!/bin/bash
# build-image.sh - build the guest kernel + base initramfs used by run-in-vm.sh.
# Everything comes from Debian packages: the kernel .deb is downloaded and
# unpacked (never installed), busybox-static, ipmitool (+ ldd libraries) and
# the 32-bit runtime (libc6-i386, lib32gcc-s1, lib32stdc++6) come from the host.
# Usage: build-image.sh [CACHE_DIR]   (default: $BMCVM_CACHE or /var/tmp/tickward-bmc-vm)
# Env:   BMCVM_KERNEL_PKG=linux-image-6.1.0-NN-amd64 picks a kernel package.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
CACHE=${1:-${BMCVM_CACHE:-/var/tmp/tickward-bmc-vm}}
MODULES="ipmi_msghandler ipmi_devintf ipmi_si ipmi_watchdog virtio_pci virtio_blk"
export PATH=$PATH:/sbin:/usr/sbin

for t in apt-get dpkg-deb modprobe depmod cpio gzip xz busybox ipmitool; do
  command -v "$t" >/dev/null || {
    echo "build-image: '$t' missing; run: apt-get update && apt-get install -y" \
      "--no-install-recommends qemu-system-x86 busybox-static ipmitool kmod cpio" \
      "libc6-i386 lib32gcc-s1 lib32stdc++6" >&2; exit 2; }
done
[ -e /lib/ld-linux.so.2 ] || { echo "build-image: install libc6-i386" >&2; exit 2; }

KPKG=${BMCVM_KERNEL_PKG:-$(apt-cache depends linux-image-amd64 |
  awk '/Depends: linux-image-[0-9]/ {print $2; exit}')}
[ -n "$KPKG" ] || { echo "build-image: no kernel package (apt-get update?)" >&2; exit 2; }
KVER=${KPKG#linux-image-}

W=$(mktemp -d -t bmcvm-build.XXXXXX)
trap 'rm -rf "$W"' EXIT
(cd "$W" && apt-get download -o APT::Sandbox::User=root "$KPKG" >&2)
dpkg-deb -x "$W"/"$KPKG"_*.deb "$W/k"
depmod -b "$W/k" "$KVER"

R=$W/root                               # the initramfs tree
KM=lib/modules/$KVER
mkdir -p "$R"/{bin,sbin,dev,proc,sys,tmp,run,work,bmcvm,lib32,usr,"$KM"}
cp /bin/busybox "$R/bin/busybox"
cp "$HERE/guest-init.sh" "$R/init"
chmod 755 "$R/init"

# Kernel modules with their dependencies (modprobe -D lists them in load order).
for m in $MODULES; do
  modprobe -d "$W/k" -S "$KVER" -D "$m" | awk '$1 == "insmod" {print $2}'
done | sort -u | while read -r ko; do
  mkdir -p "$R/$(dirname "${ko#"$W/k/"}")"
  cp "$ko" "$R/${ko#"$W/k/"}"
done
cp "$W/k/$KM"/modules.{order,builtin,builtin.modinfo} "$R/$KM/"
depmod -b "$R" "$KVER"

# ipmitool and the shared libraries it links (same paths as on the host).
copy() { mkdir -p "$R$(dirname "$1")"; cp -L "$1" "$R$1"; }
copy "$(command -v ipmitool)"
for lib in $(ldd "$(command -v ipmitool)" | grep -o '/[^ ]*'); do copy "$lib"; done

# 32-bit runtime: loader at /lib/ld-linux.so.2, libraries in /lib32.
for so in $(dpkg -L libc6-i386 lib32gcc-s1 lib32stdc++6 2>/dev/null |
            grep -E '^(/usr)?/lib32/[^/]+\.so[.0-9]*$'); do
  cp -L "$so" "$R/lib32/"
done
ln -s /lib32/ld-linux.so.2 "$R/lib/ld-linux.so.2"
ln -s ../lib32 "$R/usr/lib32"

# Prefer the uncompressed ELF kernel (QEMU boots it via its PVH entry): under
# TCG it saves ~5 s of in-guest xz decompression per boot. Else use the bzImage.
KIMG=$W/k/boot/vmlinuz-$KVER
off=$(LC_ALL=C grep -obUaP '\xfd7zXZ\x00' "$KIMG" | head -1 | cut -d: -f1)
[ -z "$off" ] || tail -c +$((off + 1)) "$KIMG" | xz -dc > "$W/vmlinux" 2>/dev/null || true
if head -c 4 "$W/vmlinux" 2>/dev/null | cmp -s - <(printf '\177ELF'); then KIMG=$W/vmlinux; fi

mkdir -p "$CACHE"
(cd "$R" && find . | cpio -o -H newc -R 0:0 --quiet) | gzip -6 > "$CACHE/base.cpio.gz.tmp"
cp "$KIMG" "$CACHE/kernel"
mv "$CACHE/base.cpio.gz.tmp" "$CACHE/base.cpio.gz"
echo "$KPKG $(cat "$HERE/guest-init.sh" "$HERE/build-image.sh" | sha256sum | cut -c1-16)" > "$CACHE/stamp"
echo "build-image: $CACHE: $KPKG, initramfs $(du -k "$CACHE/base.cpio.gz" | cut -f1) KiB" >&2
