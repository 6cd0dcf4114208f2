// What tickward-status finds out, one record per source, and the verdict it
// draws from them. The probes fill the records; the reports only print them.
#pragma once

#include <stdint.h>
#include <sys/types.h>

#include <string>
#include <vector>

// The daemon, as its lock file and /proc show it.
struct DaemonState {
  bool running = false;      // lock held by a live process named tickwardd
  bool lock_file = false;    // the lock file exists
  bool lock_held = false;    // some process holds a lock on it
  pid_t pid = -1;            // the id written in the file; -1 when none could be read
  pid_t lock_holder = -1;    // the process holding the lock; -1 when none
  std::string process_name;  // /proc/<pid>/comm of the written id, "" when not alive
  std::string problem;       // why it does not count as running, for people
};

// The settings as the daemon would put them in force: read through
// libvopcfg, checked and adjusted by the daemon's own rules.
struct SettingsState {
  bool readable = false;
  std::string problem;  // why they could not be read
  std::string definition_path;
  std::string data_path;
  bool error_watching = false;
  std::string timeout_action = "HardReset";  // the enumerator
  int timeout_action_code = 0x01;            // as the daemon arms the BMC with it
  int timeout_interval = 1;                  // s, after adjustment
  int interval_count = 1;
  int shortening_count = 1;
  int minimum_interval = 1;
  int retry_interval = 1;
  int maximum_retry_time = 1;
  int log_level = 1;
  int log_size = 1;
  int log_pages = 1;
  std::string log_name;
  std::string default_log_name;   // the definition's default LogName
  bool defaults_applied = false;  // a value was out of range: the built-in set is in force
  std::string invalid_key;        // the first such value
  bool timeout_adjusted = false;  // lengthened to IntervalCount x MinimumInterval
};

// The BMC watchdog timer, as Get Watchdog Timer answered.
struct BmcState {
  bool answered = false;  // a well-formed answer with completion code 0
  std::string problem;    // why not, for people
  int completion_code = -1;
  int use_byte = 0;      // byte 1 as answered
  int actions_byte = 0;  // byte 2
  int pretimeout_s = 0;  // byte 3
  int expiration_flags = 0;
  int initial_100ms = 0;
  int present_100ms = 0;

  // Set when a second answer showed the countdown moving although the use
  // byte lacked the running bit (see ProbeBmcTimer).
  bool counting = false;

  bool running() const { return (use_byte & 0x40) != 0 || counting; }
  bool dont_log() const { return (use_byte & 0x80) != 0; }
  int use() const { return use_byte & 0x07; }
  int timeout_action() const { return actions_byte & 0x07; }
  int pretimeout_interrupt() const { return (actions_byte >> 4) & 0x07; }
};

// The newest lines of the daemon's trace ring.
struct TraceState {
  std::string prefix;  // files are <prefix>1.log ... <prefix>N.log
  std::string newest_file;
  std::vector<std::string> lines;  // records, oldest first, line ends removed
  std::string problem;
};

enum class Verdict {
  kProtected,
  kWatchingOff,
  kDaemonNotRunning,
  kTimerStopped,
  kBmcNotAnswering,
  kSettingsUnreadable,
  kTimerRunningWhileOff,
};

// Exit statuses; documented in tickward-status(8) and docs/tickward-status.md.
enum ExitStatus {
  kExitHealthy = 0,
  kExitFailure = 1,  // the command itself failed (output, memory)
  kExitDaemonNotRunning = 2,
  kExitTimerStopped = 3,
  kExitBmcNotAnswering = 4,
  kExitSettingsUnreadable = 5,
  kExitTimerRunningWhileOff = 6,
  kExitUsage = 64,
};

struct Status {
  DaemonState daemon;
  SettingsState settings;
  BmcState bmc;
  TraceState trace;
};
