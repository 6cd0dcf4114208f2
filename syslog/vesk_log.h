// Operations on one instance record: settings, the connection cache and the
// assembly of a message. Callers hold the library lock where there is one.
#pragma once

#include "instance.h"

namespace vesk_sys {

class Vesk_Log {
 public:
  // 8 hex digits in 32-bit builds, 16 in 64-bit ones: a pthread_t's width.
  static constexpr const char* kDefaultTidFormat = sizeof(unsigned long) == 8 ? "%016lX" : "%08lX";

  static int SetMask(tag_VESK2_SYSLOG* instance, int mask);
  static int SetSrcName(tag_VESK2_SYSLOG* instance, const char* name);
  static const char* GetTidFormat(int mode);
  static int SetTidFormat(tag_VESK2_SYSLOG* instance, int mode, const char* prefix,
                          const char* suffix);
  static int CloseLog(tag_VESK2_SYSLOG* instance);
  static int OpenLog(tag_VESK2_SYSLOG* instance, const char* ident, int option, int facility);
  static int PutToLog(tag_VESK2_SYSLOG* instance, int importance, const char* text);
  static int PutToLogWithoutTid(tag_VESK2_SYSLOG* instance, int importance, const char* text1,
                                const char* text2);
  static int PutToLogWithTid(tag_VESK2_SYSLOG* instance, int importance, const char* text1,
                             const char* text2);
};

// Forget which instance's settings the platform connection holds, so that
// the next put re-issues openlog and setlogmask.
void InvalidateConnectionCache();

}  // namespace vesk_sys
