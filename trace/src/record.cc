#include "record.h"

#include <cstring>
#include <ctime>

#include "record_build.h"

namespace vesk {

char* VESK2_IntToStr(char* buf, long value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    buf[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return buf;
}

// Out of line: a put needs it once per second and thread.
void FormatNewSecond(char* out, const struct timeval& tv, unsigned milli, tagVESK_TLS_VAR* cache) {
  struct tm tm;
  time_t secs = tv.tv_sec;
  if (localtime_r(&secs, &tm) == nullptr) {
    std::memcpy(out, "----/--/-- --:--:--.---", 23);
    return;
  }
  VESK2_IntToStr(out, tm.tm_year + 1900L, 4);
  out[4] = '/';
  VESK2_IntToStr(out + 5, tm.tm_mon + 1L, 2);
  out[7] = '/';
  VESK2_IntToStr(out + 8, tm.tm_mday, 2);
  out[10] = ' ';
  VESK2_IntToStr(out + 11, tm.tm_hour, 2);
  out[13] = ':';
  VESK2_IntToStr(out + 14, tm.tm_min, 2);
  out[16] = ':';
  VESK2_IntToStr(out + 17, tm.tm_sec, 2);
  out[19] = '.';
  record_detail::PutMilliseconds(out + 20, milli);
  if (cache != nullptr) {
    std::memcpy(cache->szStampText, out, 23);
    cache->lStampSecond = static_cast<long>(tv.tv_sec);
    cache->iStampMilli = static_cast<int>(milli);
  }
}

void FormatTimeStamp(char* out, const struct timeval& tv, tagVESK_TLS_VAR* cache) {
  record_detail::StampInto(out, tv, cache);
}

void PutPadded(char* dst, const char* src, size_t width) {
  const size_t n = src != nullptr ? strnlen(src, width) : 0;
  if (n > 0) std::memcpy(dst, src, n);
  std::memset(dst + n, ' ', width - n);
}

}  // namespace vesk
