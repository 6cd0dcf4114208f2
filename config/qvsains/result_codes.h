// Result codes shared by the configuration library's layers and the command
// tool: 0 on success, else kind (bits 24-31), severity (20-23) and a detail
// (bits 0-19, the errno value where a system call failed).
#pragma once

#include <cstdint>

constexpr uint32_t ERR_SYSCALL = 0x01400000u;
constexpr uint32_t ERR_IN_USE = 0x02400000u;
constexpr uint32_t ERR_END_OF_DATA = 0x03200000u;
constexpr uint32_t ERR_NO_MEMORY = 0x03400000u;
constexpr uint32_t ERR_RETRY = 0x04300000u;
constexpr uint32_t ERR_INVALID = 0x04400000u;
constexpr uint32_t ERR_NO_ENTRY = 0x05300000u;
constexpr uint32_t ERR_READ_FAILED = 0x05400000u;
constexpr uint32_t ERR_DUPLICATE = 0x06300000u;
constexpr uint32_t ERR_NOT_FOUND = 0x06400000u;
constexpr uint32_t ERR_BAD_HANDLE = 0x07400000u;
constexpr uint32_t ERR_NOT_MEMBER = 0x09400000u;
constexpr uint32_t ERR_OUT_OF_RANGE = 0x0a400000u;
constexpr uint32_t ERR_ACCESS = 0x0c400000u;

// The errno detail field holds 20 bits.
inline uint32_t ErrWithErrno(uint32_t kind, int err) {
  return kind | (static_cast<uint32_t>(err) & 0x000fffffu);
}
