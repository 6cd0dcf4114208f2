#!/bin/sh
# daemon-in-guest.sh - runs inside the bmc-vm guest (busybox sh, as root, in
# /work). Drives the installed tickwardd against QEMU's simulated BMC behind
# the real Linux IPMI driver and reads the timer back with ipmitool.
#
# /work/quorrel is the staged install tree; it is bind-mounted at
# /opt/quorrel. Each check prints one line the host script counts:
#   VMCHECK PASS name
#   VMCHECK FAIL name: what was expected, what came instead
# Boot 1: arm, survive, reload, SIGTERM, then start again and SIGKILL; the
# BMC then resets the guest. Boot 2: the reset was the watchdog's.
#
# Settings in the environment of this script (set by the host script):
#   TW_T1 first TimeoutInterval (s), TW_T2 the one a reload brings in,
#   TW_SURVIVE seconds of guest time the daemon must keep the guest alive.
T1=${TW_T1:-60}
T2=${TW_T2:-90}
SURVIVE=${TW_SURVIVE:-180}
KW=/opt/quorrel/zel-kw
CFG=$KW/cnf/qvwdtcfg.xml
DAEMON=$KW/bin/tickwardd
LOCK=/tmp/tickwardd.lock
SYSLOG=/tmp/syslog.log
failed=0

pass() { echo "VMCHECK PASS $1"; }
fail() { echo "VMCHECK FAIL $1: $2"; failed=1; }
check() { # check NAME CONDITION-STATUS DETAIL: one line by the status of the last test
  if [ "$2" = 0 ]; then pass "$1"; else fail "$1" "$3"; fi
}
uptime_s() { cut -d' ' -f1 /proc/uptime; }
note() { echo "TW-NOTE t=$(uptime_s) $*"; }
since() { awk -v a="$1" -v b="$(uptime_s)" 'BEGIN { printf "%.1f", b - a }'; }

# One Get Watchdog Timer through ipmitool's own reading of it. Sets
# wd_use, wd_action, wd_flags (texts as ipmitool prints them) and
# wd_initial, wd_present (tenths of a second). The first request after a
# watchdog reset may be answered by the queued watchdog event (see
# tests/vm/README.md), so a failed reading is tried again.
wdget() {
  wd_try=0
  while [ $wd_try -lt 4 ]; do
    if ipmitool mc watchdog get > /tmp/wd.txt 2> /tmp/wd.err &&
       grep -q '^Present Countdown:' /tmp/wd.txt; then
      wd_use=$(sed -n 's/^Watchdog Timer Use: *//p' /tmp/wd.txt)
      wd_action=$(sed -n 's/^Watchdog Timer Action: *//p' /tmp/wd.txt)
      wd_flags=$(sed -n 's/^Timer Expiration Flags: *//p' /tmp/wd.txt)
      wd_initial=$(sed -n 's/^Initial Countdown: *\([0-9]*\)\.\([0-9]\) sec.*/\1\2/p' /tmp/wd.txt)
      wd_present=$(sed -n 's/^Present Countdown: *\([0-9]*\)\.\([0-9]\) sec.*/\1\2/p' /tmp/wd.txt)
      # Leading zeros off ("0.8 sec" is 08, which $(( )) takes for octal).
      wd_initial=${wd_initial#"${wd_initial%%[!0]*}"} wd_present=${wd_present#"${wd_present%%[!0]*}"}
      wd_initial=$((${wd_initial:-0} + 0)) wd_present=$((${wd_present:-0} + 0))
      return 0
    fi
    wd_try=$((wd_try + 1))
    sleep 0.5
  done
  echo "ipmitool mc watchdog get failed: $(cat /tmp/wd.err)"
  wd_use= wd_action= wd_flags= wd_initial=-1 wd_present=-1
  return 1
}
wdline() { echo "use=[$wd_use] action=[$wd_action] flags=[$wd_flags] initial=$wd_initial present=$wd_present (tenths)"; }

# The daemon's process is alive (an orphan the init shell has not reaped yet
# is a zombie, which kill -0 would still find).
alive() { [ -n "$1" ] && [ -r "/proc/$1/stat" ] && ! grep -q '^[0-9]* ([^)]*) Z' "/proc/$1/stat"; }

set_setting() { # set_setting KEY VALUE in the data document
  sed -i "s|<$1>[^<]*</$1>|<$1>$2</$1>|" "$CFG"
  grep -q "<$1>$2</$1>" "$CFG" || { fail "settings" "could not set $1 to $2 in $CFG"; return 1; }
}

# Starts the daemon; sets pid from the lock file. The started process forks
# and exits 0 once the child exists.
start_daemon() {
  rm -f "$LOCK"
  sent=$(uptime_s)
  "$DAEMON"; rc=$?
  [ "$rc" = 0 ] || { fail "$1" "tickwardd exited with $rc at start, want 0"; return 1; }
  i=0; pid=
  while [ $i -lt 100 ]; do
    pid=$(head -n 1 "$LOCK" 2>/dev/null | tr -dc 0-9)
    [ -n "$pid" ] && alive "$pid" && break
    sleep 0.1; i=$((i + 1))
  done
  alive "$pid" || { fail "$1" "no live daemon process named in $LOCK 10 s after start (lock file: '$(cat $LOCK 2>/dev/null)')"; return 1; }
  pass "$1"
  note "tickwardd runs as pid $pid, $(since "$sent") s after the start"
}

# Waits up to $2 seconds until the BMC's initial countdown is $1 tenths.
wait_armed() {
  from=$(uptime_s)
  while :; do
    wdget && [ "$wd_initial" = "$1" ] && [ "$wd_present" -gt 0 ] && return 0
    awk -v a="$from" -v b="$(uptime_s)" -v l="$2" 'BEGIN { exit !(b - a >= l) }' && return 1
    sleep 0.5
  done
}

dump() { # what helps to see why a check failed
  echo "---- trace files"
  for f in $KW/log/qvsmwdt*; do [ -f "$f" ] && { echo "== $f"; tail -n 120 "$f"; }; done
  echo "---- syslog"; cat "$SYSLOG" 2>/dev/null
  echo "---- processes"; ps
  echo "---- data document"; cat "$CFG"
  echo "----"
}

if [ "$BMCVM_BOOT" != 1 ]; then
  # After the BMC's reset: it must have come from the watchdog, after the
  # daemon was killed (boot 1 writes a mark on the state disk first).
  mark=$(dd if=/dev/vda bs=512 skip=8 count=1 2>/dev/null | tr -dc 'a-z-')
  [ "$mark" = "tw-killed" ]
  check reset-after-kill $? "guest reset before the daemon was killed (mark on the state disk: '$mark')"
  wdget; echo "after reset: $(wdline)"
  case $wd_flags in *0x10*) r=0 ;; *) r=1 ;; esac
  check expiry-flag $r "SMS/OS expiration flag (0x10) set after the reset, got flags '$wd_flags'"
  case $wd_action in *"Hard Reset"*) r=0 ;; *) r=1 ;; esac
  check reset-action $r "timer action Hard Reset kept over the reset, got '$wd_action'"
  ipmitool sel list 2>/dev/null | tail -n 3
  exit $failed
fi

mkdir -p /opt/quorrel
mount -o bind /work/quorrel /opt/quorrel || { rmdir /opt/quorrel; mv /work/quorrel /opt/quorrel; }
syslogd -O "$SYSLOG"
[ -x "$DAEMON" ] || { fail daemon-installed "$DAEMON is not an executable file"; exit 1; }
pass daemon-installed

set_setting ErrorWatching TRUE && set_setting TimeoutAction HardReset &&
  set_setting TimeoutInterval "$T1" && set_setting IntervalCount 2 || exit 1
note "data document:"; cat "$CFG"
wdget; echo "BMC before the daemon: $(wdline)"

# 1. Start and arm.
start_daemon start || { dump; exit 1; }
if wait_armed $((T1 * 10)) 20; then pass armed-countdown; note "armed $(since "$sent") s after the start"
else fail armed-countdown "initial countdown $((T1 * 10)) tenths within 20 s of the start, got: $(wdline)"; dump; exit 1; fi
echo "armed: $(wdline)"
case $wd_action in *"Hard Reset (0x01)"*) r=0 ;; *) r=1 ;; esac
check armed-action $r "action 'Hard Reset (0x01)', got '$wd_action'"
case $wd_use in *"SMS/OS (0x04)"*) r=0 ;; *) r=1 ;; esac
check armed-use $r "timer use 'SMS/OS (0x04)', got '$wd_use'"
# Counting: of three readings 2 s apart at least one pair decreases (a
# refresh between two readings raises the second).
a=$wd_present; sleep 2; wdget; b=$wd_present; sleep 2; wdget; c=$wd_present
if { [ "$b" -lt "$a" ] || [ "$c" -lt "$b" ]; } && [ "$c" -gt 0 ]; then pass counting
else fail counting "present countdown decreasing over 4 s, got $a, $b, $c tenths"; fi
sleep 1
grep -q 'Vorlan Monitor : The timer is successfully set and started' "$SYSLOG"
check syslog-armed $? "syslog line 'The timer is successfully set and started', syslog has: $(cat $SYSLOG)"

# 2. Survive several timeouts: sample the timer every 5 s.
t0=$(uptime_s); lowest=$((T1 * 10)); refreshes=0; prev=$c; expired=0; samples=0
while :; do
  sleep 5
  now=$(uptime_s)
  wdget || continue
  samples=$((samples + 1))
  # A raised countdown is a refresh; it came (initial - present) tenths ago.
  if [ "$wd_present" -gt "$prev" ]; then
    refreshes=$((refreshes + 1))
    awk -v t="$now" -v i="$wd_initial" -v p="$wd_present" 'BEGIN { printf "%.1f\n", t - (i - p) / 10 }' >> /tmp/refreshed
  fi
  [ "$wd_present" -lt "$lowest" ] && lowest=$wd_present
  case $wd_flags in *None*) ;; *) expired=1 ;; esac
  prev=$wd_present
  echo "TW-SAMPLE t=$now present=$wd_present initial=$wd_initial flags=[$wd_flags]"
  awk -v a="$t0" -v b="$now" -v s="$SURVIVE" 'BEGIN { exit !(b - a >= s) }' && break
done
span=$(awk -v a="$t0" -v b="$now" 'BEGIN { printf "%d", b - a }')
note "survived ${span} s of guest time: $samples samples, $refreshes refreshes seen, lowest countdown $lowest tenths"
want=$((SURVIVE / (T1 / 2) - 1))
[ "$refreshes" -ge "$want" ] && [ "$lowest" -gt 0 ] && [ "$expired" = 0 ] && alive "$pid"
check survive $? "over $span s: at least $want refreshes, countdown never 0, no expiry, daemon alive; got $refreshes refreshes, lowest $lowest, expired $expired, daemon $(alive "$pid" && echo alive || echo gone)"
# Refreshes TimeoutInterval / IntervalCount apart; 2 s either way for the
# readings' own delay under emulation.
gaps=$(awk 'NR > 1 { printf "%s%.1f", sep, $1 - last; sep = " " } { last = $1 }' /tmp/refreshed)
note "seconds between refreshes: $gaps"
awk -v want=$((T1 / 2)) 'NR > 1 { d = $1 - last; if (d < want - 2 || d > want + 2) bad = 1 } { last = $1 }
  END { exit bad || NR < 3 }' /tmp/refreshed
check refresh-spacing $? "refreshes $((T1 / 2)) s apart (2 s either way), got gaps of: $gaps"

# 3. Reload with a new TimeoutInterval.
set_setting TimeoutInterval "$T2" || exit 1
kill -HUP "$pid"; sent=$(uptime_s)
if wait_armed $((T2 * 10)) 40; then
  note "new countdown read back $(since "$sent") s after SIGHUP"
  [ "$wd_present" -gt $((T1 * 10)) ] && [ "$wd_present" -le $((T2 * 10)) ]
  check reload-countdown $? "after SIGHUP the present countdown between $((T1 * 10)) and $((T2 * 10)) tenths, got $(wdline)"
else
  fail reload-countdown "initial countdown $((T2 * 10)) tenths within 40 s of SIGHUP, got: $(wdline)"
fi
echo "reloaded: $(wdline)"
a=$wd_present; sleep 3; wdget; b=$wd_present
[ "$b" -lt "$a" ] && [ "$b" -gt 0 ] && alive "$pid"
check reload-counting $? "after the reload the same daemon counting down, got $a then $b tenths, daemon $(alive "$pid" && echo alive || echo gone)"

# 4. SIGTERM stops the timer.
kill -TERM "$pid"; sent=$(uptime_s)
i=0; while alive "$pid" && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
note "daemon gone $(since "$sent") s after SIGTERM"
! alive "$pid"
check sigterm-exit $? "daemon gone within 30 s of SIGTERM, it still runs"
[ ! -e "$LOCK" ]
check sigterm-lockfile $? "lock file removed at the stop, it is still there"
wdget; a=$wd_present; echo "after SIGTERM: $(wdline)"; sleep 3; wdget; b=$wd_present
[ "$a" = 0 ] && [ "$b" = 0 ] && [ "$wd_initial" = 0 ]
check sigterm-stopped $? "timer stopped (initial and present countdown 0, twice 3 s apart), got present $a then $b, $(wdline)"
case $wd_flags in *None*) r=0 ;; *) r=1 ;; esac
check sigterm-no-expiry $r "no expiration flag after the stop, got '$wd_flags'"
grep -q 'Vorlan Monitor : The timer is successfully stopped' "$SYSLOG" &&
  grep -q 'Vorlan Monitor : The service stopped successfully' "$SYSLOG"
check syslog-stopped $? "syslog lines 'The timer is successfully stopped' and 'The service stopped successfully'"
trace=$(ls $KW/log/qvsmwdt* 2>/dev/null | head -n 1)
[ -n "$trace" ] && grep -q 'The service has been stopped successfully' $KW/log/qvsmwdt*
check trace-file $? "a trace file $KW/log/qvsmwdt* ending with the stop, found '$trace'"
echo "---- last lines of the trace ($trace)"; tail -n 12 "$trace" 2>/dev/null; echo "----"
[ "$failed" = 0 ] || dump

# 5. Start again, then SIGKILL: nobody refreshes, the BMC resets the guest.
set_setting TimeoutInterval "$T1" || exit 1
start_daemon restart || { dump; exit 1; }
if wait_armed $((T1 * 10)) 20; then pass rearmed
else fail rearmed "initial countdown $((T1 * 10)) tenths within 20 s of the second start, got: $(wdline)"; dump; exit 1; fi
[ "$failed" = 0 ] || dump
printf 'tw-killed' | dd of=/dev/vda bs=512 seek=8 conv=notrunc 2>/dev/null; sync
kill -KILL "$pid"
wdget
echo "TW-KILLED t=$(uptime_s) present=$wd_present initial=$wd_initial"
start=$(uptime_s)
while :; do
  sleep 5
  wdget && echo "TW-AFTERKILL t=$(uptime_s) present=$wd_present flags=[$wd_flags]"
  awk -v a="$start" -v b="$(uptime_s)" -v l=$((T1 * 2)) 'BEGIN { exit !(b - a >= l) }' && break
done
fail sigkill-reset "BMC reset within ${T1} s of SIGKILL, the guest still runs $((T1 * 2)) s later"
dump
exit 1
