// Building one record into the thread's buffer: the part of every put that
// runs per record. Forced inline into each put entry point, so that the
// put's fixed choices (which columns, whose name, whether the time is
// masked) are settled at compile time and no call is made between the
// entry and the ring.
#pragma once

#include <sys/time.h>

#include <cstddef>
#include <cstring>

#include "record.h"
#include "state.h"

#define VESK_RECORD_INLINE [[gnu::always_inline]] inline

namespace vesk {
namespace record_detail {

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
inline constexpr DigitPairs kDigitPairs;

inline void PutTwoDigits(char* out, unsigned value) {
  std::memcpy(out, kDigitPairs.text + 2 * value, 2);
}

inline void PutMilliseconds(char* out, unsigned milli) {
  out[0] = static_cast<char>('0' + milli / 100);
  PutTwoDigits(out + 1, milli % 100);
}

// The thread's last stamp serves while the second lasts; only the
// milliseconds change, and only when they do.
VESK_RECORD_INLINE void StampInto(char* out, const struct timeval& tv, tagVESK_TLS_VAR* cache) {
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

// Columns 0..66 (counter, time, application, process, thread) plus column 67
// where the thread id is caller-given; own thread id text brings its space.
VESK_RECORD_INLINE void VESK_MakeupTraceMessageHeader(char* buf, const RecordFields& f,
                                                      const char* callerThreadId,
                                                      tagVESK_TLS_VAR* tls) {
  const unsigned count = static_cast<unsigned>(VESK2_iMsgCount.Next());
  PutTwoDigits(buf, count / 100);
  PutTwoDigits(buf + 2, count % 100);
  buf[4] = ' ';
  if (f.masked) {
    std::memcpy(buf + 5, "****/**/** **:**:**.***", 23);
  } else {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    StampInto(buf + 5, tv, tls);
  }
  std::memset(buf + 28, ' ', 5);
  if (f.appIsColumn) {
    std::memcpy(buf + 33, f.appName, 16);
  } else {
    PutColumn<16>(buf + 33, f.appName);
  }
  buf[49] = ' ';
  std::memcpy(buf + 50, VESK2_szProcessId, 9);
  if (callerThreadId != nullptr) {
    PutColumn<8>(buf + 59, callerThreadId);
    buf[67] = ' ';
  } else {
    std::memcpy(buf + 59, tls->szThreadId, 9);
  }
}

}  // namespace record_detail

// Builds the whole record into the thread's buffer and returns its length
// without the NUL. The thread-safe builds call it under the library lock,
// which guards the record counter.
VESK_RECORD_INLINE size_t BuildRecord(tagVESK_TLS_VAR* tls, const RecordFields& f) {
  char* buf = tls->szMsgBuf;
  // A caller-given null thread id means a blank column, not the own id.
  const char* given = f.ownThreadId ? nullptr : (f.threadId != nullptr ? f.threadId : "");
  record_detail::VESK_MakeupTraceMessageHeader(buf, f, given, tls);
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

#undef VESK_RECORD_INLINE
