// Reading the daemon's line prefix "[yyyy-mm-dd hh:mm:ss:mmm][tid] " back.
#pragma once

#include <cctype>
#include <string>

namespace tw::test {

// Length of the prefix at the start of `text` (0 when there is none); the
// thread id, lower-case hex, goes to *tid.
inline size_t DaemonPrefixLength(const std::string& text, std::string* tid = nullptr) {
  static const char kShape[] = "[dddd-dd-dd dd:dd:dd:ddd][";
  size_t i = 0;
  for (; kShape[i] != '\0'; ++i) {
    if (i >= text.size()) return 0;
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (kShape[i] == 'd' ? !std::isdigit(c) : text[i] != kShape[i]) return 0;
  }
  const size_t start = i;
  while (i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) ||
                             (text[i] >= 'a' && text[i] <= 'f'))) {
    ++i;
  }
  if (i == start || text.compare(i, 2, "] ") != 0) return 0;
  if (tid != nullptr) *tid = text.substr(start, i - start);
  return i + 2;
}

// The text after the prefix, or "<no prefix: ...>" so that a comparison
// failure shows the whole line.
inline std::string AfterDaemonPrefix(const std::string& text, std::string* tid = nullptr) {
  const size_t n = DaemonPrefixLength(text, tid);
  return n == 0 ? "<no prefix: " + text + ">" : text.substr(n);
}

}  // namespace tw::test
