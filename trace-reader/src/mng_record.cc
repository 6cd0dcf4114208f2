#include "mng_record.h"

#include <string.h>

#include "vesk2_trace_format.h"

namespace mptt {
namespace {

uint32_t Swap(uint32_t v) { return __builtin_bswap32(v); }

bool Valid(const MngRecord& r) {
  return r.fileSize >= VESK2_MNG_MIN_FILE_SIZE && r.fileSize <= VESK2_MNG_MAX_FILE_SIZE &&
         r.fileNum >= 1 && r.fileNum <= VESK2_MNG_MAX_FILE_NUM && r.curFile >= 1 &&
         r.curFile <= r.fileNum;
}

MngRecord Convert(const uint32_t raw[8], bool swap) {
  auto word = [&](int i) { return swap ? Swap(raw[i]) : raw[i]; };
  MngRecord r;
  r.fileSize = word(VESK2_MNG_W_FILE_SIZE);
  r.fileNum = static_cast<int32_t>(word(VESK2_MNG_W_FILE_NUM));
  r.offset = word(VESK2_MNG_W_OFFSET);
  r.curFile = static_cast<int32_t>(word(VESK2_MNG_W_CUR_FILE));
  r.mode = word(VESK2_MNG_W_MODE);
  r.lockType = word(VESK2_MNG_W_LOCK_TYPE);
  return r;
}

}  // namespace

bool DecodeRecord(const uint32_t raw[8], MngRecord* out) {
  // The id is four letters, compared as bytes in either byte order.
  if (memcmp(&raw[VESK2_MNG_W_ID], VESK2_MNG_ID, VESK2_MNG_ID_LEN) != 0) return false;
  const uint32_t mark = raw[VESK2_MNG_W_BYTE_ORDER];
  MngRecord r;
  if (mark == VESK2_MNG_BYTE_ORDER) {
    r = Convert(raw, false);
  } else if (mark == VESK2_MNG_BYTE_ORDER_SWAPPED) {
    r = Convert(raw, true);
  } else if (mark == 0) {
    r = Convert(raw, false);
    if (!Valid(r)) r = Convert(raw, true);
  } else {
    return false;
  }
  if (!Valid(r)) return false;
  *out = r;
  return true;
}

}  // namespace mptt
