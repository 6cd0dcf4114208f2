#!/bin/bash
# Idle cost and refresh lateness of the installed watchdog daemon tickwardd,
# in real time (scale 1) against the simulated BMC (docs/simulated-bmc.md).
# Figures and method: docs/daemon-service-performance.md.
#
# Like the test sandbox, it runs as root in a private mount namespace with a
# copy of the staged tree at /opt/quorrel and a private /tmp (lock file, BMC
# state); the daemon's trace files go to a folder on disk, so the disk writer
# of the load run competes with them. It also takes a private process id
# namespace, so that the daemon, once it has forked away, is reaped here and
# nothing it started outlives the bench.
#
# Two runs of INTERVALS refresh intervals (TimeoutInterval 60, IntervalCount 4:
# a Reset every 15 s, the shortest the settings allow):
#   idle  the daemon, with a 32-bit and a native sleep loop beside it as the
#         floor; memory, CPU time and context switches of each from /proc,
#         the BMC requests per refresh from the request log
#   load  the daemon with one spinning process per CPU and a disk writer
#         (dd with fsync in a loop); lateness of each refresh
# Each run takes INTERVALS x 15 s plus about 25 s.
#
#   bash bench/service/run.sh [--stage DIR] [--sim LIB] [--intervals N]
#                             [--runs idle,load] [--out DIR]
#
#   --stage  staged install tree holding opt/quorrel (default build/hbench.stage)
#   --sim    the 32-bit simulated BMC, libtw_bmc_sim.so of a 32-bit build tree
#            (default build/hbench-32/tests/bmc/libtw_bmc_sim.so)
#   --out    results folder (default build/hbench-results/<date>); not under
#            /tmp or /opt, which the namespace covers
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
here="$root/bench/service"
interval=15  # TimeoutInterval 60 / IntervalCount 4

if [ "${1:-}" != --inside ]; then
  stage="$root/build/hbench.stage"
  sim="$root/build/hbench-32/tests/bmc/libtw_bmc_sim.so"
  intervals=10
  runs=idle,load
  out="$root/build/hbench-results/$(date +%Y%m%d-%H%M%S)"
  while [ $# -gt 0 ]; do
    case $1 in
      --stage) stage=$2; shift 2 ;;
      --sim) sim=$2; shift 2 ;;
      --intervals) intervals=$2; shift 2 ;;
      --runs) runs=$2; shift 2 ;;
      --out) out=$2; shift 2 ;;
      *) echo "usage: $0 [--stage DIR] [--sim LIB] [--intervals N] [--runs idle,load] [--out DIR]" >&2
         exit 2 ;;
    esac
  done
  [ "$(id -u)" = 0 ] || { echo "run as root (private mount and process namespaces)" >&2; exit 1; }
  [ -x "$stage/opt/quorrel/zel-kw/bin/tickwardd" ] \
    || { echo "no daemon in $stage/opt/quorrel (configure with -DTW_STAGE_DIR, then DESTDIR=... cmake --install)" >&2; exit 1; }
  [ -f "$sim" ] || { echo "no simulated BMC at $sim (build target tw_bmc_sim of a 32-bit tree)" >&2; exit 1; }
  mkdir -p "$out/bin" "$out/log"
  out=$(cd "$out" && pwd)
  case $out/ in /tmp/* | /opt/*) echo "--out must lie outside /tmp and /opt" >&2; exit 1 ;; esac
  gcc -O2 -m32 -o "$out/bin/sleep_loop32" "$here/sleep_loop.c"
  gcc -O2 -o "$out/bin/sleep_loop64" "$here/sleep_loop.c"
  TWB_STAGE=$(cd "$stage" && pwd)
  TWB_SIM=$(cd "$(dirname "$sim")" && pwd)/$(basename "$sim")
  export TWB_STAGE TWB_SIM
  export TWB_INTERVALS=$intervals TWB_RUNS=$runs TWB_OUT=$out
  echo "results in $out"
  # Process 1 of the new namespace only waits; the bench runs as its child,
  # so the daemon's parent is not process 1 (the daemon would not fork then).
  # shellcheck disable=SC2016 # expanded by the inner shell
  exec unshare --mount --pid --fork --mount-proc --propagation private \
    bash -c 'bash "$0" --inside & wait $!' "$0"
fi

# ---- inside the namespaces ----
out=$TWB_OUT
mount -t tmpfs tw-tmp /tmp -o mode=1777
mount -t tmpfs tw-opt /opt -o mode=0755
cp -a "$TWB_STAGE/opt/quorrel" /opt/
mount --bind "$out/log" /opt/quorrel/zel-kw/log
umask 022
# The installed program under a name of its own: on a shared machine a
# `killall -HUP tickwardd` of someone else's test (qvsacmd notifies the
# daemon that way) reaches every process named tickwardd, across namespaces,
# and would reload this one in the middle of a run.
daemon=/opt/quorrel/zel-kw/bin/tickwardd-bench
cp -a /opt/quorrel/zel-kw/bin/tickwardd "$daemon"
cfg=/opt/quorrel/zel-kw/cnf/qvwdtcfg.xml
summary="$out/summary.txt"

started_pids=()
cleanup() {
  local p
  for p in "${started_pids[@]}"; do kill "$p" 2> /dev/null || true; done
  if [ -n "${daemon_pid:-}" ] && [ -d "/proc/$daemon_pid" ]; then kill -KILL "$daemon_pid" 2> /dev/null || true; fi
  rm -f "$out/disk-writer.tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

say() { echo "$*" | tee -a "$summary"; }

# The shipped settings with the watchdog on and the shortest refresh interval.
write_settings() {
  sed -e 's|<ErrorWatching>.*</ErrorWatching>|<ErrorWatching>TRUE</ErrorWatching>|' \
      -e 's|<TimeoutInterval>.*</TimeoutInterval>|<TimeoutInterval>60</TimeoutInterval>|' \
      -e 's|<IntervalCount>.*</IntervalCount>|<IntervalCount>4</IntervalCount>|' \
      -e 's|<MinimumInterval>.*</MinimumInterval>|<MinimumInterval>15</MinimumInterval>|' \
      "$TWB_STAGE/opt/quorrel/zel-kw/cnf/qvwdtcfg.xml" > "$cfg"
}

# count_sends LOG CMD: requests of one command in the BMC's log so far.
count_sends() { awk -v c="$2" '$2 == "send" && index($0, " cmd=" c " ") { n++ } END { print n + 0 }' "$1" 2> /dev/null || echo 0; }
count_events() { awk -v e="$2" '$2 == e { n++ } END { print n + 0 }' "$1" 2> /dev/null || echo 0; }

# snapshot PID: "rss_kB hwm_kB cpu_ticks cpu_ns voluntary nonvoluntary threads"
# then "tid:cpu_ns:voluntary:nonvoluntary" per thread. CPU: utime+stime of
# the process (all its threads, ended ones included) in clock ticks, and the
# scheduler's run time of the live threads in ns. One reading of all files,
# so that it stays a moment also when every CPU is busy.
snapshot() {
  local pid=$1
  awk -v top="/proc/$pid/" '
    FILENAME == top "status" { if ($1 == "VmRSS:") rss = $2; if ($1 == "VmHWM:") hwm = $2; next }
    FILENAME == top "stat" { s = $0; sub(/.*\) /, "", s); split(s, f, " "); ticks = f[12] + f[13]; next }
    { split(FILENAME, p, "/"); tid = p[5] }
    FILENAME ~ /schedstat$/ { ns[tid] = $1; next }
    $1 == "voluntary_ctxt_switches:" { vol[tid] = $2 }
    $1 == "nonvoluntary_ctxt_switches:" { nvol[tid] = $2 }
    END {
      for (t in ns) { n++; tns += ns[t]; tvol += vol[t]; tnvol += nvol[t]; each = each " " t ":" ns[t] ":" vol[t] ":" nvol[t] }
      printf "%d %d %d %.0f %d %d %d%s\n", rss, hwm, ticks, tns, tvol, tnvol, n, each
    }' "/proc/$pid/status" "/proc/$pid/stat" /proc/"$pid"/task/*/schedstat /proc/"$pid"/task/*/status
}

# threads PID: one line per thread: name, policy, real-time priority, nice.
threads_of() {
  local t s
  for t in /proc/"$1"/task/*; do
    s=$(cat "$t/stat"); s=${s##*) }
    echo "$s" | awk -v tid="${t##*/}" -v name="$(cat "$t/comm")" '{
      split("OTHER FIFO RR BATCH ISO IDLE DEADLINE", pol, " ")
      printf "    thread %s %-16s policy SCHED_%s rt_priority %s nice %s\n", tid, name, pol[$39 + 1], $38, $17 }'
  done
}

# How the daemon's process runs: the kernel's executable of a process that
# qemu-user runs through binfmt_misc is the emulator, not the program.
how_it_runs() {
  local exe
  exe=$(readlink "/proc/$1/exe")
  case $exe in
    */tickwardd* | */sleep_loop*) echo "native" ;;
    *) echo "emulated by $exe ($("$exe" --version 2> /dev/null | head -1 | sed 's/ (.*//'))" ;;
  esac
}

# delta A B PER: the difference of two snapshots, per PER refreshes.
delta() {
  echo "$1 | $2" | awk -v per="$3" -v tick_ms="$((1000 / $(getconf CLK_TCK)))" -F ' [|] ' '{
    split($1, a, " "); split($2, b, " ")
    cpu_ms = (b[4] - a[4]) / 1e6; ticks = b[3] - a[3]; vol = b[5] - a[5]; nvol = b[6] - a[6]
    printf "VmRSS %d kB, VmHWM %d kB, threads %d; CPU %.1f ms (utime+stime %d ticks = %d ms), ",
           b[1], b[2], b[7], cpu_ms, ticks, ticks * tick_ms
    printf "context switches %d voluntary + %d nonvoluntary", vol, nvol
    if (per > 0) printf "; per refresh: CPU %.2f ms, %.1f wake-ups", cpu_ms / per, (vol + nvol) / per
    printf "\n" }'
}

# thread_delta A B PER: each thread's CPU and wake-ups between two
# snapshots, per PER refreshes (0: totals), in the order of creation.
thread_delta() {
  echo "$1 | $2" | awk -v per="$3" -F ' [|] ' '{
    n = split($1, a, " "); for (i = 8; i <= n; ++i) { split(a[i], t, ":"); ns[t[1]] = t[2]; sw[t[1]] = t[3] + t[4] }
    n = split($2, b, " ")
    for (i = 8; i <= n; ++i) {
      split(b[i], t, ":"); d = t[2] - ns[t[1]]; w = t[3] + t[4] - sw[t[1]]
      if (per > 0) { d /= per; w /= per }
      printf "    thread %s: CPU %.2f ms, %.1f wake-ups%s\n", t[1], d / 1e6, w, (per > 0 ? " per refresh" : "")
    } }' | sort -k2n
}

# Sectors written to the machine's disks (every process), as MiB.
disk_written() {
  local d s=0
  for d in /sys/block/*; do
    case ${d##*/} in loop* | ram* | zram*) continue ;; esac
    s=$((s + $(awk '{ print $7 }' "$d/stat")))
  done
  echo $((s / 2048))
}

start_daemon() {
  rm -f /tmp/tickwardd.lock
  rm -rf "$1"
  write_settings
  LD_PRELOAD=$TWB_SIM TW_BMC_SIM_DIR=$1 TW_BMC_SIM_SCALE=1 "$daemon" 2> /dev/null \
    || { echo "tickwardd did not start (status $?)" >&2; exit 1; }
  daemon_pid=
  for _ in $(seq 100); do
    daemon_pid=$(cat /tmp/tickwardd.lock 2> /dev/null || true)
    [ -n "$daemon_pid" ] && break
    sleep 0.1
  done
  [ -n "$daemon_pid" ] || { echo "no process id in /tmp/tickwardd.lock" >&2; exit 1; }
  for _ in $(seq 300); do
    [ "$(count_sends "$1/requests.log" 0x22)" -ge 1 ] && return 0
    sleep 0.1
  done
  echo "tickwardd sent no Reset within 30 s" >&2
  exit 1
}

stop_daemon() {
  kill -TERM "$daemon_pid"
  for _ in $(seq 300); do
    [ -d "/proc/$daemon_pid" ] || { daemon_pid=; return 0; }
    sleep 0.1
  done
  echo "tickwardd still runs 30 s after SIGTERM; killed" >&2
  kill -KILL "$daemon_pid"
  daemon_pid=
}

machine_line() {
  echo "machine: $(nproc) CPUs ($(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)), $(uname -sr)," \
    "load average $(cut -d' ' -f1-3 /proc/loadavg)"
}

# Busy share of all CPUs between two readings of /proc/stat's "cpu" line.
cpu_line() { awk '$1 == "cpu" { idle = $5 + $6; t = 0; for (i = 2; i <= 9; ++i) t += $i; print t, idle }' /proc/stat; }
busy_share() { echo "$1 $2" | awk '{ printf "%.0f%%", 100 * (1 - ($4 - $2) / ($3 - $1)) }'; }

window=$((TWB_INTERVALS * interval))
: > "$summary"
say "tickwardd service benchmark, $(date -Is)"
say "$(machine_line)"
say "settings: TimeoutInterval 60, IntervalCount 4 (a Reset every $interval s), LogLevel 30; simulated BMC at scale 1 (real time)"

# ---- idle cost ----
if [[ ,$TWB_RUNS, == *,idle,* ]]; then
  say ""
  say "== idle: $TWB_INTERVALS intervals ($window s) =="
  bmc=/tmp/bmc-idle
  start_daemon "$bmc"
  # The floor: sleep loops started now, measured over the same window.
  "$out/bin/sleep_loop32" "$interval" $((TWB_INTERVALS + 3)) & floor32=$!
  "$out/bin/sleep_loop64" "$interval" $((TWB_INTERVALS + 3)) & floor64=$!
  started_pids+=("$floor32" "$floor64")
  # Start mid-interval, so that the window holds exactly INTERVALS Resets.
  sleep $((interval / 2))
  say "tickwardd (process $daemon_pid) runs $(how_it_runs "$daemon_pid")"
  say "sleep_loop32 runs $(how_it_runs "$floor32"), sleep_loop64 runs $(how_it_runs "$floor64")"
  threads_of "$daemon_pid" | tee -a "$summary"
  d0=$(snapshot "$daemon_pid"); f0=$(snapshot "$floor32"); g0=$(snapshot "$floor64")
  r0=$(count_sends "$bmc/requests.log" 0x22); s0=$(count_sends "$bmc/requests.log" 0x24)
  v0=$(count_events "$bmc/requests.log" recv); o0=$(count_events "$bmc/requests.log" open)
  c0=$(cpu_line)
  sleep "$window"
  d1=$(snapshot "$daemon_pid"); f1=$(snapshot "$floor32"); g1=$(snapshot "$floor64")
  r1=$(count_sends "$bmc/requests.log" 0x22); s1=$(count_sends "$bmc/requests.log" 0x24)
  v1=$(count_events "$bmc/requests.log" recv); o1=$(count_events "$bmc/requests.log" open)
  c1=$(cpu_line)
  resets=$((r1 - r0))
  say "machine busy during the window: $(busy_share "$c0" "$c1") of all CPUs (others' work included)"
  say "BMC requests in the window: $resets Reset, $((s1 - s0)) Set, $((v1 - v0)) receive calls, $((o1 - o0)) opens"
  say "  per refresh: $(awk -v r="$resets" -v s=$((s1 - s0)) -v v=$((v1 - v0)) 'BEGIN { if (r > 0) printf "%.2f Reset, %.2f Set, %.2f receive calls", r / r, s / r, v / r }')"
  say "tickwardd:    $(delta "$d0" "$d1" "$resets")"
  thread_delta "$d0" "$d1" "$resets" | tee -a "$summary"
  say "sleep_loop32: $(delta "$f0" "$f1" "$TWB_INTERVALS")"
  say "sleep_loop64: $(delta "$g0" "$g1" "$TWB_INTERVALS")"
  stop_daemon
  kill "$floor32" "$floor64" 2> /dev/null || true
  wait "$floor32" "$floor64" 2> /dev/null || true
  cp "$bmc/requests.log" "$out/idle-requests.log"
  say "lateness without load (the reference):"
  awk -v interval="$interval" -f "$here/refresh_timeline.awk" "$out/idle-requests.log" | tee "$out/idle-lateness.txt" | tail -4 | tee -a "$summary"
fi

# ---- lateness under load ----
if [[ ,$TWB_RUNS, == *,load,* ]]; then
  say ""
  say "== load: every CPU busy and a disk writer, $TWB_INTERVALS intervals ($window s) =="
  for _ in $(seq "$(nproc)"); do
    bash -c 'while :; do :; done' & started_pids+=($!)
  done
  # The writer ends its dd too when it is stopped.
  bash -c 'trap "kill \$dd 2> /dev/null; exit" TERM
    while :; do dd if=/dev/zero of="$0" bs=1M count=64 conv=fsync status=none & dd=$!; wait $dd; done' \
    "$out/disk-writer.tmp" & started_pids+=($!)
  sleep 2
  bmc=/tmp/bmc-load
  c0=$(cpu_line)
  start_daemon "$bmc"
  say "tickwardd (process $daemon_pid) runs $(how_it_runs "$daemon_pid"), beside $(nproc) spinning shells (nice 0, SCHED_OTHER) and dd writing 64 MiB with fsync in a loop to $out"
  threads_of "$daemon_pid" | tee -a "$summary"
  d0=$(snapshot "$daemon_pid")
  w0=$(disk_written)
  sleep $((window + interval / 2))
  d1=$(snapshot "$daemon_pid")
  w1=$(disk_written)
  c1=$(cpu_line)
  say "machine busy during the run: $(busy_share "$c0" "$c1") of all CPUs, $((w1 - w0)) MiB written to disk"
  say "tickwardd:    $(delta "$d0" "$d1" 0)"
  thread_delta "$d0" "$d1" 0 | tee -a "$summary"
  stop_daemon
  for p in "${started_pids[@]}"; do kill "$p" 2> /dev/null || true; done
  wait 2> /dev/null || true
  started_pids=()
  rm -f "$out/disk-writer.tmp"
  cp "$bmc/requests.log" "$out/load-requests.log"
  say "lateness under load:"
  awk -v interval="$interval" -f "$here/refresh_timeline.awk" "$out/load-requests.log" | tee "$out/load-lateness.txt" | tail -4 | tee -a "$summary"
fi
say ""
say "per-refresh tables: $out/*-lateness.txt; BMC request logs: $out/*-requests.log; daemon trace files: $out/log"
