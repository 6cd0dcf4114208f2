// The fixed 1024-byte message a put assembles on the stack: parts are
// appended with a bounded copy, and the first part that fills the buffer
// ends the message (the parts after it are dropped).
#pragma once

#include <cstddef>
#include <cstring>

namespace vesk_sys {

class MessageBuffer {
 public:
  static constexpr size_t kSize = 1024;

  // Appends the part (null counts as empty). Returns false once the buffer
  // is full, i.e. the message must be sent without further parts.
  bool Append(const char* part) {
    size_t space = kSize - used_;
    if (space <= 1) return false;
    if (part == nullptr) part = "";
    size_t n = strnlen(part, space);
    if (n >= space - 1) {
      std::memcpy(buf_ + used_, part, space - 1);
      used_ = kSize - 1;
      buf_[used_] = '\0';
      return false;
    }
    std::memcpy(buf_ + used_, part, n);
    used_ += n;
    buf_[used_] = '\0';
    return true;
  }

  const char* c_str() const { return buf_; }
  size_t size() const { return used_; }

 private:
  char buf_[kSize] = {0};
  size_t used_ = 0;
};

}  // namespace vesk_sys
