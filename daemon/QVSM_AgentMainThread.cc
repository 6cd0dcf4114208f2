// tickwardd: keeps the BMC watchdog timer armed while this host is healthy.
//
// main() starts the process (priority, settings, log, daemon), then
// supervises: it runs, restarts or ends the operation thread as the settings
// say, turns stop and reload signals into requests to that thread, and stops
// in order.
#include <errno.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include "QVSM_Daemonize.h"
#include "QVSM_ErrorLogging.h"
#include "QVSM_Globals.h"
#include "QVSM_Signals.h"
#include "QVSM_WDTOperationThread.h"
#include "QVSM_WDTSettings.h"

namespace {

// --- Requests to the operation thread -------------------------------------

void WakeOperationThread() {
  if (g_OpThreadTid != 0) pthread_kill(g_OpThreadTid, SIGUSR2);
}

void NotifyOpthreadToTerminateItself() {
  g_vThreadExitIsRequested = 1;
  WakeOperationThread();
}

void SignalOpThreadToStopBMC() {
  g_vAnySignalArrivedAtMain = 1;
  WakeOperationThread();
}

void NotifyOpThreadAboutSettingsChange() {
  g_vConfigurationFileIsRead = 1;
  WakeOperationThread();
}

// Sleeps 100 ms; a signal does not shorten it.
void PollSleep() {
  timespec wait = {0, 100L * 1000 * 1000};
  timespec left;
  while (nanosleep(&wait, &left) != 0 && errno == EINTR) wait = left;
}

enum class WaitEnd { kAcknowledged, kStopArrived, kNobodyToAnswer };

// Waits until the operation thread clears `flag`, re-sending SIGUSR2 before
// every twelfth poll for a thread that was between its flag test and a wait.
// `stillAnswerable` tells whether the thread can still take the request;
// when it cannot, the request is withdrawn so that no later cycle finds it.
template <typename Answerable>
WaitEnd WaitForAcknowledgement(std::atomic<int>& flag, bool stopEnds, Answerable stillAnswerable) {
  sched_yield();
  for (int polls = 1; flag != 0; ++polls) {
    if (stopEnds && g_vServiceStopArrived != 0) return WaitEnd::kStopArrived;
    if (!stillAnswerable()) {
      flag = 0;
      return WaitEnd::kNobodyToAnswer;
    }
    if (polls % 12 == 0) WakeOperationThread();
    PollSleep();
  }
  return WaitEnd::kAcknowledged;
}

bool OperationThreadAlive() { return g_nOpthreadRunning != 0; }

// Interrupts the cycle (before a stop or a reload) if the thread runs one;
// an idle thread, or one that ended by itself, has no timer running to stop.
void InterruptOperationThread() {
  if (g_OpThreadTid == 0 || g_vOpThreadInCycle == 0) return;
  SignalOpThreadToStopBMC();
  WaitForAcknowledgement(g_vAnySignalArrivedAtMain, true,
                         [] { return OperationThreadAlive() && g_vOpThreadInCycle != 0; });
}

// Ends the operation thread and joins it. The final stop waits as long as
// the thread needs to stop the timer.
void TerminateOperationThread(bool stopEnds) {
  WDT_TRACE(ZELKW_044_E, "Main");
  NotifyOpthreadToTerminateItself();
  WaitForAcknowledgement(g_vThreadExitIsRequested, stopEnds, OperationThreadAlive);
  if (g_OpThreadTid != 0) pthread_join(g_OpThreadTid, nullptr);
  g_OpThreadTid = 0;
  g_nOpthreadRunning = 0;
  WDT_TRACE(ZELKW_045_E, "Main");
}

void JoinEndedOperationThread() {
  if (g_OpThreadTid != 0) pthread_join(g_OpThreadTid, nullptr);
  g_OpThreadTid = 0;
}

// Creates the operation thread with no request pending.
bool StartOperationThread() {
  g_vAnySignalArrivedAtMain = 0;
  g_vConfigurationFileIsRead = 0;
  g_vThreadExitIsRequested = 0;
  g_nOpthreadRunning = 1;
  if (pthread_create(&g_OpThreadTid, nullptr, WDTOperationThread, nullptr) != 0) {
    g_OpThreadTid = 0;
    g_nOpthreadRunning = 0;
    WDT_TRACE(ZELKW_043_E, "Main");
    return false;
  }
  WDT_TRACE(ZELKW_042_I, "Main", "WDTOperationThread");
  return true;
}

bool ErrorWatchingOn() {
  WdtSettingsLock settings;
  return settings->WDT_GetWatchExists();
}

// --- Waiting for signals ----------------------------------------------------

// Sleeps until a stop or reload signal has arrived, reporting an IPMI call
// that outlived its alarm. The caught signals are blocked while the flags
// are tested and let in only inside sigsuspend, so none is lost in between.
void WaitForStopOrReload() {
  sigset_t caught, previous;
  WDT_MainThreadSignals(&caught);
  pthread_sigmask(SIG_BLOCK, &caught, &previous);
  while (g_vServiceStopArrived == 0 && g_vFileWritten == 0) {
    if (g_vAlarmLoggingRequired != 0) {
      WDT_TRACE(ZELKW_113_E, "Main");
      g_vAlarmLoggingRequired = 0;
    }
    WDT_TRACE(ZELKW_048_K, "Main");
    if (g_vServiceStopArrived == 0 && g_vFileWritten == 0 && g_vAlarmLoggingRequired == 0)
      sigsuspend(&previous);
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

// --- Settings ---------------------------------------------------------------

// Reads and checks the settings, holding the lock across both so that the
// operation thread never sees values that were read but not yet checked.
// A default set applied is traced a second time so that the trace shows the
// values in force, and the trace filter takes the level in force, not the
// level read. Returns the read's result; *defaulted tells whether the
// default set was applied.
int ReadAndCheckSettings(bool* defaulted) {
  WdtSettingsLock settings;
  int read = settings->WDT_WatchdogReadConfig();
  g_nXmlLogLevel = settings->WDT_GetLogLevel();  // so that the check's own lines pass
  *defaulted = settings->WDT_LogXMLvalues() != 0;
  if (*defaulted) settings->WDT_LogXMLvalues();
  g_nXmlLogLevel = settings->WDT_GetLogLevel();
  return read;
}

// Re-reads the settings after a reload signal; the operation thread has
// already left its cycle. A failed read leaves what it got in force and the
// operation thread idle until the next signal.
void Reload() {
  g_vFileWritten = 0;
  bool defaulted;
  if (ReadAndCheckSettings(&defaulted) != 0) {
    WDT_TRACE(ZELKW_013_E, "Main", "WDT_WatchdogReadConfig()");
    return;
  }
  WDT_TRACE(ZELKW_014_I, "Main", "WDT_WatchdogReadConfig()");
  if (g_objErrorLog.WDT_InitialiseLogFiles() == 0)
    WDT_TRACE(ZELKW_014_I, "Main", "WDT_CustomizeLogFiles");
  else
    WDT_TRACE(ZELKW_013_E, "Main", "WDT_CustomizeLogFiles");
}

// --- Phases of the process --------------------------------------------------

// Highest round-robin priority, else the highest nice value. True when the
// real-time priority was set.
bool RaisePriority() {
  int top = sched_get_priority_max(SCHED_RR);
  if (top != -1) {
    sched_param param = {};
    param.sched_priority = top;
    if (sched_setscheduler(0, SCHED_RR, &param) == 0) return true;
  }
  errno = 0;
  if (nice(-20) == -1 && errno != 0) {
    // Already as favoured as this process may be; nothing more to do.
  }
  return false;
}

// A timer left running by an earlier run must not fire while watching is
// off: a thread is started only to stop it once.
void StopTimerOnce() {
  g_vDisableBMCTimer = 1;
  if (StartOperationThread()) pthread_join(g_OpThreadTid, nullptr);
  g_OpThreadTid = 0;
  g_nOpthreadRunning = 0;
  g_vDisableBMCTimer = 0;
  WDT_TRACE(ZELKW_045_E, "Main");
}

void Supervise() {
  while (g_vServiceStopArrived == 0) {
    if (ErrorWatchingOn()) {
      if (g_nOpthreadRunning == 0) {
        JoinEndedOperationThread();
        StartOperationThread();
      } else {
        NotifyOpThreadAboutSettingsChange();
        WaitForAcknowledgement(g_vConfigurationFileIsRead, true, OperationThreadAlive);
      }
      WaitForStopOrReload();
      WDT_TRACE(ZELKW_049_K, "Main");
      InterruptOperationThread();
    } else {
      WDT_SYSLOG(ZELKW_109_I);
      if (g_nOpthreadRunning != 0) {
        TerminateOperationThread(true);
      } else {
        JoinEndedOperationThread();
        WDT_TRACE(ZELKW_046_E, "Main");
      }
      g_OpThreadTid = 0;
      WaitForStopOrReload();
      WDT_TRACE(ZELKW_049_K, "Main");
    }
    if (g_vFileWritten != 0 && g_vServiceStopArrived == 0) Reload();
  }
}

int Stop() {
  if (g_nOpthreadRunning != 0)
    TerminateOperationThread(false);
  else
    JoinEndedOperationThread();
  if (WDT_RemoveLockFile() != 0)
    WDT_TRACE(ZELKW_013_E, "Main", "WDT_RemoveLockFile");
  else
    WDT_TRACE(ZELKW_014_I, "Main", "WDT_RemoveLockFile");
  WDT_TRACE(ZELKW_028_I, "Main");
  WDT_SYSLOG(ZELKW_062_I);
  WDT_TRACE(ZELKW_012_K, "Main");
  g_objErrorLog.WDT_StopLogging();
  return 0;
}

}  // namespace

int main() {
  try {
    bool realTime = RaisePriority();
    if (pthread_mutex_init(&g_mtxSettingsMutex, nullptr) != 0) return -1;
    // Checked before the trace file is created from them: an out-of-range
    // file size or count must give the default set, not a failed start.
    bool defaulted;
    if (ReadAndCheckSettings(&defaulted) != 0) return -1;  // no log exists yet
    if (g_objErrorLog.WDT_InitialiseLogFiles() != 0) {
      g_objErrorLog.WDT_StopLogging();
      return -1;
    }
    if (realTime)
      WDT_TRACE(ZELKW_056_I, "Main");
    else
      WDT_TRACE(ZELKW_055_E, "Main");
    // The check ran before syslog was open; tell the operator now.
    if (defaulted) WDT_SYSLOG(ZELKW_119_W);

    WDT_TRACE(ZELKW_011_K, "Main");
    if (WDT_Daemonize() != 0) {
      WDT_TRACE(ZELKW_018_E, "Main");
      g_objErrorLog.WDT_StopLogging();
      return -1;
    }
    WDT_TRACE(ZELKW_017_I, "Main");
    WDT_SYSLOG(ZELKW_061_I);

    if (!ErrorWatchingOn()) StopTimerOnce();
    Supervise();
    return Stop();
  } catch (...) {
    WDT_TRACE(ZELKW_015_E, "Main");
    return -1;
  }
}
