// Lock wait time and retry count of shared rings: global defaults, the
// global shared ring, and per instance.
#include "api.h"
#include "state.h"

using namespace vesk;

namespace {

enum Which { kWait = 0, kRetry = 1 };

int Clamp(Which which, int value) {
  if (which == kWait) return value < 0 ? 0 : value;
  return value < 1 ? 1 : value;
}

int GlobalSet(Which which, int value, uint32_t position) {
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  ClearError(tls);
  LockGuard lock;
  if (VESK2_pLogFile != nullptr) {
    SetError(tls, position, VESK2_ERR_SHARED_ONLY);
    return -1;
  }
  value = Clamp(which, value);
  int previous = ZELKWSYM_LockValue[which];
  ZELKWSYM_LockValue[which] = value;
  if (VESK2_pMultiLogFile != nullptr) {
    previous = which == kWait ? VESK2_pMultiLogFile->setLockWaitTime(value)
                              : VESK2_pMultiLogFile->setLockRetryTimes(value);
  }
  return previous;
}

int GlobalGet(Which which, uint32_t position) {
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  ClearError(tls);
  LockGuard lock;
  if (VESK2_pLogFile != nullptr) {
    SetError(tls, position, VESK2_ERR_SHARED_ONLY);
    return -1;
  }
  if (VESK2_pMultiLogFile != nullptr) {
    return which == kWait ? VESK2_pMultiLogFile->getLockWaitTime()
                          : VESK2_pMultiLogFile->getLockRetryTimes();
  }
  return ZELKWSYM_LockValue[which];
}

// Checks the instance under the lock; null when it cannot be used.
VeskRing* SharedRingOf(tagVESK_TLS_VAR* tls, VESKTraceObject* obj, uint32_t position) {
  if (obj->isInvalid()) {
    SetError(tls, position, VESK2_ERR_STATE);
    return nullptr;
  }
  if (obj->pLogFile != nullptr) {
    SetError(tls, position, VESK2_ERR_SHARED_ONLY);
    return nullptr;
  }
  if (obj->pMultiLogFile == nullptr) SetError(tls, position, VESK2_ERR_STATE);
  return obj->pMultiLogFile;
}

int InstanceSet(VESKTraceObject* obj, Which which, int value, uint32_t position) {
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  ClearError(tls);
  value = Clamp(which, value);
  LockGuard lock;
  if (obj == nullptr) {
    int previous = ZELKWSYM_LockValue[2 + which];
    ZELKWSYM_LockValue[2 + which] = value;
    return previous;
  }
  VeskRing* ring = SharedRingOf(tls, obj, position);
  if (ring == nullptr) return -1;
  return which == kWait ? ring->setLockWaitTime(value) : ring->setLockRetryTimes(value);
}

int InstanceGet(VESKTraceObject* obj, Which which, uint32_t position) {
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  ClearError(tls);
  if (obj == nullptr) {
    LockGuard lock;  // the pair is written under the lock by the setters
    return ZELKWSYM_LockValue[2 + which];
  }
  LockGuard lock;
  VeskRing* ring = SharedRingOf(tls, obj, position);
  if (ring == nullptr) return -1;
  return which == kWait ? ring->getLockWaitTime() : ring->getLockRetryTimes();
}

}  // namespace

VESK_API int ZELKWSYM_SetLockWaitTime(int ms) {
  return GlobalSet(kWait, ms, VESK2_POS_SET_LOCK_WAIT_TIME);
}
VESK_API int ZELKWSYM_GetLockWaitTime(void) {
  return GlobalGet(kWait, VESK2_POS_GET_LOCK_WAIT_TIME);
}
VESK_API int ZELKWSYM_SetLockRetryTimes(int count) {
  return GlobalSet(kRetry, count, VESK2_POS_SET_LOCK_RETRY_TIMES);
}
VESK_API int ZELKWSYM_GetLockRetryTimes(void) {
  return GlobalGet(kRetry, VESK2_POS_GET_LOCK_RETRY_TIMES);
}
VESK_API int ZELKWSYM_SetInstanceLockWaitTime(VESKTraceObject* obj, int ms) {
  return InstanceSet(obj, kWait, ms, VESK2_POS_SET_INSTANCE_LOCK_WAIT_TIME);
}
VESK_API int ZELKWSYM_GetInstanceLockWaitTime(VESKTraceObject* obj) {
  return InstanceGet(obj, kWait, VESK2_POS_GET_INSTANCE_LOCK_WAIT_TIME);
}
VESK_API int ZELKWSYM_SetInstanceLockRetryTimes(VESKTraceObject* obj, int count) {
  return InstanceSet(obj, kRetry, count, VESK2_POS_SET_INSTANCE_LOCK_RETRY_TIMES);
}
VESK_API int ZELKWSYM_GetInstanceLockRetryTimes(VESKTraceObject* obj) {
  return InstanceGet(obj, kRetry, VESK2_POS_GET_INSTANCE_LOCK_RETRY_TIMES);
}
