// Build-variant policy: the thread-safe builds serialise file objects with
// one process-wide mutex and count records atomically; the single-threaded
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
  void lock() {
    // Cancellation waits until the lock is released: a thread cancelled
    // inside write(2) would otherwise leave the lock held, and unwinding
    // through this library (static C++ runtime) would abort the process.
    int state = PTHREAD_CANCEL_ENABLE;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &state);
    pthread_mutex_lock(&mutex_);
    cancelState_ = state;
  }
  void unlock() {
    int state = cancelState_;
    pthread_mutex_unlock(&mutex_);
    pthread_setcancelstate(state, nullptr);
  }

 private:
  pthread_mutex_t mutex_ = PTHREAD_MUTEX_INITIALIZER;
  int cancelState_ = PTHREAD_CANCEL_ENABLE;  // written only by the holder
};

class NoLibraryMutex {
 public:
  void lock() {}
  void unlock() {}
};

using LibraryMutex = std::conditional_t<kThreadSafe, PthreadLibraryMutex, NoLibraryMutex>;

// Keeps cancellation out of a stretch of library code that reaches
// cancellation points outside the library lock. The library links its C++
// runtime statically, so a cancellation unwinding through its frames would
// abort the process instead of ending the thread.
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

// The library lock (cs_mutex).
LibraryMutex& LibraryLock();

class LockGuard {
 public:
  LockGuard() { LibraryLock().lock(); }
  ~LockGuard() { LibraryLock().unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;
};

// Process-wide record counter 0..9999.
class AtomicRecordCounter {
 public:
  int Next() {
    int cur = value_.load(std::memory_order_relaxed);
    while (
        !value_.compare_exchange_weak(cur, cur >= 9999 ? 0 : cur + 1, std::memory_order_relaxed)) {
    }
    return cur;
  }
  void Reset() { value_.store(0, std::memory_order_relaxed); }

 private:
  std::atomic<int> value_{0};
};

class PlainRecordCounter {
 public:
  int Next() {
    int cur = value_;
    value_ = cur >= 9999 ? 0 : cur + 1;
    return cur;
  }
  void Reset() { value_ = 0; }

 private:
  int value_ = 0;
};

using RecordCounter = std::conditional_t<kThreadSafe, AtomicRecordCounter, PlainRecordCounter>;

// Levels and thresholds are single words read without the lock.
using Word = std::atomic<int32_t>;

}  // namespace vesk
