#include "QVSM_Signals.h"

#include <pthread.h>
#include <signal.h>

#include "QVSM_Globals.h"

namespace {

// Installed in this order; SIGUSR2 only wakes the operation thread.
const int kCaught[] = {SIGTSTP, SIGTTIN, SIGTTOU, SIGQUIT, SIGTERM,
                       SIGHUP,  SIGINT,  SIGUSR1, SIGUSR2, SIGALRM};

}  // namespace

void WDT_SignalHandler(int signal) {
  switch (signal) {
    case SIGQUIT:
    case SIGTERM:
    case SIGTSTP:
    case SIGTTIN:
    case SIGTTOU:
      g_vServiceStopArrived = 1;
      break;
    case SIGHUP:
    case SIGINT:
    case SIGUSR1:
      g_vFileWritten = 1;
      break;
    case SIGALRM:
      // The alarm is re-armed before every IPMI call and never cancelled, so
      // only one that fires during a call means the call hangs.
      if (g_vIoctlCallStarted == 1) g_vAlarmLoggingRequired = 1;
      break;
    default:  // SIGUSR2 only interrupts a pause or a sleep
      break;
  }
}

int WDT_RegisteringSignals() {
  for (int sig : kCaught) {
    // As signal() installs it: the handler stays, other calls restart, and
    // pause and nanosleep still return early when a signal arrives.
    struct sigaction action = {};
    action.sa_handler = WDT_SignalHandler;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    if (sigaction(sig, &action, nullptr) != 0) return -1;
  }
  sigset_t usr2;
  sigemptyset(&usr2);
  sigaddset(&usr2, SIGUSR2);
  return pthread_sigmask(SIG_BLOCK, &usr2, nullptr) == 0 ? 0 : -1;
}

int WDT_BlockAllSignals() {
  sigset_t all;
  sigfillset(&all);
  return pthread_sigmask(SIG_BLOCK, &all, nullptr) == 0 ? 0 : -1;
}

int WDT_UnBlockSignal() {
  sigset_t mask;
  sigfillset(&mask);
  if (pthread_sigmask(SIG_BLOCK, &mask, nullptr) != 0) return -1;
  sigemptyset(&mask);
  sigaddset(&mask, SIGUSR2);
  return pthread_sigmask(SIG_UNBLOCK, &mask, nullptr) == 0 ? 0 : -1;
}

void WDT_MainThreadSignals(sigset_t* set) {
  sigemptyset(set);
  for (int sig : kCaught)
    if (sig != SIGUSR2) sigaddset(set, sig);
}
