// File access with whole-file flock locks: readers share, a writer excludes
// every other reader and writer of the same document across processes.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "util_l2.h"

namespace {

// Permission flags read like octal digits written in hexadecimal.
mode_t ModeFromPermissions(uint32_t p) {
  return static_cast<mode_t>((((p >> 8) & 7u) << 6) | (((p >> 4) & 7u) << 3) | (p & 7u));
}

uint32_t OpenFailure(int err) { return ErrWithErrno(err == EAGAIN ? ERR_RETRY : ERR_SYSCALL, err); }

}  // namespace

uint32_t FileOpen_L2(int* descriptor, const char* path, uint32_t flags, uint32_t permissions) {
  if (descriptor == nullptr || path == nullptr) return ERR_INVALID;
  int oflags;
  if ((flags & FILE_OPEN_READ) && (flags & FILE_OPEN_WRITE)) {
    oflags = O_RDWR;
  } else if (flags & FILE_OPEN_WRITE) {
    oflags = O_WRONLY;
  } else {
    oflags = O_RDONLY;
  }
  if (flags & FILE_OPEN_CREATE) oflags |= O_CREAT;
  if (flags & FILE_OPEN_EXCL) oflags |= O_EXCL;
  if (flags & FILE_OPEN_APPEND) oflags |= O_APPEND;
  oflags |= O_CLOEXEC;  // a command started by the tool must not inherit the lock
  int fd = open(path, oflags, ModeFromPermissions(permissions));
  if (fd < 0) return OpenFailure(errno);

  int lock = 0;
  if (flags & FILE_OPEN_WRITE) {
    lock = LOCK_EX;
  } else if (flags & FILE_OPEN_READ) {
    lock = LOCK_SH;
  }
  if (lock != 0) {
    int rc;
    do {
      rc = flock(fd, lock);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
      int err = errno;
      close(fd);
      return OpenFailure(err);
    }
    // Truncating only once the lock is held keeps a reader from seeing the
    // file emptied under it.
    if ((flags & FILE_OPEN_TRUNC) && ftruncate(fd, 0) != 0) {
      int err = errno;
      close(fd);
      return ErrWithErrno(ERR_SYSCALL, err);
    }
  }
  *descriptor = fd;
  return 0;
}

uint32_t FileClose_L2(int descriptor) {
  if (close(descriptor) != 0) return ErrWithErrno(ERR_SYSCALL, errno);
  return 0;
}

uint32_t FileRead_L2(int descriptor, void* buffer, size_t* size) {
  if (size == nullptr || (buffer == nullptr && *size > 0)) return ERR_INVALID;
  ssize_t n;
  do {
    n = read(descriptor, buffer, *size);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return ErrWithErrno(ERR_SYSCALL, errno);
  *size = static_cast<size_t>(n);
  return 0;
}

uint32_t FileWrite_L2(int descriptor, const void* buffer, size_t* size) {
  if (size == nullptr || (buffer == nullptr && *size > 0)) return ERR_INVALID;
  ssize_t n = write(descriptor, buffer, *size);
  if (n < 0) {
    int err = errno;
    return ErrWithErrno(err == EINTR ? ERR_RETRY : ERR_SYSCALL, err);
  }
  *size = static_cast<size_t>(n);
  return 0;
}

uint32_t FileSeek_L2(int descriptor, int64_t* offset, int origin) {
  if (offset == nullptr) return ERR_INVALID;
  int whence;
  switch (origin) {
    case FILE_SEEK_START:
      whence = SEEK_SET;
      break;
    case FILE_SEEK_CURRENT:
      whence = SEEK_CUR;
      break;
    case FILE_SEEK_END:
      whence = SEEK_END;
      break;
    default:
      return ERR_INVALID;
  }
  off64_t pos = lseek64(descriptor, static_cast<off64_t>(*offset), whence);
  if (pos < 0) return ErrWithErrno(ERR_SYSCALL, errno);
  *offset = static_cast<int64_t>(pos);
  return 0;
}

uint32_t FileMove_L2(const char* old_path, const char* new_path) {
  if (old_path == nullptr || new_path == nullptr) return ERR_INVALID;
  if (rename(old_path, new_path) != 0) return ErrWithErrno(ERR_SYSCALL, errno);
  return 0;
}

uint32_t FileAccess_L2(const char* path, uint32_t flags) {
  if (path == nullptr) return ERR_INVALID;
  int mode = F_OK;
  if (flags & FILE_ACCESS_EXEC) mode |= X_OK;
  if (flags & FILE_ACCESS_WRITE) mode |= W_OK;
  if (flags & FILE_ACCESS_READ) mode |= R_OK;
  if (access(path, mode) == 0) return 0;
  int err = errno;
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return ErrWithErrno(ERR_NOT_FOUND, err);
    case ENOMEM:
      return ErrWithErrno(ERR_NO_MEMORY, err);
    case EACCES:
    case EROFS:
      return ErrWithErrno(ERR_ACCESS, err);
    case EFAULT:
    case EINVAL:
    case ENAMETOOLONG:
      return ErrWithErrno(ERR_INVALID, err);
    default:
      return ErrWithErrno(ERR_SYSCALL, err);
  }
}
