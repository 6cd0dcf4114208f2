// Runs the installed watchdog daemon inside the test sandbox, as an operator
// would start it, with the simulated BMC preloaded; writes its settings and
// reads back its trace file and lock file.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace tw::test {

inline constexpr char kDaemonPath[] = "/opt/quorrel/zel-kw/bin/tickwardd";
inline constexpr char kLockFile[] = "/tmp/tickwardd.lock";
inline constexpr char kDataDocument[] = "/opt/quorrel/zel-kw/cnf/qvwdtcfg.xml";
inline constexpr char kToolPath[] = "/opt/quorrel/zel-px/tool/bin/qvsacmd";

// The daemon's data document; the defaults keep timelines short.
struct DaemonSettings {
  bool watching = true;
  std::string action = "HardReset";
  int timeout = 60;
  int count = 2;
  int shortening = 2;
  int minimum = 15;
  int retry = 60;
  int maxRetry = 15;
  int level = 30;
  int size = 1;
  int pages = 2;
  std::string name = "qvsmwdt";
};
void WriteSettings(const DaemonSettings& settings);

// Makes this process the reaper of the daemons it starts, so that a daemon
// that forked away from its starter is still ours to wait for.
void BecomeSubreaper();

// Runs `argv` with the current environment plus `extraEnv`; returns its pid.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv);
// Waits for a child; its exit status, 128 + signal, or -1 on timeout.
int WaitExit(pid_t pid, std::chrono::milliseconds timeout);

// Starts tickwardd and waits for the started process to end (it forks the
// daemon and exits). Returns that exit status.
int StartDaemon(const std::vector<std::string>& extraEnv);
// The process id written in the lock file, once it is there; -1 otherwise.
pid_t LockFilePid(std::chrono::milliseconds timeout = std::chrono::seconds(10));
bool ProcessAlive(pid_t pid);

// Every trace line the daemon wrote so far (all files of the ring).
std::vector<std::string> TraceLines(const std::string& name = "qvsmwdt");
// How many trace lines carry `id` (for example "ZELKW-113-E").
int CountTrace(const std::string& id, const std::string& name = "qvsmwdt");

// Polls `done` every 10 ms until it holds or the timeout passes.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

}  // namespace tw::test
