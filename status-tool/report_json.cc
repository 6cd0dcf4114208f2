#include "bmc_probe.h"
#include "json_out.h"
#include "report.h"
#include "verdict.h"

namespace {

void Daemon(JsonOut* j, const DaemonState& d, const char* lock_path) {
  j->Begin("daemon");
  j->Bool("running", d.running);
  j->String("lock_file", lock_path);
  j->Bool("lock_file_present", d.lock_file);
  j->Bool("lock_held", d.lock_held);
  if (d.pid > 0)
    j->Int("pid", d.pid);
  else
    j->Null("pid");
  if (d.lock_holder > 0)
    j->Int("lock_holder_pid", d.lock_holder);
  else
    j->Null("lock_holder_pid");
  j->StringOrNull("process_name", d.process_name);
  j->StringOrNull("problem", d.running ? "" : d.problem);
  j->End();
}

void Settings(JsonOut* j, const SettingsState& s, const std::string& trace_prefix) {
  j->Begin("settings");
  j->Bool("readable", s.readable);
  j->StringOrNull("problem", s.problem);
  j->String("definition", s.definition_path);
  j->String("data", s.data_path);
  if (s.readable) {
    j->Bool("ErrorWatching", s.error_watching);
    j->String("TimeoutAction", s.timeout_action);
    j->Int("TimeoutInterval", s.timeout_interval);
    j->Int("IntervalCount", s.interval_count);
    j->Int("ShorteningCount", s.shortening_count);
    j->Int("MinimumInterval", s.minimum_interval);
    j->Int("RetryInterval", s.retry_interval);
    j->Int("MaximumRetryTime", s.maximum_retry_time);
    j->Int("LogLevel", s.log_level);
    j->Int("LogSize", s.log_size);
    j->Int("LogPages", s.log_pages);
    j->String("LogName", s.log_name);
    j->Bool("defaults_applied", s.defaults_applied);
    j->StringOrNull("invalid_key", s.invalid_key);
    j->Bool("timeout_adjusted", s.timeout_adjusted);
    j->String("trace_prefix", trace_prefix);
  }
  j->End();
}

void Bmc(JsonOut* j, const BmcState& b) {
  j->Begin("bmc");
  j->Bool("answered", b.answered);
  j->StringOrNull("problem", b.problem);
  if (b.completion_code >= 0)
    j->Int("completion_code", b.completion_code);
  else
    j->Null("completion_code");
  if (b.answered) {
    j->Bool("running", b.running());
    j->Int("timer_use", b.use());
    j->String("timer_use_name", TimerUseName(b.use()));
    j->Bool("dont_log", b.dont_log());
    j->Int("timeout_action", b.timeout_action());
    j->String("timeout_action_name", TimeoutActionName(b.timeout_action()));
    j->Int("pretimeout_interrupt", b.pretimeout_interrupt());
    j->String("pretimeout_interrupt_name", PretimeoutInterruptName(b.pretimeout_interrupt()));
    j->Int("pretimeout_interval_s", b.pretimeout_s);
    j->Int("expiration_flags", b.expiration_flags);
    j->Number("initial_countdown_s", b.initial_100ms / 10.0);
    j->Number("present_countdown_s", b.present_100ms / 10.0);
  }
  j->End();
}

void Trace(JsonOut* j, const TraceState& t) {
  j->Begin("trace");
  j->StringOrNull("file", t.newest_file);
  j->StringOrNull("problem", t.problem);
  j->BeginArray("lines");
  for (const std::string& line : t.lines) j->String(nullptr, line);
  j->EndArray();
  j->End();
}

}  // namespace

std::string JsonReport(const Status& s, Verdict verdict) {
  JsonOut j;
  j.Begin();
  j.String("verdict", VerdictKey(verdict));
  j.Int("exit_status", ExitStatusOf(verdict));
  j.String("summary", Headline(s, verdict));
  Daemon(&j, s.daemon, TW_LOCK_FILE);
  Settings(&j, s.settings, s.trace.prefix);
  Bmc(&j, s.bmc);
  Trace(&j, s.trace);
  j.End();
  return j.text();
}
