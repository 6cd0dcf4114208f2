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

namespace {

// "00" to "99" one after another: two digits per lookup.
struct DigitPairs {
  char text[200];
  constexpr DigitPairs() : text() {
    for (int i = 0; i < 100; ++i) {
      text[2 * i] = static_cast<char>('0' + i / 10);
      text[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
  }
};
constexpr DigitPairs kDigitPairs;

inline void PutTwoDigits(char* out, unsigned value) {
  std::memcpy(out, kDigitPairs.text + 2 * value, 2);
}

inline void PutMilliseconds(char* out, unsigned milli) {
  out[0] = static_cast<char>('0' + milli / 100);
  PutTwoDigits(out + 1, milli % 100);
}

}  // namespace

namespace {

// A second not seen before: the whole text, through localtime_r. Kept out
// of line so that the per-record part stays small enough to inline.
[[gnu::noinline]] void FormatNewSecond(char* out, const struct timeval& tv, unsigned milli,
                                       tagVESK_TLS_VAR* cache) {
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
  PutMilliseconds(out + 20, milli);
  if (cache != nullptr) {
    std::memcpy(cache->szStampText, out, 23);
    cache->lStampSecond = static_cast<long>(tv.tv_sec);
    cache->iStampMilli = static_cast<int>(milli);
  }
}

inline void StampInto(char* out, const struct timeval& tv, tagVESK_TLS_VAR* cache) {
  const unsigned milli = static_cast<unsigned>(tv.tv_usec) / 1000 % 1000;
  if (cache == nullptr || cache->lStampSecond != static_cast<long>(tv.tv_sec)) {
    FormatNewSecond(out, tv, milli, cache);
    return;
  }
  if (cache->iStampMilli != static_cast<int>(milli)) {
    PutMilliseconds(cache->szStampText + 20, milli);
    cache->iStampMilli = static_cast<int>(milli);
  }
  std::memcpy(out, cache->szStampText, 23);
}

}  // namespace

void FormatTimeStamp(char* out, const struct timeval& tv, tagVESK_TLS_VAR* cache) {
  StampInto(out, tv, cache);
}

void PutPadded(char* dst, const char* src, size_t width) {
  const size_t n = src != nullptr ? strnlen(src, width) : 0;
  if (n > 0) std::memcpy(dst, src, n);
  std::memset(dst + n, ' ', width - n);
}

namespace {

// Columns 0..66 (counter, time, application, process, thread) plus column 67
// where the thread id is caller-given; own thread id text brings its space.
// tv receives the time read (untouched when masked).
inline void VESK_MakeupTraceMessageHeader(char* buf, const char* appName, bool appIsColumn,
                                          const char* threadIdText, const char* callerThreadId,
                                          bool masked, struct timeval* tv, tagVESK_TLS_VAR* tls) {
  const unsigned count = static_cast<unsigned>(VESK2_iMsgCount.Next());
  PutTwoDigits(buf, count / 100);
  PutTwoDigits(buf + 2, count % 100);
  buf[4] = ' ';
  if (masked) {
    std::memcpy(buf + 5, "****/**/** **:**:**.***", 23);
  } else {
    gettimeofday(tv, nullptr);
    StampInto(buf + 5, *tv, tls);
  }
  std::memset(buf + 28, ' ', 5);
  if (appIsColumn) {
    std::memcpy(buf + 33, appName, 16);
  } else {
    PutColumn<16>(buf + 33, appName);
  }
  buf[49] = ' ';
  std::memcpy(buf + 50, VESK2_szProcessId, 9);
  if (callerThreadId != nullptr) {
    PutColumn<8>(buf + 59, callerThreadId);
    buf[67] = ' ';
  } else {
    std::memcpy(buf + 59, threadIdText, 9);
  }
}

}  // namespace

size_t BuildRecord(tagVESK_TLS_VAR* tls, const RecordFields& f) {
  char* buf = tls->szMsgBuf;
  struct timeval tv;
  // A caller-given null thread id means a blank column, not the own id.
  const char* given = f.ownThreadId ? nullptr : (f.threadId != nullptr ? f.threadId : "");
  VESK_MakeupTraceMessageHeader(buf, f.appName, f.appIsColumn, tls->szThreadId, given, f.masked,
                                &tv, tls);
  size_t pos = 68;
  size_t maxText = kMaxText;
  switch (f.ids) {
    case IdColumns::kNone:
      maxText = kMaxLineText;
      break;
    case IdColumns::kId:
      PutColumn<21>(buf + 68, f.msgId);
      buf[89] = ' ';
      pos = kTextColumn;
      break;
    case IdColumns::kIdAndType:
      PutColumn<16>(buf + 68, f.msgId);
      buf[84] = ' ';
      PutColumn<4>(buf + 85, f.msgType);
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
