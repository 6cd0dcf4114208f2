// Log levels, file thresholds and the time-stamp mode: single words, read
// by the puts without the lock.
#include "api.h"
#include "state.h"

using namespace vesk;

namespace {

bool InRange(int value) { return value >= -1 && value <= 1000; }

int SetGlobal(Word& word, int value, uint32_t position) {
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  ClearError(tls);
  if (!InRange(value)) {
    SetError(tls, position, VESK2_ERR_ARGUMENT);
    return word.load(std::memory_order_relaxed);
  }
  return word.exchange(value, std::memory_order_relaxed);
}

int SetInstance(VESKTraceObject* obj, Word VESKTraceObject::*field, int value, uint32_t position) {
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  ClearError(tls);
  if (obj == nullptr) {
    SetError(tls, position, VESK2_ERR_ARGUMENT);
    return 0;
  }
  LockGuard lock;
  if (obj->isInvalid()) {
    SetError(tls, position, VESK2_ERR_STATE);
    return 0;
  }
  Word& word = obj->*field;
  if (!InRange(value)) {
    SetError(tls, position, VESK2_ERR_ARGUMENT);
    return word.load(std::memory_order_relaxed);
  }
  return word.exchange(value, std::memory_order_relaxed);
}

}  // namespace

VESK_API int ZELKWSYM_SetLogLevel(int level) {
  return SetGlobal(ZELKWSYM_Threshold.iLogLevel, level, VESK2_POS_SET_LOG_LEVEL);
}

VESK_API int ZELKWSYM_GetLogLevel(void) {
  ClearError(VESK_GetTlsVar());
  return ZELKWSYM_Threshold.iLogLevel.load(std::memory_order_relaxed);
}

VESK_API int ZELKWSYM_SetFileThreshold(int threshold) {
  return SetGlobal(ZELKWSYM_Threshold.iFileThreshold, threshold, VESK2_POS_SET_FILE_THRESHOLD);
}

VESK_API int ZELKWSYM_SetShmThreshold(int) { return 0; }
VESK_API int ZELKWSYM_SetInstanceShmThreshold(VESKTraceObject*, int) { return 0; }

VESK_API int ZELKWSYM_SetInstanceLogLevel(VESKTraceObject* obj, int level) {
  return SetInstance(obj, &VESKTraceObject::iLogLevel, level, VESK2_POS_SET_INSTANCE_LOG_LEVEL);
}

VESK_API int ZELKWSYM_GetInstanceLogLevel(VESKTraceObject* obj) {
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  ClearError(tls);
  if (obj == nullptr) {
    SetError(tls, VESK2_POS_GET_INSTANCE_LOG_LEVEL, VESK2_ERR_ARGUMENT);
    return 0;
  }
  if (obj->isInvalid()) {
    SetError(tls, VESK2_POS_GET_INSTANCE_LOG_LEVEL, VESK2_ERR_STATE);
    return 0;
  }
  return obj->iLogLevel.load(std::memory_order_relaxed);
}

VESK_API int ZELKWSYM_SetInstanceFileThreshold(VESKTraceObject* obj, int threshold) {
  return SetInstance(obj, &VESKTraceObject::iFileThreshold, threshold,
                     VESK2_POS_SET_INSTANCE_FILE_THRESHOLD);
}

VESK_API int ZELKWSYM_SetTimeStumpMode(int mode) {
  ZELKWSYM_iTickType.store(mode, std::memory_order_relaxed);
  return mode;
}

VESK_API int ZELKWSYM_GetTimeStumpMode(void) {
  return ZELKWSYM_iTickType.load(std::memory_order_relaxed);
}
