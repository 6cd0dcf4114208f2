// The daemon's signal table and per-thread signal masks. The handler only
// sets flags; the main thread acts on them.
#pragma once

#include <signal.h>

// The one handler for every caught signal.
void WDT_SignalHandler(int signal);
// Installs the handler for the stop, reload, SIGUSR2 and SIGALRM signals,
// then blocks SIGUSR2 in the calling (main) thread. 0 or -1.
int WDT_RegisteringSignals();
// Blocks every signal in the calling thread (the logger thread). 0 or -1.
int WDT_BlockAllSignals();
// Blocks every signal but SIGUSR2 in the calling thread (the operation
// thread, which main wakes with SIGUSR2). 0 or -1.
int WDT_UnBlockSignal();
// The signals that the main thread waits for: every caught one but SIGUSR2.
void WDT_MainThreadSignals(sigset_t* set);
