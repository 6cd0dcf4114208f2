// Thread-safety policy: the thread-safe builds run every instance operation
// under one process-wide mutex; the single-threaded builds take no lock.
//
// Cancellation is held off while the mutex is held. syslog(3) is a
// cancellation point, and a forced unwind that starts inside the lock would
// have to run clean-up code through this library's statically linked
// unwinder, which aborts the process; instead the message is finished, the
// mutex released, and a pending cancellation acted upon right after, so a
// put stays a cancellation point as the syslog(3) inside it is.
#pragma once

#include <pthread.h>

#include "instance.h"

namespace vesk_sys {

inline constexpr bool kThreadSafe = TW_THREAD_SAFE != 0;

extern pthread_mutex_t ms_pthreadMutex;

template <typename Work>
int RunLocked(Work&& work) {
  if constexpr (!kThreadSafe) {
    return work();
  } else {
    int oldState = PTHREAD_CANCEL_ENABLE;
    int oldType = PTHREAD_CANCEL_DEFERRED;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &oldState);
    pthread_setcanceltype(PTHREAD_CANCEL_DEFERRED, &oldType);
    pthread_mutex_lock(&ms_pthreadMutex);
    int result = work();
    pthread_mutex_unlock(&ms_pthreadMutex);
    pthread_setcanceltype(oldType, nullptr);
    pthread_setcancelstate(oldState, nullptr);
    if (oldState == PTHREAD_CANCEL_ENABLE) pthread_testcancel();
    return result;
  }
}

// Runs work() when the instance is alive and returns its result; 1 for a
// null or dead instance. The null check comes before the lock.
template <typename Work>
int RunOnInstance(tag_VESK2_SYSLOG* instance, Work&& work) {
  if (instance == nullptr) return 1;
  return RunLocked([&] { return IsAlive(instance) ? work() : 1; });
}

}  // namespace vesk_sys
