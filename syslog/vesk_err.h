// The library's result encoding: (operation << 24) | (errno & 0xFFFFFF).
#pragma once

namespace vesk_sys {

class VeskErr {
 public:
  static constexpr int kOpCreateInstance = 101;
  static int GetErrorCode(int error, int operation) {
    return static_cast<int>((static_cast<unsigned>(operation) << 24) |
                            (static_cast<unsigned>(error) & 0xFFFFFFu));
  }
  static int GetLastError();
};

}  // namespace vesk_sys
