# Refresh lateness from the simulated BMC's request log (docs/simulated-bmc.md).
#   awk -v interval=15 -f refresh_timeline.awk requests.log
#
# For every Reset Watchdog Timer request (send, cmd 0x22) after the first:
#   timeline  the send's real time against its due time in the operation
#             thread's rhythm: the end of the previous refresh (its answer
#             taken, the recv that delivered it) plus the interval, since the
#             thread sleeps the interval after each answered refresh
#   grid      the send's real time against first Reset + k * interval; this
#             one also collects the time each exchange itself takes (the
#             100 ms before the answer is read), so it grows every interval
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
$2 == "send" && field("cmd") == "0x22" {
  send[resets++] = field("real") + 0
  waiting = 1
  next
}
$2 == "recv" && waiting && field("cmd") == "0x22" && field("err") == "0" {
  answered[resets - 1] = field("real") + 0
  waiting = 0
}
END {
  printf "%4s %12s %12s %12s %12s\n", "k", "sent_s", "timeline_ms", "grid_ms", "period_ms"
  n = 0
  for (k = 0; k < resets; ++k) {
    if (k == 0) { printf "%4d %12.3f %12s %12s %12s\n", k, send[k], "-", "-", "-"; continue }
    if (!((k - 1) in answered)) continue  # previous refresh never answered: no due time
    ++n
    tl[n] = (send[k] - answered[k - 1] - interval) * 1000
    gr[n] = (send[k] - send[0] - k * interval) * 1000
    pe[n] = (send[k] - send[k - 1]) * 1000
    printf "%4d %12.3f %12.1f %12.1f %12.1f\n", k, send[k], tl[n], gr[n], pe[n]
  }
  printf "refreshes measured: %d (interval %d s)\n", n, interval
  if (n > 0) {
    printf "lateness against the refresh timeline: max %.1f ms, median %.1f ms\n", maximum(tl, n), median(tl, n)
    printf "lateness against first Reset + k x interval: max %.1f ms, median %.1f ms\n", maximum(gr, n), median(gr, n)
    printf "period between Resets: max %.1f ms, median %.1f ms\n", maximum(pe, n), median(pe, n)
  }
}
