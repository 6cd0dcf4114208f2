#!/bin/bash
# Runs as a systemd service in the Debian 12 guest of
# scripts/test.d/service-vm.sh, whose BMC is QEMU's ipmi-bmc-sim behind the
# Linux IPMI driver, with the tickward package installed and its unit
# disabled. Drives the unit with systemctl and compares, at every step, the
# BMC's own view (ipmitool mc watchdog get) with tickward-status --json.
# Prints "VMCHECK PASS name" or "VMCHECK FAIL name: ..." lines, then
# "SVCVM-EXIT status" and powers the guest off.
exec > /dev/ttyS0 2>&1
q=/opt/quorrel
qvsacmd=$q/zel-px/tool/bin/qvsacmd
status_cmd=$q/zel-px/tool/bin/tickward-status
failed=0
pass() { echo "VMCHECK PASS $1"; }
fail() { echo "VMCHECK FAIL $1: $2"; failed=1; }
check() { if [ "$2" = "$3" ]; then pass "$1"; else fail "$1" "expected '$2', got '$3'"; fi; }

# The BMC's view: running (Started/Running or Stopped) and initial countdown
# in whole seconds.
bmc() {
  local _
  for _ in 1 2 3 4; do
    if timeout 20 ipmitool mc watchdog get > /tmp/wd.txt 2>&1 && grep -q '^Initial Countdown:' /tmp/wd.txt; then
      bmc_state=$(sed -n 's/^Watchdog Timer Is: *//p' /tmp/wd.txt)
      bmc_initial=$(sed -n 's/^Initial Countdown: *\([0-9]*\).*/\1/p' /tmp/wd.txt)
      return 0
    fi
    sleep 0.5
  done
  bmc_state="no answer: $(cat /tmp/wd.txt)" bmc_initial=
}
# tickward-status's view: verdict, timer running, initial countdown.
st() {
  timeout 30 "$status_cmd" --json > /tmp/st.json 2> /tmp/st.err
  st_exit=$?
  st_verdict=$(grep -o '"verdict": *"[a-z-]*"' /tmp/st.json | sed 's/.*"\([a-z-]*\)"$/\1/')
  st_running=$(grep -o '"running": *[a-z]*' /tmp/st.json | tail -n 1 | sed 's/.*: *//')
  st_initial=$(grep -o '"initial_countdown_s": *[0-9]*' /tmp/st.json | sed 's/.*: *//')
}
# step NAME WANT-STATE WANT-INITIAL WANT-VERDICT WANT-EXIT
step() {
  bmc
  st
  check "$1: BMC timer" "$2" "$bmc_state"
  [ -z "$3" ] || check "$1: BMC initial countdown" "$3" "$bmc_initial"
  check "$1: status verdict" "$4" "$st_verdict"
  check "$1: status exit" "$5" "$st_exit"
  [ "$2" = Started/Running ] && want=true || want=false
  check "$1: status agrees on running" "$want" "$st_running"
  [ -z "$3" ] || check "$1: status agrees on the countdown" "$bmc_initial" "$st_initial"
}
# Waits until the BMC shows the initial countdown wanted (the daemon arms
# shortly after it starts or reloads).
wait_armed() {
  local deadline=$(($(cut -d. -f1 /proc/uptime) + 60))
  while [ "$(cut -d. -f1 /proc/uptime)" -lt "$deadline" ]; do
    bmc
    echo "SVCVM-NOTE t=$(cut -d' ' -f1 /proc/uptime) BMC: $bmc_state, initial $bmc_initial s"
    [ "$bmc_state" = Started/Running ] && [ "$bmc_initial" = "$1" ] && return 0
    sleep 1
  done
}

echo "SVCVM-READY $(cut -d' ' -f1 /proc/uptime)"
check "unit disabled at boot" inactive "$(systemctl is-active tickwardd)"
"$qvsacmd" --setconfigdata tickwardd \
  '<config><ErrorWatching>TRUE</ErrorWatching><TimeoutInterval>120</TimeoutInterval><TimeoutAction>HardReset</TimeoutAction></config>' ||
  fail "settings" "qvsacmd --setconfigdata failed"

systemctl start tickwardd
check "systemctl start" active "$(systemctl is-active tickwardd)"
check "foreground: main process is tickwardd" tickwardd "$(cat /proc/"$(systemctl show -P MainPID tickwardd)"/comm 2> /dev/null)"
wait_armed 120
step start Started/Running 120 protected 0

"$qvsacmd" --setconfigdata tickwardd '<config><TimeoutInterval>180</TimeoutInterval></config>' ||
  fail "settings" "qvsacmd --setconfigdata failed"
systemctl reload tickwardd
wait_armed 180
step reload Started/Running 180 protected 0
check "reload keeps the process" active "$(systemctl is-active tickwardd)"

systemctl stop tickwardd
check "systemctl stop" inactive "$(systemctl is-active tickwardd)"
step stop Stopped "" daemon-not-running 2
[ ! -e /tmp/tickwardd.lock ] && pass "stop: lock file gone" || fail "stop: lock file gone" "still there"

journalctl -u tickwardd --no-pager -o cat | tail -n 15 | sed 's/^/journal: /'
echo "SVCVM-EXIT $failed"
systemctl poweroff --no-block
