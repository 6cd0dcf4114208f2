// Decoding of the management record with its byte-order rule.
#pragma once

#include <stdint.h>

namespace mptt {

struct MngRecord {
  uint32_t fileSize;
  int32_t fileNum;
  uint32_t offset;
  int32_t curFile;
  uint32_t mode;
  uint32_t lockType;
};

// Decodes the eight words as read from the file. The byte-order word decides:
// the native mark, the swapped mark (every numeric word is swapped), or no
// mark (native if that is valid, else swapped). Returns false for any other
// mark or a record that fails the validity test.
bool DecodeRecord(const uint32_t raw[8], MngRecord* out);

}  // namespace mptt
