# Refresh lateness from the simulated BMC's request log (docs/simulated-bmc.md).
#   awk -v interval=15 -f refresh_timeline.awk requests.log
#
# For every Reset Watchdog Timer request (send, cmd 0x22) after the first of
# its cycle (an arm, a Set with a non-zero countdown, starts a new cycle, as
# after a reload):
#   timeline  the send's real time against its due time in the operation
#             thread's rhythm: the end of the previous refresh (the recv that
#             delivered its answer) plus the interval, since the thread
#             sleeps the interval after each answered refresh
#   grid      the send's real time against the cycle's first Reset + k *
#             interval; this one also collects the time each exchange itself
#             takes (the 100 ms before the answer is read), so it grows every
#             interval
#   period    the time since the previous Reset was sent
# Prints one line per Reset, then the count, maximum and median of each.
function field(name,   i, n) {
  n = length(name) + 1
  for (i = 3; i <= NF; ++i)
    if (substr($i, 1, n) == name "=") return substr($i, n + 1)
  return ""
}
function median(a, n,   i, j, t, b) {
  for (i = 1; i <= n; ++i) b[i] = a[i]
  for (i = 2; i <= n; ++i)
    for (j = i; j > 1 && b[j - 1] > b[j]; --j) { t = b[j]; b[j] = b[j - 1]; b[j - 1] = t }
  if (n == 0) return 0
  return n % 2 ? b[(n + 1) / 2] : (b[n / 2] + b[n / 2 + 1]) / 2
}
function maximum(a, n,   i, m) {
  m = a[1]
  for (i = 2; i <= n; ++i) if (a[i] > m) m = a[i]
  return m
}
BEGIN { printf "%5s %4s %12s %12s %12s %12s\n", "cycle", "k", "sent_s", "timeline_ms", "grid_ms", "period_ms" }
$2 == "send" && field("cmd") == "0x24" && field("data") !~ /:00:00$/ { ++cycle; k = -1; waiting = 0; next }
$2 == "send" && field("cmd") == "0x22" {
  now = field("real") + 0
  ++k
  if (k == 0) {
    first = now
    printf "%5d %4d %12.3f %12s %12s %12s\n", cycle, k, now, "-", "-", "-"
  } else if (answered != "") {
    ++n
    tl[n] = (now - answered - interval) * 1000
    gr[n] = (now - first - k * interval) * 1000
    pe[n] = (now - previous) * 1000
    printf "%5d %4d %12.3f %12.1f %12.1f %12.1f\n", cycle, k, now, tl[n], gr[n], pe[n]
  }
  previous = now
  answered = ""  # due time only after an answered refresh
  waiting = 1
  next
}
$2 == "recv" && waiting && field("cmd") == "0x22" && field("err") == "0" {
  answered = field("real") + 0
  waiting = 0
}
END {
  printf "refreshes measured: %d (interval %d s, %d arm%s)\n", n, interval, cycle, cycle == 1 ? "" : "s"
  if (n > 0) {
    printf "lateness against the refresh timeline: max %.1f ms, median %.1f ms\n", maximum(tl, n), median(tl, n)
    printf "lateness against first Reset + k x interval: max %.1f ms, median %.1f ms\n", maximum(gr, n), median(gr, n)
    printf "period between Resets: max %.1f ms, median %.1f ms\n", maximum(pe, n), median(pe, n)
  }
}
