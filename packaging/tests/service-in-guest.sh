#!/bin/bash
# Runs as a systemd service in the Debian 12 guest of
# packaging/tests/service-vm.sh, whose BMC is QEMU's ipmi-bmc-sim behind the
# Linux IPMI driver, with the tickward package installed and its unit
# disabled. Drives the unit with systemctl and compares, at every step, the
# BMC's own view (ipmitool mc watchdog get) with tickward-status --json.
# Prints "VMCHECK PASS name" or "VMCHECK FAIL name: ..." lines, then
# "SVCVM-EXIT status" and powers the guest off.
#
# The simulated BMC answers Get Watchdog Timer with the timer use byte as it
# was last set, so its "running" bit stays clear for a timer armed with use
# 0x04 and ipmitool prints "Timer Is: Stopped" for a running timer (see
# tests/vm/README.md). What tells running from stopped is the present
# countdown: it goes down while the timer runs and is 0 once it is stopped.
exec > /dev/ttyS0 2>&1
q=/opt/quorrel
qvsacmd=$q/zel-px/tool/bin/qvsacmd
status_cmd=$q/zel-px/tool/bin/tickward-status
failed=0
pass() { echo "VMCHECK PASS $1"; }
fail() { echo "VMCHECK FAIL $1: $2"; failed=1; }
check() { if [ "$2" = "$3" ]; then pass "$1"; else fail "$1" "expected '$2', got '$3'"; fi; }
now() { cut -d' ' -f1 /proc/uptime; }

# tenths "12.3 sec" -> 123
tenths() { local s=${1%% *}; s=${s/./}; echo $((10#${s:-0})); }

# One Get Watchdog Timer through ipmitool: wd_initial and wd_present in
# tenths of a second, wd_is as ipmitool words it. The first request after
# the driver loads can be answered late, so a failed reading is tried again.
wdget() {
  local _
  for _ in 1 2 3 4; do
    if timeout 20 ipmitool mc watchdog get > /tmp/wd.txt 2>&1 && grep -q '^Present Countdown:' /tmp/wd.txt; then
      wd_is=$(sed -n 's/^Watchdog Timer Is: *//p' /tmp/wd.txt)
      wd_initial=$(tenths "$(sed -n 's/^Initial Countdown: *//p' /tmp/wd.txt)")
      wd_present=$(tenths "$(sed -n 's/^Present Countdown: *//p' /tmp/wd.txt)")
      return 0
    fi
    sleep 0.5
  done
  wd_is="no answer: $(tr '\n' ' ' < /tmp/wd.txt)" wd_initial=-1 wd_present=-1
  return 1
}
wdline() { echo "ipmitool at t=$(now): Timer Is [$wd_is], initial $wd_initial, present $wd_present (tenths)"; }

# tickward-status --json: verdict, exit status, and the bmc object's
# running, initial and present countdown (countdowns in tenths).
st() {
  timeout 30 "$status_cmd" --json > /tmp/st.json 2> /tmp/st.err
  st_exit=$?
  local flat bmc_obj
  flat=$(tr -d '\n ' < /tmp/st.json)
  st_verdict=$(echo "$flat" | sed -n 's/.*"verdict":"\([a-z-]*\)".*/\1/p')
  bmc_obj=$(echo "$flat" | sed -n 's/.*"bmc":{\([^}]*\)}.*/\1/p')
  st_running=$(echo "$bmc_obj" | sed -n 's/.*"running":\([a-z]*\).*/\1/p')
  st_initial=$(tenths "$(echo "$bmc_obj" | sed -n 's/.*"initial_countdown_s":\([0-9.]*\).*/\1/p')")
  st_present=$(tenths "$(echo "$bmc_obj" | sed -n 's/.*"present_countdown_s":\([0-9.]*\).*/\1/p')")
}
stline() { echo "tickward-status: exit $st_exit, verdict $st_verdict, bmc running $st_running, initial $st_initial, present $st_present (tenths)"; }

# Waits up to 60 s until the BMC shows initial countdown $1 (tenths) and a
# present countdown above 0 (the daemon arms shortly after a start or a
# reload).
wait_armed() {
  local deadline=$(($(cut -d. -f1 /proc/uptime) + 60))
  while :; do
    wdget && [ "$wd_initial" = "$1" ] && [ "$wd_present" -gt 0 ] && return 0
    [ "$(cut -d. -f1 /proc/uptime)" -lt "$deadline" ] || return 1
    sleep 1
  done
}

# step NAME WANT (running|stopped) WANT-INITIAL(tenths) WANT-VERDICT WANT-EXIT
# ipmitool reading a, the status command, ipmitool reading b. Running: b's
# present countdown below a's and above 0, and the status command's present
# countdown between them. Stopped: a and b both 0. A refresh by the daemon
# between the readings raises the countdown; the step is then tried again
# (a refresh comes at most every TimeoutInterval / IntervalCount).
step() {
  local name=$1 want=$2 initial=$3 verdict=$4 exitst=$5 bmc_says a
  for _ in 1 2 3; do
    wdget; a=$wd_present; echo "SVCVM-NOTE $name: $(wdline)"
    st; echo "SVCVM-NOTE $name: $(stline)"
    sleep 1
    wdget; echo "SVCVM-NOTE $name: $(wdline)"
    [ "$want" = running ] && [ "$wd_present" -gt "$a" ] && continue
    break
  done
  if [ "$a" -gt 0 ] && [ "$wd_present" -gt 0 ] && [ "$wd_present" -lt "$a" ]; then
    bmc_says=running
  elif [ "$a" = 0 ] && [ "$wd_present" = 0 ]; then
    bmc_says=stopped
  else
    bmc_says="neither (present countdown $a then $wd_present tenths)"
  fi
  check "$name: BMC timer (by its present countdown)" "$want" "$bmc_says"
  check "$name: BMC initial countdown (tenths)" "$initial" "$wd_initial"
  check "$name: status verdict" "$verdict" "$st_verdict"
  check "$name: status exit" "$exitst" "$st_exit"
  [ "$want" = running ] && w=true || w=false
  check "$name: status bmc.running agrees with the BMC" "$w" "$st_running"
  check "$name: status bmc.initial_countdown_s agrees with ipmitool" "$wd_initial" "$st_initial"
  if [ "$st_present" -le "$a" ] && [ "$st_present" -ge "$wd_present" ]; then
    pass "$name: status bmc.present_countdown_s agrees with ipmitool"
  else
    fail "$name: status bmc.present_countdown_s agrees with ipmitool" \
      "between ipmitool's $a and $wd_present tenths read before and after it, got $st_present"
  fi
}

dump() {
  echo "---- journal"; journalctl -u tickwardd --no-pager -o short-monotonic | tail -n 30
  for f in "$q"/zel-kw/log/qvsmwdt*; do [ -f "$f" ] && { echo "== $f"; tail -n 40 "$f"; }; done
  echo "----"
}

echo "SVCVM-READY $(now)"
check "unit disabled at boot" inactive "$(systemctl is-active tickwardd)"
"$qvsacmd" --setconfigdata tickwardd \
  '<config><ErrorWatching>TRUE</ErrorWatching><TimeoutInterval>120</TimeoutInterval><IntervalCount>2</IntervalCount><TimeoutAction>HardReset</TimeoutAction></config>' ||
  fail "settings" "qvsacmd --setconfigdata failed"
wdget; echo "SVCVM-NOTE before the start: $(wdline)"

t=$(now)
systemctl start tickwardd
check "systemctl start" active "$(systemctl is-active tickwardd)"
check "foreground: main process is tickwardd" tickwardd "$(cat /proc/"$(systemctl show -P MainPID tickwardd)"/comm 2> /dev/null)"
if wait_armed 1200; then pass "start arms the timer"; echo "SVCVM-NOTE armed $(awk -v a="$t" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }') s after systemctl start"
else fail "start arms the timer" "initial countdown 1200 tenths and a present one within 60 s, got: $(wdline)"; fi
step start running 1200 protected 0

# qvsacmd notifies the daemon itself; systemctl reload must then re-arm
# once more, which raises the present countdown again.
"$qvsacmd" --setconfigdata tickwardd '<config><TimeoutInterval>180</TimeoutInterval></config>' ||
  fail "settings" "qvsacmd --setconfigdata failed"
wait_armed 1800 || fail "qvsacmd change" "initial countdown 1800 tenths within 60 s, got: $(wdline)"
sleep 3
wdget; before=$wd_present; echo "SVCVM-NOTE before the reload: $(wdline)"
t=$(now)
systemctl reload tickwardd
rearmed=0
for _ in $(seq 1 30); do
  wdget && [ "$wd_initial" = 1800 ] && [ "$wd_present" -gt "$before" ] && { rearmed=1; break; }
  sleep 1
done
if [ "$rearmed" = 1 ]; then pass "systemctl reload re-arms with the new countdown"
  echo "SVCVM-NOTE re-armed $(awk -v a="$t" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }') s after systemctl reload: $(wdline)"
else fail "systemctl reload re-arms with the new countdown" "present countdown above $before tenths, initial 1800, within 30 s, got: $(wdline)"; fi
check "reload keeps the process" active "$(systemctl is-active tickwardd)"
step reload running 1800 protected 0

t=$(now)
systemctl stop tickwardd
echo "SVCVM-NOTE systemctl stop took $(awk -v a="$t" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }') s"
check "systemctl stop" inactive "$(systemctl is-active tickwardd)"
# The daemon stops the timer by setting it with countdown 0.
step stop stopped 0 daemon-not-running 2
if [ ! -e /tmp/tickwardd.lock ]; then pass "stop: lock file gone"; else fail "stop: lock file gone" "still there"; fi

[ "$failed" = 0 ] || dump
journalctl -u tickwardd --no-pager -o cat | tail -n 15 | sed 's/^/journal: /'
echo "SVCVM-EXIT $failed"
systemctl poweroff --no-block
