// Thin, stateless wrapper over the platform's syslog calls.
#pragma once

namespace vesk_sys {

class VeskSysLog {
 public:
  void openSyslog(const char* ident, int option, int facility);
  int setLogMask(int mask);
  void closeSyslog();
  void reportMsg(int importance, const char* text);
  static int importanceToPriority(int importance);
};

}  // namespace vesk_sys
