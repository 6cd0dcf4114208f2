// Copying a text result into a caller buffer under the size in/out convention.
#pragma once

#include <cstddef>
#include <cstring>

// Truncating copy: stores at most capacity-1 bytes and a NUL.
inline void TextOutTruncate_l2(const char* text, size_t length, char* buffer, size_t* size) {
  if (buffer != nullptr && *size > 0) {
    size_t n = length < *size - 1 ? length : *size - 1;
    memcpy(buffer, text, n);
    buffer[n] = '\0';
  }
  *size = length + 1;
}

// Non-truncating copy: stores the first capacity bytes of text and its NUL,
// so a result that does not fit is left unterminated.
inline void TextOutWhole_l2(const char* text, size_t length, char* buffer, size_t* size) {
  if (buffer != nullptr) {
    size_t n = length + 1 < *size ? length + 1 : *size;
    memcpy(buffer, text, n);
  }
  *size = length + 1;
}
