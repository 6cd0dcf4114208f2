// How far the writers have got in this trace file: the management record
// says where the current file ends; any other file ends at its end byte.
#include <limits.h>
#include <stdint.h>

#include "instance.h"
#include "mng_record.h"
#include "vesk2_trace_format.h"

namespace mptt {
namespace {

constexpr uint64_t kMaxOffset = static_cast<uint64_t>(LONG_MAX);

enum class ScanState { kWait, kCr, kLine, kFe, kFf, kMark };

// Finds the end byte in [from, to): a 0x1A on a line that follows CR LF, or
// after a two-byte byte-order mark on such a line. A scan that starts in
// mid-file does not know where its first line began, so it waits for CR LF.
long ScanForEnd(const unsigned char* map, long from, long to) {
  ScanState s = from == 0 ? ScanState::kLine : ScanState::kWait;
  for (long i = from; i < to; ++i) {
    const unsigned char c = map[i];
    if (c == '\r') {
      s = ScanState::kCr;
      continue;
    }
    switch (s) {
      case ScanState::kWait:
        break;
      case ScanState::kCr:
        if (c == '\n') s = ScanState::kLine;
        break;
      case ScanState::kLine:
        if (c == VESK2_EOD_BYTE) return i;
        if (c == 0xFE) s = ScanState::kFe;
        if (c == 0xFF) s = ScanState::kFf;
        break;
      case ScanState::kFe:
        if (c == 0xFF) s = ScanState::kMark;
        break;
      case ScanState::kFf:
        if (c == 0xFE) s = ScanState::kMark;
        break;
      case ScanState::kMark:
        if (c == VESK2_EOD_BYTE) return i;
        break;
    }
  }
  return to;
}

// Reads the words the writers guard with their lock: id, byte order, size,
// count, offset and current file.
bool ReadGuardedWords(VESK2_MptTrap* inst, bool locked, uint32_t raw[8]) {
  if (locked && LockManagement(inst) != 0) return false;
  SnapshotRecord(inst, raw, VESK2_MNG_W_ID, VESK2_MNG_W_CUR_FILE + 1);
  if (locked && UnlockManagement(inst) != 0) return false;
  return true;
}

bool Remap(VESK2_MptTrap* inst) {
  if (UnmapTrace(inst) != 0) return false;
  return MapTrace(inst) == 0;
}

}  // namespace

long CurrentOffset(VESK2_MptTrap* inst) {
  if (inst->mngRecord == nullptr) return Fail(inst, VESK2_MPTT_E_STATE), -1;

  uint32_t raw[VESK2_MNG_WORDS];
  MngRecord rec;
  if (!SnapshotRecord(inst, raw, 0, VESK2_MNG_WORDS) || !DecodeRecord(raw, &rec)) {
    return Fail(inst, VESK2_MPTT_E_RECORD), -1;
  }
  const bool locked = (rec.mode & 0xFFu & VESK2_MODE_NO_LOCK) == 0;
  if (locked && rec.lockType != VESK2_MNG_LOCK_NONE && rec.lockType != VESK2_MNG_LOCK_LOCKF) {
    return Fail(inst, VESK2_MPTT_E_RECORD), -1;
  }
  // Mode and lock type keep their snapshot values; the rest is read afresh.
  const uint32_t mode = raw[VESK2_MNG_W_MODE];
  const uint32_t lockType = raw[VESK2_MNG_W_LOCK_TYPE];
  if (!ReadGuardedWords(inst, locked, raw)) return -1;
  raw[VESK2_MNG_W_MODE] = mode;
  raw[VESK2_MNG_W_LOCK_TYPE] = lockType;
  // An offset that does not fit an offset type is no offset into a file of
  // at most 16 MiB and change; only a damaged record holds one.
  if (!DecodeRecord(raw, &rec) || static_cast<uint64_t>(rec.offset) > kMaxOffset) {
    return Fail(inst, VESK2_MPTT_E_RECORD), -1;
  }

  const long writerOffset = static_cast<long>(rec.offset);
  const bool writerHere = rec.curFile == inst->fileNumber;
  if (writerHere) {
    if (inst->mapLength < writerOffset && !Remap(inst)) return -1;
    if (writerOffset >= inst->dataEnd) return inst->dataEnd = writerOffset;
    // The writers have wrapped round into this file and are behind the
    // reader: what they have written now ends at their offset.
  }

  if (inst->traceMap == nullptr || inst->mapLength < static_cast<long>(rec.fileSize) ||
      inst->mapLength < writerOffset) {
    if (!Remap(inst)) return -1;
  }
  if (inst->traceMap == nullptr) return -1;

  if (writerHere) return inst->dataEnd = writerOffset;
  // The writers are in another file: this file's data ends at its end byte.
  const long limit = AccessibleEnd(inst, inst->mapLength);
  if (inst->dataEnd >= limit || inst->traceMap[inst->dataEnd] == VESK2_EOD_BYTE) {
    return inst->dataEnd;
  }
  return inst->dataEnd = ScanForEnd(inst->traceMap, inst->dataEnd, limit);
}

}  // namespace mptt
