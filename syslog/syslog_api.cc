// The exported entry points: argument checks, locking and the choice between
// the message forms; the work itself is in Vesk_Log.
#include <cerrno>
#include <cstdlib>
#include <new>

#include "instance.h"
#include "lock_policy.h"
#include "vesk2_syslog.h"
#include "vesk_err.h"
#include "vesk_log.h"

#define VESK_EXPORT extern "C" __attribute__((visibility("default")))

using vesk_sys::GlobalInstance;
using vesk_sys::kThreadSafe;
using vesk_sys::RunLocked;
using vesk_sys::RunOnInstance;
using vesk_sys::Vesk_Log;
using vesk_sys::VeskErr;

namespace {

constexpr int kTidOption = VESK2_SYSLOG_OPT_TID;
constexpr int kRefusedOptions = VESK2_SYSLOG_OPT_REFUSED;

}  // namespace

VESK_EXPORT int ZELKWSYM_CreateSysLogInstance(VESK2_SYSLOG** out) {
  if (out == nullptr) return 1;
  *out = nullptr;
  auto* record = static_cast<tag_VESK2_SYSLOG*>(std::calloc(1, sizeof(tag_VESK2_SYSLOG)));
  if (record == nullptr) return VeskErr::GetErrorCode(errno, VeskErr::kOpCreateInstance);
  Vesk_Log::CloseLog(record);
  record->logMask = 0x7F;
  int result = RunLocked([&] {
    try {
      vesk_sys::RegisterInstance(record);
    } catch (const std::bad_alloc&) {
      return VeskErr::GetErrorCode(ENOMEM, VeskErr::kOpCreateInstance);
    }
    vesk_sys::VESK2_InstanceValidSet(record);
    vesk_sys::InvalidateConnectionCache();
    return 0;
  });
  if (result != 0) {
    std::free(record);
    return result;
  }
  *out = record;
  return 0;
}

VESK_EXPORT int ZELKWSYM_DeleteSysLogInstance(VESK2_SYSLOG* instance) {
  if (instance == GlobalInstance()) return 1;  // static; never freed
  int result = RunOnInstance(instance, [&] {
    vesk_sys::VESK2_InstanceValidUnSet(instance);
    vesk_sys::UnregisterInstance(instance);
    vesk_sys::InvalidateConnectionCache();
    return 0;
  });
  if (result == 0) std::free(instance);
  return result;
}

VESK_EXPORT int ZELKWSYM_OpenSysLogInstance(VESK2_SYSLOG* instance, const char* ident, int option,
                                            int facility) {
  if (instance == nullptr || (option & kRefusedOptions) != 0) return 1;
  return RunOnInstance(instance, [&] {
    instance->tidEnabled = (option & kTidOption) != 0 ? 1 : 0;
    return Vesk_Log::OpenLog(instance, ident, option & ~kTidOption, facility);
  });
}

VESK_EXPORT void ZELKWSYM_OpenSysLog(const char* ident, int option, int facility) {
  tag_VESK2_SYSLOG* global = GlobalInstance();
  RunOnInstance(global, [&] {
    global->tidEnabled = 0;
    return Vesk_Log::OpenLog(global, ident, option & ~kTidOption, facility);
  });
}

VESK_EXPORT int ZELKWSYM_CloseSysLogInstance(VESK2_SYSLOG* instance) {
  return RunOnInstance(instance, [&] { return Vesk_Log::CloseLog(instance); });
}

VESK_EXPORT int ZELKWSYM_CloseSysLog(void) {
  return ZELKWSYM_CloseSysLogInstance(GlobalInstance());
}

VESK_EXPORT int ZELKWSYM_PutToSysLogInstance(VESK2_SYSLOG* instance, int importance,
                                             const char* text1, const char* text2) {
  return RunOnInstance(instance, [&] {
    if (kThreadSafe && instance->tidEnabled == 1) {
      return Vesk_Log::PutToLogWithTid(instance, importance, text1, text2);
    }
    return Vesk_Log::PutToLogWithoutTid(instance, importance, text1, text2);
  });
}

VESK_EXPORT int ZELKWSYM_SysLogErrCode(int code);

VESK_EXPORT int ZELKWSYM_PutToSysLog(int importance, const char* text) {
  tag_VESK2_SYSLOG* global = GlobalInstance();
  int result = RunOnInstance(global, [&] { return Vesk_Log::PutToLog(global, importance, text); });
  return result == 0 ? 0 : ZELKWSYM_SysLogErrCode(result);
}

VESK_EXPORT int ZELKWSYM_PutToSysLogWithTidInstance(VESK2_SYSLOG* instance, int importance,
                                                    const char* text1, const char* text2) {
  return RunOnInstance(instance, [&] {
    if constexpr (kThreadSafe) {
      return Vesk_Log::PutToLogWithTid(instance, importance, text1, text2);
    } else {
      return Vesk_Log::PutToLogWithoutTid(instance, importance, text1, text2);
    }
  });
}

VESK_EXPORT int ZELKWSYM_PutToSysLogWithTid(int importance, const char* text1, const char* text2) {
  int result = ZELKWSYM_PutToSysLogWithTidInstance(GlobalInstance(), importance, text1, text2);
  return result == 0 ? 0 : ZELKWSYM_SysLogErrCode(result);
}

VESK_EXPORT int ZELKWSYM_SetSysLogTidFormatInstance(VESK2_SYSLOG* instance, int mode,
                                                    const char* prefix, const char* suffix) {
  if constexpr (!kThreadSafe) {
    return 0;
  } else {
    return RunOnInstance(instance,
                         [&] { return Vesk_Log::SetTidFormat(instance, mode, prefix, suffix); });
  }
}

VESK_EXPORT int ZELKWSYM_SetSysLogTidFormat(int mode, const char* prefix, const char* suffix) {
  if constexpr (!kThreadSafe) return 0;
  return ZELKWSYM_SetSysLogTidFormatInstance(GlobalInstance(), mode, prefix, suffix) == 0 ? 0 : 1;
}

VESK_EXPORT int ZELKWSYM_SetLogMaskInstance(VESK2_SYSLOG* instance, int mask) {
  return RunOnInstance(instance, [&] { return Vesk_Log::SetMask(instance, mask); });
}

VESK_EXPORT int ZELKWSYM_SetLogMask(int mask) {
  return ZELKWSYM_SetLogMaskInstance(GlobalInstance(), mask);
}

VESK_EXPORT int ZELKWSYM_SetEventSrcName(const char* name) {
  return Vesk_Log::SetSrcName(GlobalInstance(), name);
}

VESK_EXPORT int ZELKWSYM_SetEventSrcNameInstance(VESK2_SYSLOG* instance, const char* name) {
  return Vesk_Log::SetSrcName(instance, name);
}

VESK_EXPORT int ZELKWSYM_SysLogErrApi(unsigned int code) {
  if (code == 0 || code == 1) return static_cast<int>(code);
  if (code < 0x1000000u) return -1;
  return static_cast<int>(code >> 24);
}

VESK_EXPORT int ZELKWSYM_SysLogErrCode(int code) {
  if (code == 0) return 0;
  if (code == 1) return EINVAL;
  int low = static_cast<int>(static_cast<unsigned>(code) & 0xFFFFFFu);
  return low != 0 ? low : -1;
}

VESK_EXPORT void ZELKWSYM_SysLogPreForkHandler(void) {}
VESK_EXPORT void ZELKWSYM_SysLogPostForkHandlerForParent(void) {}
VESK_EXPORT void ZELKWSYM_SysLogPostForkHandlerForChild(void) {}
