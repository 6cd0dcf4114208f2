#include "record.h"

#include <cstring>
#include <ctime>

#include "state.h"

namespace vesk {

char* VESK2_IntToStr(char* buf, long value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    buf[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return buf;
}

void FormatTimeStamp(char* out, const struct timeval& tv, tagVESK_TLS_VAR* cache) {
  if (cache != nullptr && cache->lStampSecond == static_cast<long>(tv.tv_sec)) {
    std::memcpy(out, cache->szStampText, 19);
    out[19] = '.';
    VESK2_IntToStr(out + 20, static_cast<long>(tv.tv_usec) / 1000, 3);
    return;
  }
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
  VESK2_IntToStr(out + 20, static_cast<long>(tv.tv_usec) / 1000, 3);
  if (cache != nullptr) {
    std::memcpy(cache->szStampText, out, 19);
    cache->lStampSecond = static_cast<long>(tv.tv_sec);
  }
}

void PutPadded(char* dst, const char* src, size_t width) {
  const size_t n = src != nullptr ? strnlen(src, width) : 0;
  if (n > 0) std::memcpy(dst, src, n);
  std::memset(dst + n, ' ', width - n);
}

void VESK_MakeupTraceMessageHeader(char* buf, const char* appName, const char* threadIdText,
                                   const char* callerThreadId, bool masked, struct timeval* tv,
                                   tagVESK_TLS_VAR* tls) {
  VESK2_IntToStr(buf, VESK2_iMsgCount.Next(), 4);
  buf[4] = ' ';
  if (masked) {
    std::memcpy(buf + 5, "****/**/** **:**:**.***", 23);
  } else {
    gettimeofday(tv, nullptr);
    FormatTimeStamp(buf + 5, *tv, tls);
  }
  std::memset(buf + 28, ' ', 5);
  PutPadded(buf + 33, appName, 16);
  buf[49] = ' ';
  std::memcpy(buf + 50, VESK2_szProcessId, 9);
  if (callerThreadId != nullptr) {
    PutPadded(buf + 59, callerThreadId, 8);
    buf[67] = ' ';
  } else {
    std::memcpy(buf + 59, threadIdText, 9);
  }
}

size_t BuildRecord(tagVESK_TLS_VAR* tls, const RecordFields& f) {
  char* buf = tls->szMsgBuf;
  struct timeval tv;
  // A caller-given null thread id means a blank column, not the own id.
  const char* given = f.ownThreadId ? nullptr : (f.threadId != nullptr ? f.threadId : "");
  VESK_MakeupTraceMessageHeader(buf, f.appName, tls->szThreadId, given, f.masked, &tv, tls);
  size_t pos = 68;
  size_t maxText = kMaxText;
  switch (f.ids) {
    case IdColumns::kNone:
      maxText = kMaxLineText;
      break;
    case IdColumns::kId:
      PutPadded(buf + 68, f.msgId, 21);
      buf[89] = ' ';
      pos = kTextColumn;
      break;
    case IdColumns::kIdAndType:
      PutPadded(buf + 68, f.msgId, 16);
      buf[84] = ' ';
      PutPadded(buf + 85, f.msgType, 4);
      buf[89] = ' ';
      pos = kTextColumn;
      break;
  }
  size_t n = strnlen(f.text, maxText);
  std::memcpy(buf + pos, f.text, n);
  pos += n;
  buf[pos++] = '\r';
  buf[pos++] = '\n';
  buf[pos] = '\0';
  return pos;
}

}  // namespace vesk
