// The growing output text of a command: capacity grows in steps of 1,024
// bytes as far as each appended piece needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class VedBuffer {
 public:
  VedBuffer();
  const std::string& text() const { return text_; }

  // Appends length bytes (NUL bytes included as given). ERR_INVALID for a
  // NULL or empty piece, ERR_NO_MEMORY when the text cannot grow.
  uint32_t Append(const char* piece, size_t length);
  uint32_t Append(const std::string& piece) { return Append(piece.data(), piece.size()); }

 private:
  std::string text_;
};
