#include "ved_buffer.h"

#include <new>
#include <stdexcept>

#include "result_codes.h"

namespace {
constexpr size_t kStep = 1024;
}

VedBuffer::VedBuffer() { text_.reserve(kStep); }

uint32_t VedBuffer::Append(const char* piece, size_t length) {
  if (piece == nullptr || length == 0) return ERR_INVALID;
  try {
    const size_t needed = text_.size() + length + 1;
    if (needed > text_.capacity()) text_.reserve((needed + kStep - 1) / kStep * kStep);
    text_.append(piece, length);
  } catch (const std::bad_alloc&) {
    return ERR_NO_MEMORY;
  } catch (const std::length_error&) {
    return ERR_NO_MEMORY;
  }
  return 0;
}
