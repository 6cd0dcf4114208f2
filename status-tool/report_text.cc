#include <cstdarg>
#include <cstdio>

#include "bmc_probe.h"
#include "report.h"
#include "trace_tail.h"
#include "verdict.h"

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

std::string Tenths(int value) { return Format("%d.%d s", value / 10, value % 10); }

std::string DaemonLines(const DaemonState& d) {
  if (d.running)
    return Format("Daemon     running, pid %d (holds its lock file)\n", static_cast<int>(d.pid));
  return "Daemon     NOT RUNNING: " + d.problem + "\n";
}

std::string SettingsLines(const SettingsState& s) {
  if (!s.readable) return "Settings   UNREADABLE: " + s.problem + "\n";
  std::string text =
      Format("Settings   ErrorWatching %s, TimeoutAction %s, TimeoutInterval %d s%s\n",
             s.error_watching ? "on" : "off", s.timeout_action.c_str(), s.timeout_interval,
             s.timeout_adjusted ? " (lengthened to IntervalCount x MinimumInterval)" : "");
  text += Format(
      "           refresh every %d s (IntervalCount %d), ShorteningCount %d, MinimumInterval %d "
      "s,\n"
      "           RetryInterval %d s, MaximumRetryTime %d s\n",
      s.timeout_interval / s.interval_count, s.interval_count, s.shortening_count,
      s.minimum_interval, s.retry_interval, s.maximum_retry_time);
  text += Format("           LogName %s, LogLevel %d, LogSize %d MiB, LogPages %d\n",
                 s.log_name.c_str(), s.log_level, s.log_size, s.log_pages);
  if (s.defaults_applied)
    text += "           " + s.invalid_key +
            " is out of range: the daemon puts its built-in settings in force (watching off)\n";
  text += "           from " + s.data_path + " (a change counts once the daemon is reloaded)\n";
  return text;
}

std::string BmcLines(const BmcState& b, const SettingsState& s) {
  if (!b.answered) return "BMC timer  NO ANSWER: " + b.problem + "\n";
  std::string text =
      Format("BMC timer  %s, %s of %s left; use %s%s\n", b.running() ? "RUNNING" : "stopped",
             Tenths(b.present_100ms).c_str(), Tenths(b.initial_100ms).c_str(),
             TimerUseName(b.use()), b.dont_log() ? " (expiry not logged)" : "");
  text += Format("           on expiry: %s; pre-timeout interrupt: %s",
                 TimeoutActionName(b.timeout_action()),
                 PretimeoutInterruptName(b.pretimeout_interrupt()));
  if (b.pretimeout_interrupt() != 0) text += Format(", %d s before", b.pretimeout_s);
  text += "\n";
  if (b.expiration_flags == 0) {
    text += "           expiration flags: none\n";
  } else {
    text +=
        Format("           expiration flags 0x%02X: it has expired before, as", b.expiration_flags);
    for (int use = 1; use <= 5; ++use)
      if (b.expiration_flags & (1 << use)) text += std::string(" ") + TimerUseName(use);
    text += "\n";
  }
  // The daemon arms with exactly these; a difference means other settings
  // are in force than the documents say (not yet reloaded) or another arm.
  if (s.readable && s.error_watching && b.running() &&
      (b.initial_100ms != s.timeout_interval * 10 || b.actions_byte != s.timeout_action_code)) {
    text += Format("           NOTE: the settings say %s after %d s; the BMC was armed otherwise\n",
                   s.timeout_action.c_str(), s.timeout_interval);
  }
  return text;
}

std::string TraceLines(const TraceState& t) {
  if (t.lines.empty())
    return "Last trace messages: none" + (t.problem.empty() ? "" : " (" + t.problem + ")") + "\n";
  std::string text = "Last trace messages (" + t.newest_file + "):\n";
  for (const std::string& line : t.lines) text += "  " + CompactTraceLine(line) + "\n";
  if (!t.problem.empty()) text += "  (" + t.problem + ")\n";
  return text;
}

}  // namespace

std::string TextReport(const Status& s, Verdict verdict) {
  return Headline(s, verdict) + "\n\n" + DaemonLines(s.daemon) + SettingsLines(s.settings) +
         BmcLines(s.bmc, s.settings) + "\n" + TraceLines(s.trace);
}
