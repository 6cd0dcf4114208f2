#include "file_path.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "thread_record.h"
#include "vesk2_trace.h"

namespace vesk {
namespace {

constexpr size_t kPathMax = 4097;

// Copies path up to its last "/" into out; false when there is no directory
// part (no "/", or only a leading one).
bool DirectoryPart(const char* path, char* out) {
  const char* slash = std::strrchr(path, '/');
  if (slash == nullptr || slash == path) return false;
  size_t n = static_cast<size_t>(slash - path);
  if (n >= kPathMax) n = kPathMax - 1;
  std::memcpy(out, path, n);
  out[n] = '\0';
  return true;
}

}  // namespace

int isPathExisting(const char* dir, bool tolerant) {
  struct stat st;
  if (stat(dir, &st) == 0) {
    if (S_ISDIR(st.st_mode)) return 0;
    SetErrPos(VESK2_ERR_NOT_DIRECTORY, 0);
    return -1;
  }
  char parent[kPathMax];
  if (DirectoryPart(dir, parent) && isPathExisting(parent, tolerant) != 0) return -1;
  if (mkdir(dir, 0777) != 0) {
    int err = errno;
    if (!(tolerant && stat(dir, &st) == 0 && S_ISDIR(st.st_mode))) {
      SetErrPos(VESK2_ERR_MKDIR, static_cast<uint32_t>(err));
      return -1;
    }
    return 0;
  }
  // The umask must not narrow a directory other writers share.
  chmod(dir, 0777);
  return 0;
}

int checkFilePath(const char* path, bool tolerant) {
  if (path == nullptr) {
    SetErrPos(VESK2_ERR_ARGUMENT, 0);
    return -1;
  }
  char dir[kPathMax];
  if (!DirectoryPart(path, dir)) return 0;
  return isPathExisting(dir, tolerant);
}

bool generateTraceFileName(char* out, size_t size, const char* prefix, long number) {
  int n = std::snprintf(out, size, "%s%ld.log", prefix, number);
  return n >= 0 && static_cast<size_t>(n) < size;
}

void setOpenedFileMode(int fd, int fileAttr, bool existed) {
  if (fileAttr != -1) {
    fchmod(fd, static_cast<mode_t>(fileAttr));
  } else if (!existed) {
    fchmod(fd, 0666);
  }
}

}  // namespace vesk
