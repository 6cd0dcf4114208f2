// Process-wide state shared by the main thread, the operation thread, the
// logger thread and the signal handler. Each flag has one writer that sets it
// and one side that clears it when it has acted; they are lock-free atomics
// so that the signal handler and the threads may touch them without a lock.
#pragma once

#include <pthread.h>

#include <atomic>

static_assert(std::atomic<int>::is_always_lock_free, "flags must be usable from a signal handler");

extern std::atomic<int> g_vServiceStopArrived;       // stop signal arrived; ends the main loop
extern std::atomic<int> g_vFileWritten;              // reload signal arrived
extern std::atomic<int> g_vAlarmLoggingRequired;     // an IPMI call outlived its 30 s alarm
extern std::atomic<int> g_vIoctlCallStarted;         // an IPMI system call is in progress
extern std::atomic<int> g_vAnySignalArrivedAtMain;   // request: leave the cycle, stop the timer
extern std::atomic<int> g_vConfigurationFileIsRead;  // request: run the cycle with new settings
extern std::atomic<int> g_vThreadExitIsRequested;    // request: operation thread ends
extern std::atomic<int> g_vDisableBMCTimer;          // operation thread only stops the timer once
extern std::atomic<int> g_nOpthreadRunning;          // the operation thread exists, not finished
extern std::atomic<int> g_vServiceStopArrivedForLoggerThread;  // logger thread is to end
extern std::atomic<int> g_nXmlLogLevel;                        // LogTrace's filter level
extern std::atomic<int> g_nInitializeFromDaemonize;  // re-create the trace instance after fork

extern pthread_t g_OpThreadTid;  // operation thread, 0 when there is none
extern pthread_mutex_t g_mtxSettingsMutex;
