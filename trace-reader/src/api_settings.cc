// Error reporting and lock tuning entry points, and the version banner.
#include "instance.h"

// Per thread: a failed creation or a call with a null instance can be
// diagnosed by the thread that made it, without a data race between threads.
static thread_local int ms_errno = 0;

MPTT_API const char ZELKWSYM_version_string[] =
    "$Version: tickward trace file reader " TW_READER_VERSION " $";

namespace mptt {

void SetLibraryError(int code) { ms_errno = code; }
int LibraryError() { return ms_errno; }

int FailNull() {
  ms_errno = VESK2_MPTT_E_INVALID;
  return VESK2_MPTT_E_INVALID;
}

int Fail(VESK2_MptTrap* inst, int code) {
  if (inst == nullptr) {
    ms_errno = code;
  } else {
    inst->lastError = code;
  }
  return code;
}

}  // namespace mptt

namespace {

int Replace(VESK2_MptTrap* inst, int VESK2_MptTrap::*field, int value, int minimum) {
  if (inst == nullptr) return mptt::FailNull(), -1;
  if (value < minimum) return mptt::Fail(inst, VESK2_MPTT_E_INVALID), -1;
  const int previous = inst->*field;
  inst->*field = value;
  return previous;
}

int Get(VESK2_MptTrap* inst, int VESK2_MptTrap::*field) {
  if (inst == nullptr) return mptt::FailNull(), -1;
  return inst->*field;
}

}  // namespace

MPTT_API int ZELKWSYM_MpttGetLastError(VESK2_MptTrap_t* inst) {
  return inst == nullptr ? mptt::LibraryError() : inst->lastError;
}

MPTT_API void ZELKWSYM_MpttClearError(VESK2_MptTrap_t* inst) {
  if (inst == nullptr) {
    mptt::SetLibraryError(0);
  } else {
    inst->lastError = 0;
  }
}

MPTT_API int ZELKWSYM_MpttGetLockBlockTime(VESK2_MptTrap_t* inst) {
  return Get(inst, &VESK2_MptTrap::lockBlockTime);
}
MPTT_API int ZELKWSYM_MpttSetLockBlockTime(VESK2_MptTrap_t* inst, int value) {
  return Replace(inst, &VESK2_MptTrap::lockBlockTime, value, 0);
}
MPTT_API int ZELKWSYM_MpttGetLockSleepTime(VESK2_MptTrap_t* inst) {
  return Get(inst, &VESK2_MptTrap::lockSleepTime);
}
MPTT_API int ZELKWSYM_MpttSetLockSleepTime(VESK2_MptTrap_t* inst, int milliseconds) {
  return Replace(inst, &VESK2_MptTrap::lockSleepTime, milliseconds, 0);
}
MPTT_API int ZELKWSYM_MpttGetLockRetryTimes(VESK2_MptTrap_t* inst) {
  return Get(inst, &VESK2_MptTrap::lockRetryTimes);
}
MPTT_API int ZELKWSYM_MpttSetLockRetryTimes(VESK2_MptTrap_t* inst, int attempts) {
  return Replace(inst, &VESK2_MptTrap::lockRetryTimes, attempts, 1);
}
