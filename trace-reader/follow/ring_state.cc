#include "ring_state.h"

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <sys/stat.h>
#include <unistd.h>

#include "vesk2_trace_format.h"

namespace follow {

RingPaths PathsForPrefix(const std::string& prefix) {
  RingPaths p;
  p.prefix = prefix;
  const size_t slash = prefix.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : prefix.substr(0, slash);
  const std::string base = slash == std::string::npos ? prefix : prefix.substr(slash + 1);
  p.mngFile = dir + "/" VESK2_MMAP_DIR_NAME "/" + base + VESK2_MNG_FILE_SUFFIX;
  return p;
}

std::string TraceFilePath(const RingPaths& paths, int n) {
  return paths.prefix + std::to_string(n) + VESK2_TRACE_FILE_SUFFIX;
}

std::string ReaderManagementPath(const RingPaths& paths, int n) {
  if (n < 10) return paths.mngFile;
  // The library tries <prefix><first digit> as the ring first.
  const RingPaths shadow = PathsForPrefix(paths.prefix + std::to_string(n / 10));
  struct stat st;
  if (n % 10 != 0 && stat(shadow.mngFile.c_str(), &st) == 0) return shadow.mngFile;
  return paths.mngFile;
}

bool HasData(const RingPaths& paths, int n) {
  const int fd = open(TraceFilePath(paths, n).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  unsigned char first = 0;
  const bool data = pread(fd, &first, 1, 0) == 1 && first != VESK2_EOD_BYTE;
  close(fd);
  return data;
}

StateResult ReadRingState(const RingPaths& paths, mptt::MngRecord* out, int* error) {
  const int fd = open(paths.mngFile.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return errno == ENOENT ? StateResult::kMissing : StateResult::kUnreadable;
  }
  uint32_t raw[VESK2_MNG_WORDS];
  const ssize_t n = pread(fd, raw, sizeof raw, 0);
  *error = n < 0 ? errno : 0;
  close(fd);
  if (n < 0) return StateResult::kUnreadable;
  if (n != static_cast<ssize_t>(sizeof raw) || !mptt::DecodeRecord(raw, out)) {
    return StateResult::kInvalid;
  }
  return StateResult::kOk;
}

}  // namespace follow
