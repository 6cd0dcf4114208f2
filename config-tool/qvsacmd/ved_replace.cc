#include "ved_replace.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "result_codes.h"
#include "util_l2.h"

namespace {

// The rename is only as safe as the data under it: a host reset soon after
// an update (this system's purpose) must not find an empty document.
uint32_t SyncPath(const std::string& path, int flags) {
  const int fd = open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return ErrWithErrno(ERR_SYSCALL, errno);
  const int rc = fsync(fd);
  const int err = errno;
  close(fd);
  return rc == 0 ? 0 : ErrWithErrno(ERR_SYSCALL, err);
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

VedDirectoryLock::VedDirectoryLock(const std::string& document) {
  fd_ = open(DirectoryOf(document).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) return;
  while (flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) {
      close(fd_);
      fd_ = -1;
      return;
    }
  }
}

VedDirectoryLock::~VedDirectoryLock() {
  if (fd_ >= 0) close(fd_);
}

uint32_t VedReplacePathsFor(const std::string& document, VedReplacePaths* paths) {
  if (document.size() > PATH_MAX_L2 - 1) return ERR_OUT_OF_RANGE;
  if (document.size() < 4) return ERR_INVALID;
  const std::string stem = document.substr(0, document.size() - 3);
  if (document.find('/', stem.size()) != std::string::npos || stem.back() == '/') {
    return ERR_INVALID;
  }
  VedReplacePaths p{document, stem + "tmp", stem + "old"};
  if (p.temporary == document || p.backup == document) return ERR_INVALID;
  *paths = p;
  return 0;
}

uint32_t VedReplaceDocument(const VedReplacePaths& paths, vop_config_t* updated,
                            vop_config_t* previous) {
  uint32_t rc = fs_vopFuncs.ConfigWrite(paths.temporary.c_str(), updated);
  if (rc == 0) rc = SyncPath(paths.temporary, O_RDONLY);
  if (rc != 0) {
    std::fprintf(stderr, "ERROR:don't write file (%s).\n", paths.temporary.c_str());
    return rc;
  }
  rc = fs_vopFuncs.ConfigWrite(paths.backup.c_str(), previous);
  if (rc != 0) {
    std::fprintf(stderr, "ERROR:don't write file (%s).\n", paths.backup.c_str());
    return rc;
  }
  rc = FileMove_L2(paths.temporary.c_str(), paths.document.c_str());
  if (rc != 0) {
    std::fprintf(stderr, "ERROR:don't copy file (%s to %s).\n", paths.temporary.c_str(),
                 paths.document.c_str());
    return rc;
  }
  // The new document is in place; a failed directory flush only weakens
  // durability and is not worth failing a finished update for.
  SyncPath(DirectoryOf(paths.document), O_RDONLY | O_DIRECTORY);
  return 0;
}
