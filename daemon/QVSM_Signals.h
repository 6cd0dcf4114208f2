// The daemon's signal table and per-thread signal masks. The handler only
// sets flags; the main thread acts on them.
#pragma once

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
