#!/bin/bash
# The installed tickwardd against a real BMC behind the real Linux IPMI
# driver: boots the VM of tests/vm/ (QEMU's ipmi-bmc-sim, /dev/ipmi0 in the
# guest) with the staged tree at /opt/quorrel and runs
# tests/vm/daemon-in-guest.sh there: the timer armed with the configured
# countdown and action, the guest alive over several timeouts, a SIGHUP
# reload with a new TimeoutInterval, SIGTERM stopping the timer, and after
# SIGKILL the BMC resetting the guest within TimeoutInterval.
# Usage: bmc-vm.sh [ROOT]  (uses ROOT/stage, staged by scripts/test.sh)
# Exits 0 when every check passed, 1 when one failed or the daemon is not
# staged, 77 when the VM cannot run here (packages, image or boot), which
# is reported as skipped, never as passed. Logs in ROOT/build/bmc-vm/.
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
vm=$root/tests/vm
quorrel=$root/stage/opt/quorrel
out=$root/build/bmc-vm
skip_status=77
export BMCVM_CACHE=${BMCVM_CACHE:-/var/tmp/tickward-bmc-vm}
t1=60 t2=90 survive=180
mkdir -p "$out"
log=$out/vm.log

skip() { echo "SKIPPED: the BMC VM cannot run here: $*"; exit "$skip_status"; }

[ -x "$quorrel/zel-kw/bin/tickwardd" ] ||
  { echo "FAIL: no staged daemon at $quorrel/zel-kw/bin/tickwardd"; exit 1; }
sh "$vm/packages.sh" > "$out/packages.log" 2>&1 ||
  { tail -n 20 "$out/packages.log"; skip "installing the VM's packages failed (log $out/packages.log)"; }
command -v qemu-system-x86_64 > /dev/null || skip "no qemu-system-x86_64"

files=$(mktemp -d -t tw-bmc-vm.XXXXXX)
trap 'rm -rf "$files"' EXIT
cp -a "$quorrel" "$files/quorrel"
cp "$vm/daemon-in-guest.sh" "$files/"

# Every line of the console gets the host's clock, so the time from the
# SIGKILL to the reset is measured outside the guest.
echo "running the daemon in the VM (about 5 minutes); console in $log"
"$vm/run-in-vm.sh" --timeout 480 --max-boots 2 --files "$files" -- \
  "TW_T1=$t1 TW_T2=$t2 TW_SURVIVE=$survive sh ./daemon-in-guest.sh" 2>&1 |
  while IFS= read -r line; do printf '%s %s\n' "$EPOCHREALTIME" "$line"; done > "$log"
rc=${PIPESTATUS[0]}
console=$out/console.txt
cut -d' ' -f2- "$log" > "$console"
text() { cat "$console"; }
when() { grep -m1 -E "^[0-9.]+ $1" "$log" | cut -d' ' -f1; }

if ! grep -q '^BMCVM-READY ' "$console"; then
  text | tail -n 30
  skip "the VM did not boot to its shell (run-in-vm.sh status $rc)"
fi

text | grep -E '^(VMCHECK|TW-|BMCVM-(BOOT|RESULT)|armed:|reloaded:|after )'
status=0
bad() { echo "FAIL: $*"; status=1; }

# Every check must have reported, and passed.
checks="daemon-installed start armed-countdown armed-action armed-use counting syslog-armed
  survive refresh-spacing reload-countdown reload-counting sigterm-exit sigterm-lockfile sigterm-stopped
  sigterm-no-expiry syslog-stopped trace-file restart rearmed reset-after-kill expiry-flag reset-action"
passed=0
for c in $checks; do
  if grep -q "^VMCHECK PASS $c\$" "$console"; then passed=$((passed + 1))
  elif ! grep -q "^VMCHECK FAIL $c:" "$console"; then bad "check $c never reported"; fi
done
grep -q '^VMCHECK FAIL' "$console" && bad "$(grep -c '^VMCHECK FAIL' "$console") check(s) in the guest failed"

# Two boots, the second ending well: the reset came, and only one.
grep -qE '^BMCVM-RESULT status=0 reason=guest-exit boots=2 ' "$console" ||
  bad "run summary 'status=0 reason=guest-exit boots=2', got: $(text | grep '^BMCVM-RESULT')"

# SIGKILL to reset. The guest read the BMC's countdown every 5 s after the
# kill: it must only fall (nobody refreshes), the last reading must be within
# one period of expiry (the guest lived until then), and the expiry it
# predicts must lie within TimeoutInterval of the kill. The host's clock
# bounds the whole, with room for a slow boot on a busy machine.
killed=$(when 'TW-KILLED ') boot2=$(when 'BMCVM-BOOT 2$')
if [ -n "$killed" ] && [ -n "$boot2" ]; then
  verdict=$(grep -E '^TW-(KILLED|AFTERKILL) ' "$console" | awk -v t="$t1" '
    { tt = $2; sub(/^t=/, "", tt); p = $3; sub(/^present=/, "", p) }
    /^TW-KILLED/ { t0 = tt; last = p; lt = tt; next }
    { if (p + 0 >= last + 0) rise = rise " " p; last = p; lt = tt; n++ }
    END {
      due = lt + last / 10 - t0
      printf "kill at guest %.1f s, %d readings after it, last %.1f s before expiry; expiry %.1f s after the kill\n", t0, n, last / 10, due
      if (rise != "") print "FAIL the countdown rose after the kill:" rise
      if (n < 1 || last + 0 > 70) print "FAIL last reading before the reset more than 7 s from expiry"
      if (due > t + 1) print "FAIL expiry more than " t " s after the kill"
    }')
  echo "SIGKILL: $verdict" | head -n 1
  grep '^FAIL' <<< "$verdict" | while read -r _ why; do echo "FAIL: $why"; done
  grep -q '^FAIL' <<< "$verdict" && status=1
  took=$(awk -v a="$killed" -v b="$boot2" 'BEGIN { printf "%.1f", b - a }')
  echo "SIGKILL to the next boot's counter line, host clock: $took s"
  awk -v d="$took" -v t="$t1" 'BEGIN { exit !(d <= t + 90) }' ||
    bad "second boot more than $((t1 + 90)) s after the kill, took $took s"
else
  bad "no SIGKILL reset seen (kill at '${killed:-}', second boot at '${boot2:-}')"
fi

echo "bmc-vm: $passed of $(echo $checks | wc -w) guest checks passed; $(text | grep '^BMCVM-RESULT')"
[ "$status" = 0 ] || echo "console log: $log"
exit $status
