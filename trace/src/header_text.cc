#include "header_text.h"

#include <sys/time.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "record.h"

namespace vesk {

void HeaderTexts::RefreshStartTime() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  FormatTimeStamp(szStartTime, tv);
  szStartTime[23] = '\0';
}

void HeaderTexts::Fill() {
  char host[256];
  if (gethostname(host, sizeof host) == 0) {
    host[sizeof host - 1] = '\0';
    std::snprintf(szHostName, sizeof szHostName, "%.16s", host);
  } else {
    std::strcpy(szHostName, "Unknown");
  }
  struct utsname uts;
  if (uname(&uts) == 0) {
    // Only the first 60 characters are ever written.
    char full[3 * sizeof uts.sysname + 3];
    std::snprintf(full, sizeof full, "%s %s %s", uts.sysname, uts.release, uts.version);
    std::snprintf(szOsInfo, sizeof szOsInfo, "%.60s", full);
  } else {
    std::strcpy(szOsInfo, "Unknown");
  }
  RefreshStartTime();
  const char* tz = std::getenv("TZ");
  std::snprintf(szTimeZone, sizeof szTimeZone, "TZ=%-29.29s", tz != nullptr ? tz : "Unknown");
  const char* lang = std::getenv("LANG");
  std::snprintf(szLang, sizeof szLang, "message(LANG=%.64s)", lang != nullptr ? lang : "Unknown");
}

size_t BuildHeaderBlock(char* out, const HeaderTexts& t) {
  char* p = out;
  std::memcpy(p, "**** ", 5);
  p += 5;
  PutPadded(p, t.szOsInfo, 60);
  p[60] = ' ';
  p += 61;
  PutPadded(p, t.szHostName, 17);
  p += 17;
  PutPadded(p, t.szTimeZone, 32);
  p += 32;
  *p++ = ' ';
  std::memcpy(p, t.szStartTime, 23);
  p += 23;
  *p++ = '\r';
  *p++ = '\n';
  static const char kColumns[] =
      "     yyyy/mm/dd hh:mm:ss.sss                      pid      tid      message-id            ";
  static_assert(sizeof kColumns - 1 == 90, "column titles span 90 characters");
  std::memcpy(p, kColumns, 90);
  p += 90;
  size_t langLen = strnlen(t.szLang, sizeof t.szLang - 1);
  std::memcpy(p, t.szLang, langLen);
  p += langLen;
  *p++ = '\r';
  *p++ = '\n';
  *p = '\0';
  return static_cast<size_t>(p - out);
}

}  // namespace vesk
