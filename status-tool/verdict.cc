#include "verdict.h"

#include <cstdio>

#include "bmc_probe.h"

namespace {

// What the BMC does on expiry, from the timer as it is set.
std::string ExpiryAction(const BmcState& bmc) {
  std::string action = TimeoutActionName(bmc.timeout_action());
  if (bmc.pretimeout_interrupt() != 0) {
    std::string pre = PretimeoutInterruptName(bmc.pretimeout_interrupt());
    action = bmc.timeout_action() == 0 ? pre : pre + ", then " + action;
  }
  return action;
}

std::string Seconds(int tenths) {
  char text[32];
  snprintf(text, sizeof text, "%d.%d s", tenths / 10, tenths % 10);
  return text;
}

}  // namespace

Verdict Judge(const Status& s) {
  if (!s.daemon.running) return Verdict::kDaemonNotRunning;
  if (!s.settings.readable) return Verdict::kSettingsUnreadable;
  if (!s.bmc.answered) return Verdict::kBmcNotAnswering;
  if (s.settings.error_watching)
    return s.bmc.running() ? Verdict::kProtected : Verdict::kTimerStopped;
  return s.bmc.running() ? Verdict::kTimerRunningWhileOff : Verdict::kWatchingOff;
}

ExitStatus ExitStatusOf(Verdict verdict) {
  switch (verdict) {
    case Verdict::kProtected:
    case Verdict::kWatchingOff:
      return kExitHealthy;
    case Verdict::kDaemonNotRunning:
      return kExitDaemonNotRunning;
    case Verdict::kTimerStopped:
      return kExitTimerStopped;
    case Verdict::kBmcNotAnswering:
      return kExitBmcNotAnswering;
    case Verdict::kSettingsUnreadable:
      return kExitSettingsUnreadable;
    case Verdict::kTimerRunningWhileOff:
      return kExitTimerRunningWhileOff;
  }
  return kExitFailure;
}

const char* VerdictKey(Verdict verdict) {
  switch (verdict) {
    case Verdict::kProtected:
      return "protected";
    case Verdict::kWatchingOff:
      return "watching-off";
    case Verdict::kDaemonNotRunning:
      return "daemon-not-running";
    case Verdict::kTimerStopped:
      return "timer-stopped";
    case Verdict::kBmcNotAnswering:
      return "bmc-not-answering";
    case Verdict::kSettingsUnreadable:
      return "settings-unreadable";
    case Verdict::kTimerRunningWhileOff:
      return "timer-running-while-off";
  }
  return "unknown";
}

std::string Headline(const Status& s, Verdict verdict) {
  const BmcState& bmc = s.bmc;
  switch (verdict) {
    case Verdict::kProtected:
      return "PROTECTED: the BMC timer runs (" + Seconds(bmc.present_100ms) + " of " +
             Seconds(bmc.initial_100ms) + " left); if this host hangs, the BMC acts (" +
             ExpiryAction(bmc) + ") within " + Seconds(bmc.initial_100ms) + ".";
    case Verdict::kWatchingOff:
      return "NOT WATCHED, on purpose: ErrorWatching is off, the daemon runs and the BMC timer "
             "is stopped.";
    case Verdict::kDaemonNotRunning: {
      std::string text =
          "NOT PROTECTED: the watchdog daemon tickwardd is not running (" + s.daemon.problem + ").";
      if (bmc.answered && bmc.running())
        text += " The BMC timer is still counting down: it will act (" + ExpiryAction(bmc) +
                ") in " + Seconds(bmc.present_100ms) + " unless the daemon is started.";
      return text + " Start it: systemctl start tickwardd.";
    }
    case Verdict::kTimerStopped:
      return "NOT PROTECTED: ErrorWatching is on and the daemon runs, but the BMC timer is "
             "stopped (the daemon is between a stop and a new arm, or cannot arm it: see its "
             "last messages below).";
    case Verdict::kBmcNotAnswering:
      return "UNKNOWN: the BMC does not answer, so nobody can tell whether its timer runs (" +
             bmc.problem + ").";
    case Verdict::kSettingsUnreadable:
      return "UNKNOWN: the watchdog settings cannot be read (" + s.settings.problem +
             "). The daemon keeps the settings it read last, but cannot reload.";
    case Verdict::kTimerRunningWhileOff:
      return "WARNING: ErrorWatching is off but the BMC timer runs: it will act (" +
             ExpiryAction(bmc) + ") in " + Seconds(bmc.present_100ms) +
             ". Reload the daemon (systemctl reload tickwardd) if the settings were just "
             "changed; else another program arms the timer.";
  }
  return "";
}
