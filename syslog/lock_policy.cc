#include "lock_policy.h"

namespace vesk_sys {

pthread_mutex_t ms_pthreadMutex = PTHREAD_MUTEX_INITIALIZER;

}  // namespace vesk_sys
