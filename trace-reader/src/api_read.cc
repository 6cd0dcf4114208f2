// Entry points that read the trace file through its mapping, bounded by the
// end of data last worked out by ZELKWSYM_MpttGetCurrentOffset.
#include <limits.h>
#include <string.h>

#include "instance.h"

namespace mptt {
long CurrentOffset(VESK2_MptTrap* inst);  // data_end.cc
}

namespace {

// End of what may be read: the data end, inside the mapping and the file.
long ReadableEnd(VESK2_MptTrap* inst) {
  const long end = inst->dataEnd < inst->mapLength ? inst->dataEnd : inst->mapLength;
  if (inst->position >= end) return end;
  return mptt::AccessibleEnd(inst, end);
}

}  // namespace

MPTT_API long ZELKWSYM_MpttGetCurrentOffset(VESK2_MptTrap_t* inst) {
  if (inst == nullptr) return mptt::FailNull(), -1;
  return mptt::CurrentOffset(inst);
}

MPTT_API long ZELKWSYM_MpttRead(VESK2_MptTrap_t* inst, void* buffer, long length) {
  if (inst == nullptr) return mptt::FailNull(), 0;
  if (!inst->isOpen) return mptt::Fail(inst, VESK2_MPTT_E_STATE), 0;
  if (buffer == nullptr || length < 0) return mptt::Fail(inst, VESK2_MPTT_E_INVALID), 0;
  const long end = ReadableEnd(inst);
  if (inst->position >= end) return 0;
  const long n = end - inst->position < length ? end - inst->position : length;
  memcpy(buffer, inst->traceMap + inst->position, static_cast<size_t>(n));
  inst->position += n;
  return n;
}

MPTT_API int ZELKWSYM_MpttGetChar(VESK2_MptTrap_t* inst) {
  if (inst == nullptr) return mptt::FailNull(), -1;
  if (!inst->isOpen) return mptt::Fail(inst, VESK2_MPTT_E_STATE), -1;
  if (inst->position >= ReadableEnd(inst)) return -1;
  return inst->traceMap[inst->position++];
}

MPTT_API long ZELKWSYM_MpttGetLine(VESK2_MptTrap_t* inst, char* buffer, long size) {
  if (inst == nullptr) return mptt::FailNull(), 0;
  if (!inst->isOpen) return mptt::Fail(inst, VESK2_MPTT_E_STATE), 0;
  if (buffer == nullptr || size < 0) return mptt::Fail(inst, VESK2_MPTT_E_INVALID), 0;
  const long end = ReadableEnd(inst);
  if (inst->position >= end || size == 0) return 0;
  long avail = end - inst->position;
  if (avail > size - 1) avail = size - 1;
  const unsigned char* from = inst->traceMap + inst->position;
  const void* nl = memchr(from, '\n', static_cast<size_t>(avail));
  const long n = nl ? static_cast<const unsigned char*>(nl) - from + 1 : avail;
  memcpy(buffer, from, static_cast<size_t>(n));
  buffer[n] = '\0';
  inst->position += n;
  return n;
}

MPTT_API int ZELKWSYM_MpttSeek(VESK2_MptTrap_t* inst, long offset, int origin) {
  if (inst == nullptr) return mptt::FailNull();
  if (!inst->isOpen) return mptt::Fail(inst, VESK2_MPTT_E_STATE);
  long target = 0;
  switch (origin) {
    case VESK2_MPTT_SEEK_SET:
      if (offset < 0) return mptt::Fail(inst, VESK2_MPTT_E_SEEK);
      target = offset;
      break;
    case VESK2_MPTT_SEEK_CUR:
      if (__builtin_add_overflow(inst->position, offset, &target) || target < 0) {
        return mptt::Fail(inst, VESK2_MPTT_E_SEEK);
      }
      break;
    case VESK2_MPTT_SEEK_END:
      if (offset > 0) return mptt::Fail(inst, VESK2_MPTT_E_SEEK);
      target = inst->mapLength + offset;  // mapLength >= 0 and offset <= 0: no overflow
      if (target < 0) return mptt::Fail(inst, VESK2_MPTT_E_SEEK);
      break;
    default:
      return mptt::Fail(inst, VESK2_MPTT_E_INVALID);
  }
  if (target > inst->mapLength) return mptt::Fail(inst, VESK2_MPTT_E_SEEK);
  inst->position = target;
  return 0;
}

MPTT_API long ZELKWSYM_MpttTell(VESK2_MptTrap_t* inst) {
  if (inst == nullptr) return mptt::FailNull(), -1;
  if (!inst->isOpen) return mptt::Fail(inst, VESK2_MPTT_E_STATE), -1;
  return inst->position;
}
