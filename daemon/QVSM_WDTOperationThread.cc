// The operation thread's life and its set-and-reset cycle:
//   arming -> refreshing -> (failure) shortening -> (budget spent) no response
//   -> (arm succeeds) refreshing ..., until the main thread interrupts it;
// then the timer is stopped and the thread idles until it is told to run a
// new cycle or to end.
#include "QVSM_WDTOperationThread.h"

#include <errno.h>
#include <signal.h>
#include <sys/times.h>
#include <unistd.h>

#include <new>

#include "QVSM_ErrorLogging.h"
#include "QVSM_Globals.h"
#include "QVSM_Signals.h"
#include "QVSM_WDTSettings.h"

std::atomic<int> g_vOpThreadInCycle{0};

namespace {

// Whole-second sleep that a SIGUSR2 from the main thread cuts short, so that
// the caller tests its loop condition at once.
void SleepInterruptibly(int seconds) {
  if (seconds <= 0) return;
  timespec wait = {seconds, 0};
  timespec left;
  nanosleep(&wait, &left);
}

// Whole-second sleep that runs its full length: the waits between attempts
// to stop the timer give the BMC its time whatever the main thread sends.
void SleepFully(int seconds) {
  timespec wait = {seconds, 0};
  timespec left;
  while (seconds > 0 && nanosleep(&wait, &left) != 0 && errno == EINTR) wait = left;
}

// A request from the main thread to leave the cycle: an interrupt, or the
// terminate request of the stop sequence.
bool InterruptRequested() {
  return g_vAnySignalArrivedAtMain != 0 || g_vThreadExitIsRequested != 0;
}

// Waits for a settings change or the terminate request. SIGUSR2 is blocked
// while the flags are tested and released only inside sigsuspend, so a
// request that comes between the test and the wait is not missed.
void WaitForNextRequest() {
  sigset_t usr2, previous;
  sigemptyset(&usr2);
  sigaddset(&usr2, SIGUSR2);
  pthread_sigmask(SIG_BLOCK, &usr2, &previous);
  sigset_t waiting = previous;
  sigdelset(&waiting, SIGUSR2);
  while (g_vConfigurationFileIsRead == 0 && g_vThreadExitIsRequested == 0) sigsuspend(&waiting);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace

struct CWDTOperationThread::Cycle {
  int timeout;       // T: also the BMC countdown, s
  int baseInterval;  // I0 = T / IntervalCount
  int shortening;    // S
  int minimum;       // M
  int retry;         // R
  int current;       // interval that the next shortening divides
  int budget = 0;    // estimated seconds since the BMC last accepted a command
  bool started = false;
  bool noResponse = false;
};

CWDTOperationThread::CWDTOperationThread()
    : m_nDevice(-1),
      m_lMessageId(1),
      m_nMaximumRetryTime(1),
      m_nMinimumInterval(1),
      m_lTicksPerSecond(sysconf(_SC_CLK_TCK)) {
  if (m_lTicksPerSecond <= 0) m_lTicksPerSecond = 100;
}

CWDTOperationThread::~CWDTOperationThread() { WDT_WatchdogClose(); }

namespace {

// Whole seconds between two times() readings; an unreadable clock or a
// negative difference counts as 0.
int ElapsedSeconds(clock_t before, clock_t after, long ticksPerSecond) {
  if (before == static_cast<clock_t>(-1) || after == static_cast<clock_t>(-1)) return 0;
  if (after < before) return 0;
  return static_cast<int>((after - before) / ticksPerSecond);
}

clock_t Now() {
  tms unused;
  return times(&unused);
}

}  // namespace

// After a failed arm or refresh: wait a shorter interval before the next
// attempt, or, once a whole timer period is spent, report that the BMC does
// not answer and slow down to the retry interval.
void CWDTOperationThread::Shorten(Cycle& cycle, clock_t before) {
  int next = cycle.current / cycle.shortening;
  if (next < cycle.minimum) next = cycle.minimum;
  cycle.budget += next + ElapsedSeconds(before, Now(), m_lTicksPerSecond);
  if (cycle.budget > cycle.timeout) {
    WDT_SYSLOG(ZELKW_065_E);
    SleepInterruptibly(cycle.retry);
    cycle.noResponse = true;
  } else {
    SleepInterruptibly(next);
    cycle.current = next;
  }
}

int CWDTOperationThread::WDT_PerformSetReset() {
  try {
    WDT_TRACE(ZELKW_011_K, "WDT_PerformSetReset");
    Cycle cycle;
    {
      WdtSettingsLock settings;
      cycle.timeout = settings->WDT_GetWatchtimeout();
      int count = settings->WDT_GetSettingWatchInterTime();
      cycle.baseInterval = count > 0 ? cycle.timeout / count : cycle.timeout;
      cycle.shortening = settings->WDT_GetShortWatchTime();
      if (cycle.shortening <= 0) cycle.shortening = 1;
      cycle.minimum = settings->WDT_GetShortInterval();
      cycle.retry = settings->WDT_GetReOprConfirmation();
      m_nMaximumRetryTime = settings->WDT_GetMaxRetryTime();
      m_nMinimumInterval = settings->WDT_GetShortInterval();
    }
    cycle.current = cycle.baseInterval;

    while (!InterruptRequested()) {
      clock_t before = Now();
      if (WDT_WatchdogStart(true) == 0) {
        if (!cycle.started) WDT_SYSLOG(ZELKW_063_I);
        if (cycle.noResponse) WDT_SYSLOG(ZELKW_066_I);
        WDT_TRACE(ZELKW_038_I, "WDT_PerformSetReset", "setting");
        cycle.started = true;
        cycle.noResponse = false;
        cycle.budget = 0;
        cycle.current = cycle.baseInterval;
        while (!InterruptRequested()) {
          before = Now();
          if (WDT_WatchdogReset() == 0) {
            cycle.budget = cycle.baseInterval;
            WDT_TRACE(ZELKW_038_I, "WDT_PerformSetReset", "resetting");
            SleepInterruptibly(cycle.baseInterval);
          } else {
            WDT_TRACE(ZELKW_013_E, "WDT_PerformSetReset", "Resetting the timer");
            Shorten(cycle, before);
            break;  // the next attempt arms the timer again
          }
        }
      } else {
        WDT_TRACE(ZELKW_013_E, "WDT_PerformSetReset", "setting the timer");
        if (cycle.noResponse || !cycle.started) {
          cycle.noResponse = true;
          SleepInterruptibly(cycle.retry);
        } else {
          Shorten(cycle, before);
        }
      }
    }
    g_vAnySignalArrivedAtMain = 0;  // the acknowledgement
    WDT_TRACE(ZELKW_012_K, "WDT_PerformSetReset");
    return 0;
  } catch (...) {
    WDT_TRACE(ZELKW_015_E, "WDT_PerformSetReset");
    return -1;
  }
}

void CWDTOperationThread::WDT_StopBmcAtExit() {
  try {
    WDT_TRACE(ZELKW_011_K, "WDT_StopBmcAtExit");
    int retries = m_nMinimumInterval > 0 ? m_nMaximumRetryTime / m_nMinimumInterval : 0;
    int wait = m_nMinimumInterval;
    if (retries == 0) {
      retries = 1;
      wait = m_nMaximumRetryTime;
    }
    if (g_vServiceStopArrived == 1) {  // shutdown: be quick
      retries = 3;
      wait = 1;
    }
    bool stopped = false;
    for (;;) {
      if (WDT_WatchdogStart(false) == 0) {
        WDT_TRACE(ZELKW_040_I, "WDT_StopBmcAtExit");
        stopped = true;
        break;
      }
      WDT_TRACE(ZELKW_041_E, "WDT_StopBmcAtExit");
      if (retries == 0) break;
      SleepFully(wait);
      --retries;
    }
    if (stopped) {
      if (g_vDisableBMCTimer != 1) WDT_SYSLOG(ZELKW_064_I);
      WDT_TRACE(ZELKW_040_I, "WDT_StopBmcAtExit");
    } else {
      WDT_SYSLOG(ZELKW_067_E);
      WDT_TRACE(ZELKW_041_E, "WDT_StopBmcAtExit");
    }
    WDT_TRACE(ZELKW_012_K, "WDT_StopBmcAtExit");
  } catch (...) {
    WDT_TRACE(ZELKW_015_E, "WDT_StopBmcAtExit");
  }
}

void* WDTOperationThread(void*) {
  CWDTOperationThread* thread = nullptr;
  try {
    WDT_TRACE(ZELKW_011_K, "WDTOperationThread");
    if (WDT_UnBlockSignal() != 0) {
      WDT_TRACE(ZELKW_013_E, "WDTOperationThread", "WDT_UnBlockSignal");
      g_nOpthreadRunning = 0;
      return nullptr;
    }
    thread = new (std::nothrow) CWDTOperationThread();
    if (thread == nullptr) {
      WDT_TRACE(ZELKW_013_E, "WDTOperationThread", "CWDTOperationThread()");
      g_nOpthreadRunning = 0;
      return nullptr;
    }
    if (thread->WDT_WatchdogInit() != 0) {
      WDT_TRACE(ZELKW_013_E, "WDTOperationThread", "WDT_WatchdogInit");
      WDT_SYSLOG(ZELKW_110_I);
      delete thread;
      g_nOpthreadRunning = 0;
      return nullptr;
    }
    WDT_TRACE(ZELKW_014_I, "WDTOperationThread", "WDT_WatchdogInit");

    if (g_vDisableBMCTimer == 1) {  // started only to stop a timer left running
      thread->WDT_StopBmcAtExit();
      g_vDisableBMCTimer = 0;
      g_vThreadExitIsRequested = 1;
    }
    while (g_vThreadExitIsRequested == 0) {
      // In the cycle before the settings change is acknowledged, so that the
      // main thread's next interrupt request always finds a taker.
      g_vOpThreadInCycle = 1;
      g_vConfigurationFileIsRead = 0;
      thread->WDT_PerformSetReset();
      g_vOpThreadInCycle = 0;
      thread->WDT_StopBmcAtExit();
      WaitForNextRequest();
    }
    g_vConfigurationFileIsRead = 0;
    thread->WDT_WatchdogClose();
    delete thread;
    WDT_TRACE(ZELKW_012_K, "WDTOperationThread");
    // Last: the main thread may join as soon as it sees these.
    g_vThreadExitIsRequested = 0;
    g_nOpthreadRunning = 0;
    return nullptr;
  } catch (...) {
    WDT_TRACE(ZELKW_015_E, "WDTOperationThread");
    g_vOpThreadInCycle = 0;
    delete thread;
    g_nOpthreadRunning = 0;
    return nullptr;
  }
}
