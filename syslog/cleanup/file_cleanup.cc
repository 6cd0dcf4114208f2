#include "cleanup/file_cleanup.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#include "cleanup/found_file_list.h"

namespace vesk_sys {
namespace {

// The directory part of the pattern: everything up to and including the
// last "/", or "./" without one. Wild cards are effective only after it.
std::string DirectoryPart(const char* pattern) {
  const char* slash = std::strrchr(pattern, '/');
  if (slash == nullptr) return "./";
  return std::string(pattern, static_cast<size_t>(slash - pattern) + 1);
}

// Deletes the file unless it cannot be opened for reading and writing or
// another process holds a lock on it. Returns 0 or the errno of unlink.
int GuardedDelete(const char* path) {
  int fd = ::open(path, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return 0;
  int result = 0;
  if (::lockf(fd, F_TEST, 0) == 0 && ::unlink(path) != 0) result = errno;
  ::close(fd);
  return result;
}

bool TooLong(const std::string& dir, const char* name) {
  return dir.size() + std::strlen(name) >= kPathBufferSize;
}

// Calls onMatch(path, mtime) for every non-directory entry of the pattern's
// directory that the whole pattern matches, in directory order. Returns 0,
// the errno of opendir or stat (the scan stops there), or ENAMETOOLONG
// before anything is reported when a path would not fit a path buffer.
template <typename OnMatch>
int ScanMatches(const char* pattern, OnMatch&& onMatch) {
  if (pattern == nullptr) return EINVAL;
  if (std::strlen(pattern) >= kPathBufferSize) return ENAMETOOLONG;
  const std::string dir = DirectoryPart(pattern);
  DIR* stream = ::opendir(dir.c_str());
  if (stream == nullptr) return errno;
  int result = 0;
  // Only a directory part close to the limit can produce an over-long path;
  // look before touching anything so that such a call changes nothing.
  if (dir.size() + NAME_MAX >= kPathBufferSize) {
    while (const dirent* entry = ::readdir(stream)) {
      if (TooLong(dir, entry->d_name)) result = ENAMETOOLONG;
    }
    ::rewinddir(stream);
  }
  std::string path;
  while (result == 0) {
    // readdir is safe here: the stream is this call's own.
    const dirent* entry = ::readdir(stream);
    if (entry == nullptr) break;
    path.assign(dir).append(entry->d_name);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
      result = errno;
      break;
    }
    if (S_ISDIR(info.st_mode)) continue;
    if (::fnmatch(pattern, path.c_str(), 0) != 0) continue;
    onMatch(path.c_str(), static_cast<long>(info.st_mtime));
  }
  ::closedir(stream);
  return result;
}

}  // namespace

int FileCleanupByTime(const char* pattern, int ageSeconds) {
  if (ageSeconds < 0) return 0;
  const long limit = static_cast<long>(std::time(nullptr)) - ageSeconds;
  int lastFailure = 0;
  int scan = ScanMatches(pattern, [&](const char* path, long mtime) {
    if (mtime <= limit) {
      int failure = GuardedDelete(path);
      if (failure != 0) lastFailure = failure;
    }
  });
  return scan != 0 ? scan : lastFailure;
}

int FileCleanupByNum(const char* pattern, int keep) {
  VESKFindFileList_vesksys found;
  int scan =
      ScanMatches(pattern, [&](const char* path, long mtime) { found.addElement(path, mtime); });
  if (scan != 0) return scan;
  const VESKFindFileInfo_vesksys* entry = found.head();
  for (int kept = 0; entry != nullptr && kept < keep; ++kept) entry = entry->next;
  int lastFailure = 0;
  for (; entry != nullptr; entry = entry->next) {
    int failure = GuardedDelete(entry->filePath);
    if (failure != 0) lastFailure = failure;
  }
  return lastFailure;
}

}  // namespace vesk_sys
