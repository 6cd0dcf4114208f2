// Maintenance entry points: a ring copied into one backup file, and old
// log files deleted by age or by count.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "api.h"
#include "log_file.h"
#include "state.h"

using namespace vesk;

namespace {

constexpr size_t kPathSize = 4097;

int VESK2_Sub_TraceBackup(const char* path, int mode) {
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  ClearError(tls);
  if (mode != 0 && mode != 16) {
    SetErrPos(tls, VESK2_ERR_ARGUMENT, 0);
    return -1;
  }
  // Flushed first so that the copy holds every record written before.
  if (ZELKWSYM_FileBufferFlush() != 0) return -1;
  LockGuard lock;
  VeskRing* ring = VESK2_pLogFile != nullptr ? VESK2_pLogFile : VESK2_pMultiLogFile;
  if (ring == nullptr) {
    SetErrPos(tls, VESK2_ERR_STATE, 0);
    return -1;
  }
  return ring->backupToFile(path, mode);
}

int VESK2_Sub_InstanceTraceBackup(VESKTraceObject* obj, const char* path, int mode) {
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  ClearError(tls);
  if (obj == nullptr || (mode != 0 && mode != 16)) {
    SetErrPos(tls, VESK2_ERR_ARGUMENT, 0);
    return -1;
  }
  if (ZELKWSYM_InstanceFileBufferFlush(obj) != 0) return -1;
  LockGuard lock;
  if (obj->isInvalid() || obj->ring() == nullptr) {
    SetErrPos(tls, VESK2_ERR_STATE, 0);
    return -1;
  }
  return obj->ring()->backupToFile(path, mode);
}

int WithPosition(int result, uint32_t position) {
  if (result != 0) SetPosition(VESK_GetTlsVar(), position);
  return result;
}

// The pattern up to and including its last "/", or "./".
void DirectoryPart(const char* pattern, char* dir) {
  const char* slash = std::strrchr(pattern, '/');
  if (slash == nullptr) {
    std::strcpy(dir, "./");
    return;
  }
  size_t n = static_cast<size_t>(slash - pattern) + 1;
  std::memcpy(dir, pattern, n);
  dir[n] = '\0';
}

bool BuildPath(char* out, const char* dir, const char* name) {
  size_t a = std::strlen(dir), b = std::strlen(name);
  if (a + b >= kPathSize) return false;  // outside the contract: not a candidate
  std::memcpy(out, dir, a);
  std::memcpy(out + a, name, b + 1);
  return true;
}

// Deletes path unless another process holds a lock on it, it cannot be
// opened for reading and writing, or a ring of this process writes it.
// -1 with code 8 when unlink fails.
int GuardedDelete(const char* path, const struct stat& st) {
  {
    LockGuard lock;
    // Opening and closing it here would silently drop the ring's own lock.
    if (VeskLogFile::HeldInProcess(st.st_dev, st.st_ino)) return 0;
  }
  int fd = open(path, O_RDWR | O_CLOEXEC);
  if (fd < 0) return 0;
  int result = 0;
  if (lockf(fd, F_TEST, 0) == 0) {
    if (unlink(path) != 0) {
      SetErrPos(VESK2_ERR_UNLINK, static_cast<uint32_t>(errno));
      result = -1;
    }
  }
  close(fd);
  return result;
}

// Calls visit(path, stat) for every non-directory entry matching pattern;
// -1 when the directory cannot be opened (13) or an entry not stat'ed (20).
template <typename Visit>
int Scan(const char* pattern, Visit visit) {
  char dir[kPathSize];
  DirectoryPart(pattern, dir);
  DIR* d = opendir(dir);
  if (d == nullptr) {
    SetErrPos(VESK2_ERR_OPENDIR, static_cast<uint32_t>(errno));
    return -1;
  }
  int result = 0;
  char path[kPathSize];
  while (struct dirent* e = readdir(d)) {
    if (!BuildPath(path, dir, e->d_name)) continue;
    struct stat st;
    if (stat(path, &st) != 0) {
      SetErrPos(VESK2_ERR_STAT, static_cast<uint32_t>(errno));
      result = -1;
      break;
    }
    if (S_ISDIR(st.st_mode) || fnmatch(pattern, path, 0) != 0) continue;
    if (!visit(path, st)) break;
  }
  closedir(d);
  return result;
}

int VESK_DeleteLogByTime(const char* pattern, int seconds) {
  const time_t limit = time(nullptr) - seconds;
  int result = 0;
  if (Scan(pattern, [&](const char* path, const struct stat& st) {
        if (st.st_mtime <= limit && GuardedDelete(path, st) != 0) result = -1;
        return true;
      }) != 0) {
    return -1;
  }
  return result;
}

struct VESKFindFileInfo {
  long fileTime;
  char filePath[kPathSize];
  struct stat st;
  VESKFindFileInfo* next;
};

struct VESKFindFileList {
  VESKFindFileInfo* head = nullptr;
  int count = 0;
  ~VESKFindFileList() { clear(); }
  // Newest first; among equal times the one found later comes first.
  void addElement(const char* path, const struct stat& st) {
    auto* e = static_cast<VESKFindFileInfo*>(std::malloc(sizeof(VESKFindFileInfo)));
    if (e == nullptr) {
      SetErrPos(VESK2_ERR_NO_MEMORY, static_cast<uint32_t>(errno));
      return;
    }
    e->fileTime = static_cast<long>(st.st_mtime);
    std::strcpy(e->filePath, path);
    e->st = st;
    VESKFindFileInfo** at = &head;
    while (*at != nullptr && (*at)->fileTime > e->fileTime) at = &(*at)->next;
    e->next = *at;
    *at = e;
    ++count;
  }
  void clear() {
    while (head != nullptr) {
      VESKFindFileInfo* next = head->next;
      std::free(head);
      head = next;
    }
    count = 0;
  }
};

int VESK_DeleteLogByNumber(const char* pattern, int keep) {
  VESKFindFileList list;
  if (Scan(pattern, [&](const char* path, const struct stat& st) {
        list.addElement(path, st);
        return true;
      }) != 0) {
    return -1;  // nothing deleted when the scan failed
  }
  VESKFindFileInfo* e = list.head;
  for (int i = 0; i < keep && e != nullptr; ++i) e = e->next;
  int result = 0;
  for (; e != nullptr; e = e->next) {
    if (GuardedDelete(e->filePath, e->st) != 0) result = -1;
  }
  return result;
}

}  // namespace

VESK_API int ZELKWSYM_TraceBackup(const char* path) {
  return WithPosition(VESK2_Sub_TraceBackup(path, 0), VESK2_POS_TRACE_BACKUP);
}

VESK_API int ZELKWSYM_TraceBackupM(const char* path, int mode) {
  return WithPosition(VESK2_Sub_TraceBackup(path, mode), VESK2_POS_TRACE_BACKUP_M);
}

VESK_API int ZELKWSYM_InstanceTraceBackup(VESKTraceObject* obj, const char* path) {
  return WithPosition(VESK2_Sub_InstanceTraceBackup(obj, path, 0), VESK2_POS_INSTANCE_TRACE_BACKUP);
}

VESK_API int ZELKWSYM_InstanceTraceBackupM(VESKTraceObject* obj, const char* path, int mode) {
  return WithPosition(VESK2_Sub_InstanceTraceBackup(obj, path, mode),
                      VESK2_POS_INSTANCE_TRACE_BACKUP_M);
}

VESK_API int ZELKWSYM_LogFileClear(const char* pattern, int method, int value) {
  CancelGuard noCancel;  // directory scans and opens run outside the lock
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  ClearError(tls);
  if (pattern == nullptr || strnlen(pattern, kPathSize) >= kPathSize || value < 0 ||
      (method != 1 && method != 2)) {
    SetError(tls, VESK2_POS_LOG_FILE_CLEAR, VESK2_ERR_ARGUMENT);
    return -1;
  }
  int result =
      method == 1 ? VESK_DeleteLogByTime(pattern, value) : VESK_DeleteLogByNumber(pattern, value);
  return WithPosition(result, VESK2_POS_LOG_FILE_CLEAR);
}
