#!/bin/sh
# Runs inside a fresh Debian 12 root (scripts/test.d/packages.sh), in a
# private PID namespace so that killall and the daemon see only this root.
# Usage: in-chroot.sh VERSION1 VERSION2 (the debs lie in /pkgs/v1, /pkgs/v2)
# Prints one "PASS name" or "FAIL name: expected ..., got ..." a check;
# exits 0 when all passed, 1 when one failed, 3 when apt cannot reach the
# mirror.
set -u
v1=$1 v2=$2
export DEBIAN_FRONTEND=noninteractive LC_ALL=C
failed=0
pass() { echo "PASS $1"; }
fail() { echo "FAIL $1: $2"; failed=1; }
# check NAME EXPECTED GOT
check() { if [ "$2" = "$3" ]; then pass "$1"; else fail "$1" "expected '$2', got '$3'"; fi; }

quorrel=/opt/quorrel
daemon=$quorrel/zel-kw/bin/tickwardd
qvsacmd=$quorrel/zel-px/tool/bin/qvsacmd
status_cmd=$quorrel/zel-px/tool/bin/tickward-status
cfg=$quorrel/zel-kw/cnf/qvwdtcfg.xml
lock=/tmp/tickwardd.lock
wants=/etc/systemd/system/multi-user.target.wants/tickwardd.service

apt-get update -qq > /tmp/apt-update.log 2>&1 || { cat /tmp/apt-update.log; exit 3; }

# Fresh install: apt pulls the dependencies from the mirror.
if apt-get install -y -qq "/pkgs/v1/tickward_${v1}_amd64.deb" "/pkgs/v1/tickward-dev_${v1}_amd64.deb" \
  > /tmp/install.log 2>&1; then pass install; else fail install "apt-get install failed: $(tail -n 5 /tmp/install.log)"; exit 1; fi
for p in tickward tickward-dev libc6 libc6-i386 procps psmisc; do
  check "installed $p" "install ok installed" "$(dpkg-query -W -f='${Status}' "$p" 2>&1)"
done
for f in "$daemon" "$qvsacmd" "$status_cmd" $quorrel/zel-kw/bin/tickward-trace-follow \
  $quorrel/zel-px/lib/libvopcfg.so $quorrel/zel-px/tool/lib/libvopcfg.so \
  $quorrel/zel-kw/bin/libvesk2ZELKWLIBs.so $quorrel/zel-kw/bin/libvesk2ZELKWLIBsys.so \
  $quorrel/zel-kw/bin/libvesk2ZELKWLIBte64.so $quorrel/zel-kw/bin/libvesk2ZELKWLIBtrap64.so \
  $cfg $quorrel/zel-kw/cnf/qvwdtdef.xml $quorrel/VESKLib2/etc/D002vesk2.cnf \
  $quorrel/zel-px/tool/assist/tickwardd $quorrel/zel-px/tool/cnf/qvsacnsl.xml \
  /lib/systemd/system/tickwardd.service /usr/libexec/tickward/tickwardd-ipmi-ready \
  /usr/share/man/man8/tickwardd.8.gz /usr/include/tickward/vopcfg.h \
  /usr/lib/x86_64-linux-gnu/pkgconfig/tickward-vopcfg.pc /usr/lib32/pkgconfig/tickward-vopcfg.pc; do
  if [ -e "$f" ]; then pass "file $f"; else fail "file $f" "missing after install"; fi
done
[ -d $quorrel/zel-kw/log ] && pass "log folder" || fail "log folder" "$quorrel/zel-kw/log missing"
check conffiles "$quorrel/VESKLib2/etc/D002vesk2.cnf $cfg $quorrel/zel-kw/cnf/qvwdtdef.xml" \
  "$(dpkg-query -W -f='${Conffiles}\n' tickward | awk 'NF { print $1 }' | sort | tr '\n' ' ' | sed 's/ $//')"
check "service enabled" /lib/systemd/system/tickwardd.service "$(readlink "$wants")"

# The programs run from their installed paths.
out=$("$qvsacmd" --getcomponentlist 2>&1)
case "$out" in *tickwardd*) pass "qvsacmd --getcomponentlist" ;;
  *) fail "qvsacmd --getcomponentlist" "a list naming tickwardd, got: $out" ;; esac
out=$("$status_cmd" --help 2>&1)
rc=$?
case "$rc:$out" in 0:*Usage:*tickward-status*) pass "tickward-status --help" ;;
  *) fail "tickward-status --help" "status 0 and a usage text, got status $rc: $out" ;; esac
# No BMC here: the unit's device check fails, saying so.
out=$(/usr/libexec/tickward/tickwardd-ipmi-ready 2>&1)
rc=$?
case "$rc:$out" in 1:*"no BMC"*/dev/ipmi0*) pass "device check without a BMC" ;;
  *) fail "device check without a BMC" "status 1 and 'no BMC', got status $rc: $out" ;; esac

# A daemon started by hand (no systemd here): it forks and takes the lock.
"$daemon" < /dev/null > /dev/null 2>&1
pid=
for _ in $(seq 1 100); do
  pid=$(head -n 1 "$lock" 2> /dev/null)
  [ -n "$pid" ] && [ -d "/proc/$pid" ] && break
  sleep 0.2
done
if [ -n "$pid" ] && [ -d "/proc/$pid" ]; then pass "daemon runs ($pid)"; else fail "daemon runs" "a live process id in $lock, got '$pid'"; fi

# An operator's change, then an upgrade: the change stays.
out=$("$qvsacmd" --setconfigdata tickwardd '<config><TimeoutInterval>900</TimeoutInterval><LogLevel>20</LogLevel></config>' 2>&1)
check "qvsacmd --setconfigdata" "" "$out"
changed=$(grep -E '<(TimeoutInterval|LogLevel)>' "$cfg" | tr -d ' \n')
check "setting changed" "<TimeoutInterval>900</TimeoutInterval><LogLevel>20</LogLevel>" "$changed"
[ -d "/proc/$pid" ] && pass "daemon runs after the reload signal" || fail "daemon runs after the reload signal" "process $pid gone"
if apt-get install -y -qq "/pkgs/v2/tickward_${v2}_amd64.deb" "/pkgs/v2/tickward-dev_${v2}_amd64.deb" \
  > /tmp/upgrade.log 2>&1; then pass upgrade; else fail upgrade "$(tail -n 5 /tmp/upgrade.log)"; fi
check "upgraded version" "$v2" "$(dpkg-query -W -f='${Version}' tickward)"
check "setting kept over the upgrade" "$changed" "$(grep -E '<(TimeoutInterval|LogLevel)>' "$cfg" | tr -d ' \n')"
out=$("$qvsacmd" --getconfigdata tickwardd 2>&1)
case "$out" in *900*) pass "qvsacmd reads the kept setting" ;;
  *) fail "qvsacmd reads the kept setting" "TimeoutInterval 900, got: $out" ;; esac
[ ! -e "$cfg.dpkg-dist" ] && [ ! -e "$cfg.dpkg-new" ] && pass "no conffile prompt leftovers" ||
  fail "no conffile prompt leftovers" "$(ls $quorrel/zel-kw/cnf)"

# remove: the daemon stops (its stop path stops the BMC timer), the lock
# file goes, the settings stay.
apt-get remove -y -qq tickward-dev tickward > /tmp/remove.log 2>&1 || fail remove "$(tail -n 5 /tmp/remove.log)"
for _ in $(seq 1 100); do [ -d "/proc/$pid" ] || break; sleep 0.2; done
[ ! -d "/proc/$pid" ] && pass "remove stops the daemon" || fail "remove stops the daemon" "process $pid still runs"
[ ! -e "$lock" ] && pass "remove: lock file gone" || fail "remove: lock file gone" "$lock still there"
[ ! -e "$daemon" ] && pass "remove: programs gone" || fail "remove: programs gone" "$daemon still there"
[ -f "$cfg" ] && pass "remove keeps the settings" || fail "remove keeps the settings" "$cfg gone"

# purge: nothing of the package is left, not even a lock file of a daemon
# that was killed.
echo 12345 > "$lock"
apt-get purge -y -qq tickward > /tmp/purge.log 2>&1 || fail purge "$(tail -n 5 /tmp/purge.log)"
left=$( (find $quorrel /tmp/tickwardd.lock /usr/include/tickward /usr/libexec/tickward /usr/share/doc/tickward \
  /usr/share/doc/tickward-dev /lib/systemd/system/tickwardd.service 2> /dev/null
  find /etc/systemd /var/lib/systemd /usr/share/man /usr/lib/x86_64-linux-gnu/pkgconfig /usr/lib32 \
    -name '*tickward*' 2> /dev/null) | tr '\n' ' ')
check "purge leaves nothing" "" "$left"
check "purged" "" "$(dpkg-query -W -f='${Status}' tickward 2> /dev/null | grep -v 'not-installed')"
exit $failed
