#!/bin/bash
# The systemd service in a guest that boots Debian 12 with systemd, whose BMC
# is QEMU's ipmi-bmc-sim behind the Linux IPMI driver (the VM rig of
# tests/vm/): the package built by scripts/package.sh installed with apt,
# then systemctl start arms the timer, a qvsacmd change and systemctl reload
# show the new countdown, systemctl stop disarms it, and tickward-status
# agrees with ipmitool mc watchdog get at every step
# (packaging/tests/service-in-guest.sh).
# Run by scripts/test.d/service-vm.sh (see docs/packaging.md).
# Usage: packaging/tests/service-vm.sh [ROOT]. Uses the package in
# ROOT/build/packages/ (left by scripts/test.d/packages.sh), building it
# when there is none. Exits 0 when every check passed, 1 when one failed, 77
# (skipped, never passed) when the package, the guest's root or the guest
# cannot be built, the mirror cannot be reached, or the guest does not boot.
# Logs in ROOT/build/hpkg-vm/; the Debian root with systemd is cached as
# /var/tmp/tickward-pkg-test/bookworm-systemd.tar.gz.
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cache=/var/tmp/tickward-pkg-test
vmcache=${BMCVM_CACHE:-/var/tmp/tickward-bmc-vm}
logs=$root/build/hpkg-vm
mkdir -p "$logs"
skip() { echo "SKIPPED: the systemd guest cannot run here: $*"; exit 77; }
work=$(mktemp -d /var/tmp/tickward-svc-vm.XXXXXX)
cleanup() {
  if grep -qF " $work/" /proc/self/mountinfo; then
    echo "service-vm.sh: mounts left under $work; not deleting it" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

deb=$(ls "$root"/build/packages/tickward_*_amd64.deb 2> /dev/null | head -n 1)
if [ -z "$deb" ]; then
  bash "$root/scripts/package.sh" > "$logs/package.log" 2>&1 ||
    { tail -n 20 "$logs/package.log"; skip "the package could not be built (scripts/package.sh, log $logs/package.log)"; }
  deb=$(ls "$root"/build/packages/tickward_*_amd64.deb | head -n 1)
fi
sh "$root/tests/vm/packages.sh" > "$logs/vm-packages.log" 2>&1 || skip "installing the VM's packages failed"
command -v qemu-system-x86_64 > /dev/null || skip "no qemu-system-x86_64"
if [ ! -f "$vmcache/kernel" ] || [ ! -f "$vmcache/base.cpio.gz" ]; then
  "$root/tests/vm/build-image.sh" "$vmcache" > "$logs/build-image.log" 2>&1 || skip "the VM's kernel could not be built"
fi
[ -s "$cache/bookworm-minbase.tar.gz" ] || skip "no Debian 12 root cached (scripts/test.d/packages.sh makes it)"

# in_root DIR COMMAND...: a command inside DIR with its own proc.
in_root() {
  local dir=$1; shift
  unshare --pid --fork --mount --propagation private sh -c \
    'mount -t proc proc "$1/proc" && shift && exec chroot "$@"' sh "$dir" "$dir" "$@"
}

base=$cache/bookworm-systemd.tar.gz
if [ ! -s "$base" ]; then
  echo "making a Debian 12 root with systemd (once; cached in $base)"
  b=$work/base
  mkdir -p "$b" && tar -C "$b" -xzf "$cache/bookworm-minbase.tar.gz"
  cp -L /etc/resolv.conf "$b/etc/resolv.conf"
  in_root "$b" sh -c 'export DEBIAN_FRONTEND=noninteractive; apt-get update -qq &&
    apt-get install -y -qq --no-install-recommends systemd systemd-sysv udev kmod ipmitool libc6-i386 procps psmisc' \
    > "$logs/base.log" 2>&1 || { tail -n 10 "$logs/base.log"; skip "installing systemd in the root failed"; }
  tar -C "$b" -czf "$base.tmp" . && mv "$base.tmp" "$base"
  rm -rf "${work:?}/base"
fi

r=$work/root
mkdir -p "$r" && tar -C "$r" -xzf "$base"
cp -L /etc/resolv.conf "$r/etc/resolv.conf"
cp "$deb" "$r/tmp/"
# Dependencies not in the cached root come from the mirror; without it the
# install can still succeed when the root has them all.
in_root "$r" sh -c "apt-get update -qq" > "$logs/install.log" 2>&1
updated=$?
if ! in_root "$r" sh -c "export DEBIAN_FRONTEND=noninteractive; apt-get install -y -qq /tmp/$(basename "$deb")" \
  >> "$logs/install.log" 2>&1; then
  tail -n 10 "$logs/install.log"
  [ "$updated" = 0 ] || skip "apt in the guest's root cannot reach the mirror (log $logs/install.log)"
  echo "FAIL installing $deb in the guest's root"
  exit 1
fi
# The test starts the service itself.
systemctl --root="$r" disable tickwardd.service > /dev/null 2>&1
# The guest kernel's IPMI modules.
(cd "$r" && gzip -dc "$vmcache/base.cpio.gz" | cpio -idm --quiet 'lib/modules/*')
cp "$root/packaging/tests/service-in-guest.sh" "$r/service-in-guest.sh"
cat > "$r/etc/systemd/system/tw-service-test.service" << 'UNIT'
[Unit]
Description=tickward service test
After=multi-user.target
[Service]
Type=oneshot
TimeoutStartSec=600
ExecStart=/service-in-guest.sh
[Install]
WantedBy=multi-user.target
UNIT
systemctl --root="$r" enable tw-service-test.service > /dev/null 2>&1
# No login prompt on the console: its getty would hang up the test's output.
systemctl --root="$r" mask serial-getty@ttyS0.service getty.target > /dev/null 2>&1
echo tickward-guest > "$r/etc/hostname"
rm -rf "$r"/var/cache/apt/* "$r"/var/lib/apt/lists/* "$r"/usr/share/doc "$r"/usr/share/locale "$r"/tmp/*.deb
(cd "$r" && find . | cpio -o -H newc -R 0:0 --quiet | gzip -1) > "$work/initrd"
rm -rf "${work:?}/root"

echo "booting Debian 12 with systemd in the BMC VM (a few minutes under emulation); console in $logs/console.txt"
timeout -k 5 900 qemu-system-x86_64 -accel tcg -m 1024 -smp 1 -nodefaults -no-user-config \
  -display none -monitor none -serial stdio -no-reboot \
  -kernel "$vmcache/kernel" -initrd "$work/initrd" \
  -append "console=ttyS0 rdinit=/lib/systemd/systemd loglevel=4 systemd.show_status=0" \
  -device ipmi-bmc-sim,id=bmc0 -device isa-ipmi-kcs,bmc=bmc0 < /dev/null 2>&1 |
  tr -d '\r' > "$logs/console.txt"
rc=${PIPESTATUS[0]}
grep -q '^SVCVM-READY' "$logs/console.txt" || { tail -n 30 "$logs/console.txt"; skip "the guest did not reach its test (qemu status $rc)"; }
grep -E '^(VMCHECK|SVCVM-|journal:)' "$logs/console.txt"
status=0
grep -q '^VMCHECK FAIL' "$logs/console.txt" && status=1
grep -q '^SVCVM-EXIT 0$' "$logs/console.txt" || { echo "FAIL: the guest's test did not end with status 0"; status=1; }
# What the guest shows of the daemon when a check failed.
[ "$status" = 0 ] || sed -n '/^---- journal$/,/^----$/p' "$logs/console.txt"
exit $status
