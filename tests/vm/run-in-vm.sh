#!/bin/bash
# run-in-vm.sh - run shell commands as root in a small QEMU VM whose BMC is
# QEMU's ipmi-bmc-sim behind an ISA KCS interface (/dev/ipmi0 in the guest).
# Usage: run-in-vm.sh [--timeout S] [--files DIR] [--max-boots N] [--mem MB]
#                     [--kvm] -- 'shell commands'
# DIR is copied to /work (the commands' cwd); $BMCVM_BOOT is 1, 2, ... on each
# boot (a watchdog reset reboots the VM and runs the commands again).
# Streams the serial console, then prints one summary line
#   BMCVM-RESULT status=S reason=R boots=N ready_s=T total_s=T qemu_rss_kb=K
# and exits with the commands' status; 124 on timeout; 125 when the VM stopped
# without one (reason=poweroff|max-boots|panic|qemu-error).
# Kernel + base initramfs are built once into $BMCVM_CACHE (/var/tmp/tickward-bmc-vm).
set -euo pipefail
shopt -s lastpipe
HERE=$(cd "$(dirname "$0")" && pwd)
CACHE=${BMCVM_CACHE:-/var/tmp/tickward-bmc-vm}
TIMEOUT=300 FILES= MAXBOOTS=3 MEM=256 ACCEL=tcg
usage() { sed -n '4,5p' "$0" | cut -c3- >&2; exit 2; }
while [ $# -gt 0 ]; do
  case $1 in
    --timeout) TIMEOUT=$2; shift 2 ;;
    --files) FILES=$2; shift 2 ;;
    --max-boots) MAXBOOTS=$2; shift 2 ;;
    --mem) MEM=$2; shift 2 ;;
    --kvm) ACCEL=kvm; shift ;;
    --) shift; break ;;
    *) usage ;;
  esac
done
[ $# -ge 1 ] || usage
[ -z "$FILES" ] || [ -d "$FILES" ] || { echo "run-in-vm: no directory $FILES" >&2; exit 2; }

# (Re)build the cached image when missing or when the image scripts changed;
# the lock keeps parallel runs from building at the same time.
hash=$(cat "$HERE/guest-init.sh" "$HERE/build-image.sh" | sha256sum | cut -c1-16)
mkdir -p "$CACHE"
(
  flock 9
  if [ ! -f "$CACHE/kernel" ] || [ "$(cut -d' ' -f2 "$CACHE/stamp" 2>/dev/null)" != "$hash" ]; then
    "$HERE/build-image.sh" "$CACHE"
  fi
) 9>"$CACHE/.lock"

W=$(mktemp -d -t bmcvm-run.XXXXXX)
trap 'rm -rf "$W"' EXIT
mkdir -p "$W/ovl/bmcvm" "$W/ovl/work"
printf '%s\n' "$*" > "$W/ovl/bmcvm/cmd.sh"
[ -z "$FILES" ] || cp -a "$FILES/." "$W/ovl/work/"
(cd "$W/ovl" && find . | cpio -o -H newc -R 0:0 --quiet | gzip -1) > "$W/ovl.cpio.gz"
cat "$CACHE/base.cpio.gz" "$W/ovl.cpio.gz" > "$W/initrd"   # kernel unpacks both
truncate -s 1M "$W/state.img"                             # boot counter disk

status= reason= boots=0 ready_s=- rss=-
t0=$EPOCHREALTIME
elapsed() { echo "$EPOCHREALTIME $t0" | awk '{printf "%.2f", $1 - $2}'; }
stop_vm() { reason=$1; kill "$(cat "$W/qemu.pid")" 2>/dev/null || true; }
set +e
timeout -k 5 "$TIMEOUT" qemu-system-x86_64 -accel "$ACCEL" -m "$MEM" -smp 1 \
    -nodefaults -no-user-config -display none -monitor none -serial stdio \
    -pidfile "$W/qemu.pid" -kernel "$CACHE/kernel" -initrd "$W/initrd" \
    -append "console=ttyS0 loglevel=4" \
    -drive "file=$W/state.img,format=raw,if=virtio" \
    -device ipmi-bmc-sim,id=bmc0 -device isa-ipmi-kcs,bmc=bmc0 </dev/null 2>&1 |
while IFS= read -r line; do
  line=${line%$'\r'}
  printf '%s\n' "$line"
  case $line in
    BMCVM-BOOT\ *) boots=$((boots + 1))
      [ "$boots" -le "$MAXBOOTS" ] || stop_vm max-boots ;;
    BMCVM-READY\ *) [ "$ready_s" != - ] || ready_s=$(elapsed) ;;
    BMCVM-EXIT\ *) status=${line#BMCVM-EXIT }; status=${status%%[!0-9]*}; reason=guest-exit
      rss=$(awk '/^VmHWM/ {print $2}' "/proc/$(cat "$W/qemu.pid")/status" 2>/dev/null || echo -) ;;
    *"Kernel panic"*) stop_vm panic ;;
  esac
done
qrc=${PIPESTATUS[0]}
set -e
if [ -z "$reason" ]; then
  case $qrc in 0) reason=poweroff ;; 124|137) reason=timeout ;; *) reason=qemu-error ;; esac
fi
case $reason in guest-exit) rc=$status ;; timeout) rc=124 ;; *) rc=125 ;; esac
echo "BMCVM-RESULT status=${status:--} reason=$reason boots=$boots ready_s=$ready_s" \
     "total_s=$(elapsed) qemu_rss_kb=$rss"
exit "$rc"
