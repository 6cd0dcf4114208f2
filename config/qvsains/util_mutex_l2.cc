// Plain mutex wrappers reporting result codes.
#include "util_l2.h"

uint32_t MutexInit_L2(pthread_mutex_t* mutex) {
  pthread_mutex_init(mutex, nullptr);
  return 0;
}

uint32_t MutexTerm_L2(pthread_mutex_t* mutex) {
  int rc = pthread_mutex_destroy(mutex);
  return rc == 0 ? 0 : ErrWithErrno(ERR_SYSCALL, rc);
}

uint32_t MutexLock_L2(pthread_mutex_t* mutex, uint32_t flags) {
  int rc = (flags & MUTEX_TRY) ? pthread_mutex_trylock(mutex) : pthread_mutex_lock(mutex);
  return rc == 0 ? 0 : ErrWithErrno(ERR_SYSCALL, rc);
}

uint32_t MutexUnlock_L2(pthread_mutex_t* mutex) {
  int rc = pthread_mutex_unlock(mutex);
  return rc == 0 ? 0 : ErrWithErrno(ERR_SYSCALL, rc);
}
