#!/bin/bash
# The systemd service in a Debian 12 guest of the BMC VM rig (QEMU's
# ipmi-bmc-sim behind the Linux IPMI driver): the package installed with apt,
# systemctl start arms the timer, a qvsacmd change and systemctl reload
# re-arm it with the new countdown, systemctl stop disarms it, and
# tickward-status --json agrees with ipmitool mc watchdog get at every step
# (packaging/tests/service-vm.sh, packaging/tests/service-in-guest.sh).
# Runs after packages.sh (name order) and uses the package it left in
# build/packages/. About a minute with the guest's root cached.
# Usage: service-vm.sh [ROOT]. Exits 0 when every check passed, 1 when one
# failed, 77 (skipped, with the reason) when the package, the guest's root or
# the guest cannot be built or the guest does not boot.
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
exec bash "$root/packaging/tests/service-vm.sh" "$root"
