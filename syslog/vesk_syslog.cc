#include "vesk_syslog.h"

#include <syslog.h>

namespace vesk_sys {

void VeskSysLog::openSyslog(const char* ident, int option, int facility) {
  openlog(ident, option, facility);
}

int VeskSysLog::setLogMask(int mask) { return setlogmask(mask); }

void VeskSysLog::closeSyslog() { closelog(); }

void VeskSysLog::reportMsg(int importance, const char* text) {
  // The text is data, never a format.
  syslog(importanceToPriority(importance), "%s", text != nullptr ? text : "");
}

int VeskSysLog::importanceToPriority(int importance) {
  return (importance >= 0 && importance <= 6) ? importance : LOG_ERR;
}

}  // namespace vesk_sys
