#!/bin/bash
# The main job: installs tickward under /opt/quorrel and runs the watchdog
# service for real on this machine, against the project's simulated BMC
# (there is no BMC here): the timer armed and refreshed, a settings change
# made with qvsacmd reaching the daemon, an orderly stop. The settings and
# the lock file are private to this run (a private mount namespace); the
# trace file stays for you to read. Nothing is left running. Run as root.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [ "${1:-}" != --inside ]; then
  bash scripts/install.sh --allow-emulation
  command -v busybox > /dev/null || {
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends busybox > /dev/null
  }
  echo
  echo "== Building the simulated BMC (a test double for /dev/ipmi0; never installed)"
  cmake -S . -B build/demo-32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-m32.cmake" \
    -DTW_COMPONENTS="" -DTW_STAGE_DIR="$root/build/demo.stage" > /dev/null
  cmake --build build/demo-32 --target tw_bmc_sim -j"${TW_JOBS:-2}" > /dev/null
  out=/var/tmp/tickward-demo
  rm -rf "$out"
  mkdir -p "$out"
  exec unshare -m bash "$0" --inside "$out"
fi

# --- Inside a private mount namespace ---------------------------------------
out=$2
sim_lib="$root/build/demo-32/tests/bmc/libtw_bmc_sim.so"
mount --make-rprivate /
mount -t tmpfs tickward-demo /tmp
# The installed settings stay as they are: this run changes a copy.
mkdir -p /tmp/cnf
cp -a /opt/quorrel/zel-kw/cnf/. /tmp/cnf/
mount --bind /tmp/cnf /opt/quorrel/zel-kw/cnf
syslog_file=""
if [ ! -S /dev/log ]; then
  # No system logger here: catch the daemon's syslog lines in a file.
  mkdir -p /tmp/dev/upper /tmp/dev/work
  mount -t overlay overlay -o lowerdir=/dev,upperdir=/tmp/dev/upper,workdir=/tmp/dev/work /dev
  syslog_file=$out/syslog.log
  busybox syslogd -n -O "$syslog_file" &
  syslogd=$!
  for _ in $(seq 50); do [ -S /dev/log ] && break; sleep 0.1; done
fi

export TW_BMC_SIM_DIR=/tmp/bmc-sim TW_BMC_SIM_SCALE=1
bmc_log=$TW_BMC_SIM_DIR/requests.log
mkdir -p "$TW_BMC_SIM_DIR"

# What the BMC received, one line per command.
show_bmc() {
  [ -f "$bmc_log" ] || return 0
  awk -v from="${1:-0}" '
    function hex(s,   n, i) { n = 0; s = tolower(s)
      for (i = 1; i <= length(s); i++) n = n * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
      return n }
    $2 == "send" && $1 > from {
      split($0, f, " "); for (i in f) { split(f[i], kv, "="); v[kv[1]] = kv[2] }
      t = strftime("%H:%M:%S", int(substr(v["wall"], 1, index(v["wall"], ".") - 1)))
      if (v["cmd"] == "0x22") what = "Reset Watchdog Timer (refresh)"
      else {
        split(v["data"], b, ":")
        cd = hex(b[6]) * 256 + hex(b[5])
        what = (b[2] == "00" && cd == 0) ? "Set Watchdog Timer: stop" \
             : sprintf("Set Watchdog Timer: arm, action 0x%s, countdown %d s", b[2], cd / 10)
      }
      printf "  %s  %-58s answer %s\n", t, what, v["cc"]
    }' "$bmc_log"
}
last_seq() { [ -f "$bmc_log" ] && awk 'END { print $1 + 0 }' "$bmc_log" || echo 0; }

daemon=/opt/quorrel/zel-kw/bin/tickwardd
tool=/opt/quorrel/zel-px/tool/bin/qvsacmd

echo
echo "== Turning the watchdog on: qvsacmd --setconfigdata (refresh every 15 s, countdown 60 s)"
"$tool" --setconfigdata tickwardd \
  '<config><ErrorWatching>TRUE</ErrorWatching><TimeoutAction>HardReset</TimeoutAction><TimeoutInterval>60</TimeoutInterval><IntervalCount>4</IntervalCount><MinimumInterval>15</MinimumInterval></config>' \
  2>&1 | sed 's/^/  /' || true
echo "  (no daemon runs yet, so there was nobody to notify)"

echo
echo "== Starting $daemon"
LD_PRELOAD=$sim_lib "$daemon"
for _ in $(seq 100); do [ -s /tmp/tickwardd.lock ] && break; sleep 0.1; done
pid=$(cat /tmp/tickwardd.lock)
echo "  running as process $pid (lock file /tmp/tickwardd.lock); waiting for two refreshes..."
for _ in $(seq 250); do
  [ "$(grep -c ' send .*cmd=0x22' "$bmc_log" 2> /dev/null)" -ge 2 ] && break
  sleep 0.1
done
show_bmc 0

echo
echo "== Changing the countdown to 120 s with qvsacmd; it signals the daemon to reload"
seen=$(last_seq)
"$tool" --setconfigdata tickwardd '<config><TimeoutInterval>120</TimeoutInterval></config>' 2>&1 |
  sed 's/^/  /'
for _ in $(seq 100); do
  [ "$(awk -v s="$seen" '$1 > s && / send .*cmd=0x22/' "$bmc_log" | wc -l)" -ge 1 ] && break
  sleep 0.1
done
show_bmc "$seen"

echo
echo "== Stopping the service (SIGTERM): the daemon stops the BMC timer"
seen=$(last_seq)
kill -TERM "$pid"
for _ in $(seq 300); do kill -0 "$pid" 2> /dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2> /dev/null; then
  echo "  the daemon did not stop within 30 s; killing it"
  kill -KILL "$pid"
fi
show_bmc "$seen"
[ -e /tmp/tickwardd.lock ] && echo "  lock file still there" || echo "  lock file removed"

[ -n "$syslog_file" ] && { sleep 0.3; kill "$syslogd" 2> /dev/null || true; }
trace=$(ls -t /opt/quorrel/zel-kw/log/qvsmwdt*.log 2> /dev/null | head -1)
echo
echo "== Where to look"
echo "  trace file:   $trace"
grep -E 'ZELKW-0(38|40|42|49)' "$trace" | tail -8 |
  sed -E 's/.*(ZELKW-[0-9]+-[A-Z]) +\[([^]]*)\]\[[^]]*\] (.*) FileName:.*/    \2  \1 \3/'
if [ -n "$syslog_file" ]; then
  echo "  syslog lines: $syslog_file"
  sed 's/^/    /' "$syslog_file"
else
  echo "  syslog lines: your system log, identity zelkwmon (journalctl -t zelkwmon)"
fi
echo "  BMC requests: $out/bmc-requests.log"
cp "$bmc_log" "$out/bmc-requests.log"
