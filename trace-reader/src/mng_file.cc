// The management file: deriving its path, mapping its record read-only, and
// the writers' lockf lock, polled without ever blocking.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "instance.h"
#include "mng_path.h"
#include "vesk2_trace_format.h"

namespace mptt {
namespace {

// Opens a management path read-write (lockf needs a writable descriptor).
// Returns the descriptor, or -1 with errno.
int OpenPath(const char* path) { return open(path, O_RDWR | O_CLOEXEC); }

// First open: tries the one-digit and then the two-digit file number.
int DeriveAndOpen(VESK2_MptTrap* inst) {
  const size_t len = strlen(inst->tracePath);
  if (!HasTraceFileForm(inst->tracePath, len)) return VESK2_MPTT_E_PATH;
  for (int digits = 1; digits <= 2; ++digits) {
    int number = 0;
    if (!ManagementPathFor(inst->tracePath, len, digits, inst->mngPath, &number)) continue;
    const int fd = OpenPath(inst->mngPath);
    if (fd >= 0) {
      inst->mngFd = fd;
      inst->fileNumber = number;
      inst->mngPathKnown = 1;
      return 0;
    }
    if (errno != ENOENT) return VESK2_MPTT_E_OPEN;
  }
  inst->mngPath[0] = '\0';
  return VESK2_MPTT_E_NOT_FOUND;
}

void SleepMs(int ms) {
  if (ms >= 1000) sleep(static_cast<unsigned>(ms / 1000));
  if (ms % 1000 != 0) usleep(static_cast<useconds_t>(ms % 1000) * 1000);
}

}  // namespace

int OpenManagement(VESK2_MptTrap* inst) {
  int rc = 0;
  if (!inst->mngPathKnown) {
    rc = DeriveAndOpen(inst);
  } else if (inst->mngFd < 0) {
    inst->mngFd = OpenPath(inst->mngPath);
    if (inst->mngFd < 0) rc = errno == ENOENT ? VESK2_MPTT_E_NOT_FOUND : VESK2_MPTT_E_OPEN;
  }
  if (rc != 0) return Fail(inst, rc);
  void* map = mmap(nullptr, VESK2_MNG_FILE_SIZE, PROT_READ, MAP_SHARED, inst->mngFd, 0);
  if (map == MAP_FAILED) {
    CloseManagement(inst);
    return Fail(inst, VESK2_MPTT_E_MAP);
  }
  inst->mngRecord = static_cast<const uint32_t*>(map);
  inst->mngComplete = 0;
  return 0;
}

int CloseManagement(VESK2_MptTrap* inst) {
  if (inst->mngRecord != nullptr) {
    if (munmap(const_cast<uint32_t*>(inst->mngRecord), VESK2_MNG_FILE_SIZE) != 0) {
      return Fail(inst, VESK2_MPTT_E_UNMAP);
    }
    inst->mngRecord = nullptr;
  }
  if (inst->mngFd >= 0) {
    const int fd = inst->mngFd;
    inst->mngFd = -1;
    if (close(fd) != 0) return Fail(inst, VESK2_MPTT_E_CLOSE);
  }
  inst->dataEnd = 0;
  return 0;
}

bool SnapshotRecord(VESK2_MptTrap* inst, uint32_t raw[8], int first, int count) {
  if (!inst->mngComplete) {
    struct stat st;
    if (fstat(inst->mngFd, &st) != 0 || st.st_size < VESK2_MNG_FILE_SIZE) return false;
    inst->mngComplete = 1;
  }
  // Word by word: writers in other processes update single words in place.
  for (int i = first; i < first + count; ++i) {
    raw[i] = __atomic_load_n(&inst->mngRecord[i], __ATOMIC_RELAXED);
  }
  return true;
}

int LockManagement(VESK2_MptTrap* inst) {
  // lockf works from the descriptor's offset, which stays 0: nothing reads it.
  for (int attempt = 1;; ++attempt) {
    if (lockf(inst->mngFd, F_TLOCK, 0) == 0) return 0;
    if (attempt >= inst->lockRetryTimes) return Fail(inst, VESK2_MPTT_E_LOCK);
    SleepMs(inst->lockSleepTime);
  }
}

int UnlockManagement(VESK2_MptTrap* inst) {
  if (lockf(inst->mngFd, F_ULOCK, 0) != 0) return Fail(inst, VESK2_MPTT_E_LOCK);
  return 0;
}

}  // namespace mptt
