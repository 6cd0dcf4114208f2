// Build-variant policy: the thread-safe builds serialise file objects and
// the record counter with one process-wide mutex; the single-threaded
// builds get types of the same shape that do nothing extra.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <type_traits>

namespace vesk {

inline constexpr bool kThreadSafe = TW_THREAD_SAFE != 0;

// Non-recursive: a locked section never calls another entry point.
class PthreadLibraryMutex {
 public:
  void lock() { pthread_mutex_lock(&mutex_); }
  void unlock() { pthread_mutex_unlock(&mutex_); }

 private:
  pthread_mutex_t mutex_ = PTHREAD_MUTEX_INITIALIZER;
};

class NoLibraryMutex {
 public:
  void lock() {}
  void unlock() {}
};

using LibraryMutex = std::conditional_t<kThreadSafe, PthreadLibraryMutex, NoLibraryMutex>;

// The library lock (cs_mutex), inline: every put takes it.
extern LibraryMutex cs_mutex;
inline LibraryMutex& LibraryLock() { return cs_mutex; }

// Holds off cancellation while library code runs that reaches cancellation
// points (write, open, syslog...). The library links its C++ runtime
// statically, so a cancellation unwinding through its frames would abort the
// process instead of ending the thread; the cancellation acts at the
// caller's next cancellation point instead.
class CancelDisabled {
 public:
  CancelDisabled() { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &old_); }
  ~CancelDisabled() { pthread_setcancelstate(old_, nullptr); }
  CancelDisabled(const CancelDisabled&) = delete;
  CancelDisabled& operator=(const CancelDisabled&) = delete;

 private:
  int old_ = PTHREAD_CANCEL_ENABLE;
};

struct CancelUntouched {
  CancelUntouched() {}  // user-provided: a guard variable is not "unused"
};

using CancelGuard = std::conditional_t<kThreadSafe, CancelDisabled, CancelUntouched>;

// The library lock (cs_mutex) for one locked section. Cancellation waits
// until it is released: a thread cancelled inside write(2) would otherwise
// leave the lock held.
class LockGuard {
 public:
  LockGuard() { LibraryLock().lock(); }
  ~LockGuard() { LibraryLock().unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  CancelGuard noCancel_;  // constructed before the lock is taken
};

// The lock of a put, which leaves cancellation to its ring.
class LockGuardInPut {
 public:
  LockGuardInPut() { LibraryLock().lock(); }
  ~LockGuardInPut() { LibraryLock().unlock(); }
  LockGuardInPut(const LockGuardInPut&) = delete;
  LockGuardInPut& operator=(const LockGuardInPut&) = delete;
};

// Process-wide record counter 0..9999, guarded by the library lock.
class RecordCounter {
 public:
  int Next() {
    int cur = value_;
    value_ = cur >= 9999 ? 0 : cur + 1;
    return cur;
  }

 private:
  int value_ = 0;
};

// Levels and thresholds are single words read without the lock.
using Word = std::atomic<int32_t>;

}  // namespace vesk
