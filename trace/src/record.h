// The fixed-column text record every put builds (layout in
// docs/trace-formats.md).
#pragma once

#include <sys/time.h>

#include <cstddef>
#include <cstring>

#include "thread_record.h"

namespace vesk {

inline constexpr size_t kMaxText = 4095;      // text of the id puts
inline constexpr size_t kMaxLineText = 4117;  // text of the Line puts
inline constexpr size_t kTextColumn = 90;
inline constexpr size_t kLineTextColumn = 68;

enum class IdColumns { kNone, kId, kIdAndType };

struct RecordFields {
  const char* appName = nullptr;   // null: 16 spaces
  bool appIsColumn = false;        // appName is the library's own 16-column copy
  bool ownThreadId = true;         // false: threadId is the caller's text
  const char* threadId = nullptr;  // caller's text; null: blank column
  const char* msgId = nullptr;
  const char* msgType = nullptr;
  const char* text = "";
  IdColumns ids = IdColumns::kId;
  bool masked = false;  // time-stamp mode 1: stars instead of the time
};

// Writes exactly width decimal digits of value (>= 0), right-aligned with
// leading zeros, dropping higher digits; nothing for width < 1.
char* VESK2_IntToStr(char* buf, long value, int width);

// "yyyy/mm/dd hh:mm:ss.sss" (23 characters, no NUL) of tv in local time, or
// the hyphen pattern when the conversion fails. With a thread record, the
// text of the second is reused while the second lasts.
void FormatTimeStamp(char* out, const struct timeval& tv, tagVESK_TLS_VAR* cache = nullptr);

// Copies at most width characters of src (null: none) and pads with spaces.
void PutPadded(char* dst, const char* src, size_t width);

// The same for the record's narrow columns, inline: the width is known, so
// the padding is a few stores instead of a call.
template <size_t Width>
inline void PutColumn(char* dst, const char* src) {
  std::memset(dst, ' ', Width);
  if (src == nullptr) return;
  std::memcpy(dst, src, strnlen(src, Width));
}

// The stamp of a second the cache does not hold (or without a cache):
// the whole text through localtime_r, stored in the cache if given.
void FormatNewSecond(char* out, const struct timeval& tv, unsigned milli, tagVESK_TLS_VAR* cache);

}  // namespace vesk
