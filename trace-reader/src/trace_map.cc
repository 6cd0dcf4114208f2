// Read-only shared mapping of the trace file.
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "instance.h"
#include "mng_record.h"
#include "vesk2_trace_format.h"

namespace mptt {

int UnmapTrace(VESK2_MptTrap* inst) {
  if (inst->traceMap != nullptr) {
    if (munmap(const_cast<unsigned char*>(inst->traceMap), inst->mapLength) != 0) {
      return Fail(inst, VESK2_MPTT_E_UNMAP);
    }
    inst->traceMap = nullptr;
    inst->mapLength = 0;
    inst->fileLength = 0;
  }
  if (inst->traceFd >= 0) {
    const int fd = inst->traceFd;
    inst->traceFd = -1;  // Linux frees the descriptor even when close fails
    if (close(fd) != 0) return Fail(inst, VESK2_MPTT_E_CLOSE);
  }
  return 0;
}

int MapTrace(VESK2_MptTrap* inst) {
  if (inst->traceFd < 0) {
    inst->traceFd = open(inst->tracePath, O_RDONLY | O_CLOEXEC);
    if (inst->traceFd < 0) {
      return Fail(inst, errno == ENOENT ? VESK2_MPTT_E_NOT_FOUND : VESK2_MPTT_E_OPEN);
    }
  }
  // The status of the descriptor, not of the path: the path may name a newer
  // file by now, and this descriptor is what gets mapped.
  struct stat st;
  if (fstat(inst->traceFd, &st) != 0) {
    UnmapTrace(inst);
    return Fail(inst, VESK2_MPTT_E_STAT);
  }
  const long size = st.st_size < kMaxMap ? static_cast<long>(st.st_size) : kMaxMap;
  long length = size;
  void* map = MAP_FAILED;
  if (length > 0) map = mmap(nullptr, length, PROT_READ, MAP_SHARED, inst->traceFd, 0);
  if (map == MAP_FAILED && inst->mngRecord != nullptr) {
    // An empty file (a writer is still preparing it) is mapped at the ring's
    // file size, so that it need not be mapped again once it is filled.
    uint32_t raw[VESK2_MNG_WORDS];
    MngRecord rec;
    if (SnapshotRecord(inst, raw, 0, VESK2_MNG_WORDS) && DecodeRecord(raw, &rec)) {
      length = static_cast<long>(rec.fileSize);
      map = mmap(nullptr, length, PROT_READ, MAP_SHARED, inst->traceFd, 0);
    }
  }
  if (map == MAP_FAILED) {
    UnmapTrace(inst);
    return Fail(inst, VESK2_MPTT_E_MAP);
  }
  inst->traceMap = static_cast<const unsigned char*>(map);
  inst->mapLength = length;
  inst->fileLength = size < length ? size : length;
  return 0;
}

long AccessibleEnd(VESK2_MptTrap* inst, long want) {
  if (want <= inst->fileLength) return want;
  struct stat st;
  if (inst->traceFd >= 0 && fstat(inst->traceFd, &st) == 0) {
    inst->fileLength =
        st.st_size < inst->mapLength ? static_cast<long>(st.st_size) : inst->mapLength;
  }
  return want < inst->fileLength ? want : inst->fileLength;
}

}  // namespace mptt
