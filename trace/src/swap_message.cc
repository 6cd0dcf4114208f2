#include "swap_message.h"

#include <syslog.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "api.h"
#include "vesk2_trace.h"

namespace vesk {
namespace {

constexpr int kLimit = 255;

std::atomic<int> VESK_eSwapMsgMode{0};

// Appends src; percent signs take two characters; stops at the limit
// without splitting a doubled percent sign.
void Append(char* out, int& len, const char* src) {
  for (; *src != '\0'; ++src) {
    if (*src == '%') {
      if (len + 2 > kLimit) return;
      out[len++] = '%';
      out[len++] = '%';
    } else {
      if (len + 1 > kLimit) return;
      out[len++] = *src;
    }
  }
}

}  // namespace

bool VESK_IsEnableSwapMsg() { return VESK_eSwapMsgMode.load(std::memory_order_relaxed) == 1; }

int ExpandSwapTemplate(char* out, const char* tmpl, const char* appName, long fileNo,
                       const char* fileName) {
  int len = 0;
  char number[24];
  std::snprintf(number, sizeof number, "%ld", fileNo);
  for (const char* p = tmpl; *p != '\0' && len < kLimit; ++p) {
    char one[2] = {*p, '\0'};
    if (*p != '%') {
      Append(out, len, one);
      continue;
    }
    ++p;
    if (*p == '\0') break;
    switch (*p) {
      case 'a':
        Append(out, len, appName != nullptr ? appName : "");
        break;
      case 'f':
        Append(out, len, fileName != nullptr ? fileName : "");
        break;
      case 'i':
        Append(out, len, number);
        break;
      case '%':
        Append(out, len, "%");
        break;
      default:
        break;
    }
  }
  out[len] = '\0';
  return len;
}

int VESK_FormatSwapMsgString(const char* tmpl, const char* appName, long fileNo,
                             const char* fileName) {
  if (tmpl == nullptr) return 0;
  char escaped[kLimit + 1];
  int len = ExpandSwapTemplate(escaped, tmpl, appName, fileNo, fileName);
  // Undo the doubling and log as plain text, so nothing in a name is ever
  // taken for a format directive.
  char plain[kLimit + 1];
  int n = 0;
  for (int i = 0; i < len; ++i) {
    plain[n++] = escaped[i];
    if (escaped[i] == '%') ++i;
  }
  plain[n] = '\0';
  syslog(LOG_INFO, "%s", plain);
  return len;
}

}  // namespace vesk

VESK_API int ZELKWSYM_SetSwapMessageMode(int mode) {
  if (mode == 0 || mode == 1) vesk::VESK_eSwapMsgMode.store(mode, std::memory_order_relaxed);
  return vesk::VESK_eSwapMsgMode.load(std::memory_order_relaxed);
}
