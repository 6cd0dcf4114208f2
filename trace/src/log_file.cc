#include "log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "file_path.h"
#include "state.h"
#include "swap_message.h"
#include "thread_record.h"

namespace vesk {
namespace {

// Read-write so that a backup can read the current file through the
// descriptor that holds its lock.
constexpr int kAppendFlags = O_RDWR | O_CREAT | O_APPEND;
constexpr int kTruncateFlags = O_RDWR | O_CREAT | O_TRUNC | O_APPEND;
constexpr uint64_t kLengthLimit = 0x80000000ull;  // 2^31 in every build
constexpr size_t kNameSize = 4160;

// Files held by objects of this process (guarded by the library lock).
VeskLogFile* holders = nullptr;

// write(2) without the cancellation point of libc's wrapper: the hot path
// of a put reaches no cancellation point, so it needs no cancellation
// guard, and a thread can never be cancelled between the halves of a record.
ssize_t WriteNoCancel(int fd, const void* bytes, size_t length) {
  return static_cast<ssize_t>(syscall(SYS_write, fd, bytes, length));
}

bool LockWholeFile(int fd, short type) {
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  return fcntl(fd, F_SETLK, &fl) == 0;
}

}  // namespace

void* VeskLogFile::operator new(size_t size) noexcept {
  // On a cache-line boundary, so that the fields every put uses share one.
  void* p = std::aligned_alloc(64, (size + 63) / 64 * 64);
  if (p == nullptr) SetErrPos(VESK2_ERR_NO_MEMORY, static_cast<uint32_t>(errno));
  return p;
}

void VeskLogFile::operator delete(void* p) noexcept { std::free(p); }

VeskLogFile::VeskLogFile(const tagVESK_LOGFILE_SPEC* spec) {
  szPrefix[0] = '\0';
  if (spec != nullptr && spec->pszFileName != nullptr) {
    lFileSize = spec->lFileSize;
    lFileNum = spec->lFileNum;
    std::strncpy(szPrefix, spec->pszFileName, sizeof szPrefix - 1);
    szPrefix[sizeof szPrefix - 1] = '\0';
    pszFileName = szPrefix;
  }
  texts.Fill();
}

VeskLogFile::~VeskLogFile() {
  pszFileName = nullptr;
  // Closed here directly: without a prefix closeFile() would leave the
  // descriptor and its lock behind.
  releaseFile();
}

void VeskLogFile::parkCurrentFile() {
  if (iFd == -1) return;
  if (lCurFileNo < 1 || lCurFileNo > lFileNum) {
    releaseFile();
    return;
  }
  if (parkedFd[lCurFileNo] != -1) close(parkedFd[lCurFileNo]);
  LockWholeFile(iFd, F_UNLCK);
  for (VeskLogFile** p = &holders; *p != nullptr; p = &(*p)->nextHolder) {
    if (*p == this) {
      *p = nextHolder;
      break;
    }
  }
  nextHolder = nullptr;
  parkedFd[lCurFileNo] = iFd;
  iFd = -1;
}

int VeskLogFile::takeParked(long fileNo, bool existed, const struct stat& st) {
  if (fileNo < 1 || fileNo > lFileNum || parkedFd[fileNo] == -1) return -1;
  int fd = parkedFd[fileNo];
  parkedFd[fileNo] = -1;
  struct stat own;
  if (existed && fstat(fd, &own) == 0 && own.st_dev == st.st_dev && own.st_ino == st.st_ino) {
    return fd;
  }
  close(fd);  // the file was removed or replaced meanwhile
  return -1;
}

void VeskLogFile::closeParked() {
  for (int& fd : parkedFd) {
    if (fd != -1) close(fd);
    fd = -1;
  }
}

int VeskLogFile::releaseFile() {
  closeParked();
  if (iFd == -1) return 0;
  LockWholeFile(iFd, F_UNLCK);
  for (VeskLogFile** p = &holders; *p != nullptr; p = &(*p)->nextHolder) {
    if (*p == this) {
      *p = nextHolder;
      break;
    }
  }
  nextHolder = nullptr;
  int fd = iFd;
  iFd = -1;
  if (close(fd) != 0) {
    SetErrPos(VESK2_ERR_CLOSE, static_cast<uint32_t>(errno));
    return -1;
  }
  return 0;
}

int VeskLogFile::openFile() {
  if (pszFileName == nullptr) return 0;
  if (iFd != -1) {
    SetErrPos(VESK2_ERR_STATE, 0);
    return -1;
  }
  if (checkFilePath(szPrefix) != 0) return -1;
  long chosen = 0;
  struct timespec newest = {0, 0};
  off_t chosenSize = 0;
  char name[kNameSize];
  for (long n = 1; n <= lFileNum; ++n) {
    struct stat st;
    if (!generateTraceFileName(name, sizeof name, szPrefix, n) || stat(name, &st) != 0) continue;
    if (chosen == 0 || !ModifiedBefore(st.st_mtim, newest)) {  // ties: the higher number
      chosen = n;
      newest = st.st_mtim;
      chosenSize = st.st_size;
    }
  }
  int flags = kAppendFlags;
  if (chosen == 0) {
    lCurFileNo = 1;
    ulWritten = 0;
  } else if (chosenSize >= lFileSize) {
    lCurFileNo = chosen >= lFileNum ? 1 : chosen + 1;
    ulWritten = 0;
    flags = kTruncateFlags;
  } else {
    lCurFileNo = chosen;
    ulWritten = static_cast<uint64_t>(chosenSize);
  }
  return openTraceFile(flags);
}

int VeskLogFile::openTraceFile(int flags) {
  if (iFd != -1) parkCurrentFile();
  char name[kNameSize];
  if (lCurFileNo < 1 || lCurFileNo > lFileNum ||
      !generateTraceFileName(name, sizeof name, szPrefix, lCurFileNo)) {
    SetErrPos(VESK2_ERR_ARGUMENT, 0);
    return -1;
  }
  struct stat st;
  const bool existed = stat(name, &st) == 0;
  // Another object of this process holds the file. Checked before open():
  // closing any descriptor of the file would drop that object's lock.
  if (existed) {
    for (VeskLogFile* h = holders; h != nullptr; h = h->nextHolder) {
      if (h->lockedDev == st.st_dev && h->lockedIno == st.st_ino) {
        SetErrPos(VESK2_ERR_LOCK, EAGAIN);
        return -1;
      }
    }
  }
  // Truncation waits until the lock is ours, so that a file another
  // process is writing is never emptied.
  int fd = takeParked(lCurFileNo, existed, st);
  if (fd < 0) fd = open(name, (flags & ~O_TRUNC) | O_CLOEXEC, 0666);
  if (fd < 0) {
    SetErrPos(VESK2_ERR_OPEN, static_cast<uint32_t>(errno));
    return -1;
  }
  setOpenedFileMode(fd, iFileAttr, existed);
  if (!LockWholeFile(fd, F_WRLCK)) {
    SetErrPos(VESK2_ERR_LOCK, static_cast<uint32_t>(errno));
    close(fd);
    return -1;
  }
  if ((flags & O_TRUNC) != 0) {
    if (ftruncate(fd, 0) != 0) {
      SetErrPos(VESK2_ERR_OPEN, static_cast<uint32_t>(errno));
      close(fd);
      return -1;
    }
    ulWritten = 0;
  }
  struct stat own;
  if (fstat(fd, &own) == 0) {
    lockedDev = own.st_dev;
    lockedIno = own.st_ino;
  }
  nextHolder = holders;
  holders = this;
  iFd = fd;
  if (putFileHeader() != 0) {
    // A file left without its header would begin with bare records; the
    // next record starts this file again instead.
    releaseFile();
    return -1;
  }
  return 0;
}

int VeskLogFile::writeWhole(const char* bytes, size_t length) {
  const ssize_t n = WriteNoCancel(iFd, bytes, length);
  if (n == static_cast<ssize_t>(length)) return 0;  // the usual case: one call
  return finishWrite(bytes, length, n);
}

int VeskLogFile::finishWrite(const char* bytes, size_t length, ssize_t n) {
  size_t done = 0;
  int err = 0;
  for (;;) {
    if (n > 0) {
      done += static_cast<size_t>(n);
      if (done == length) return 0;
    } else if (n < 0 && errno == EINTR) {
      // interrupted before anything was written: again
    } else {
      err = n < 0 ? errno : EIO;
      break;
    }
    n = WriteNoCancel(iFd, bytes + done, length - done);
  }
  if (done > 0) {
    // A record cut short by a full disk would run into the next one.
    off_t end = lseek(iFd, 0, SEEK_END);
    if (end >= static_cast<off_t>(done)) {
      if (ftruncate(iFd, end - static_cast<off_t>(done)) != 0) err = errno;
    }
  }
  SetErrPos(VESK2_ERR_WRITE, static_cast<uint32_t>(err));
  return -1;
}

int VeskLogFile::putFileHeader() {
  char block[kMaxHeaderBlock + 1];
  size_t len = BuildHeaderBlock(block, texts);
  if (ulWritten + len < kLengthLimit) {
    if (writeWhole(block, len) != 0) return -1;
    ulWritten += len;
    return 0;
  }
  releaseFile();
  ulWritten = 0;
  advance();
  return openTraceFile(kTruncateFlags) == 0 ? 0 : -1;
}

int VeskLogFile::putMessage(const char* bytes, size_t length) {
  if (bytes == nullptr) {
    SetErrPos(VESK2_ERR_ARGUMENT, 0);
    return -1;
  }
  if (pszFileName == nullptr) return 0;
  if (iFd == -1) {
    CancelGuard noCancel;  // open(2), close(2)
    ulWritten = 0;
    if (openTraceFile(kTruncateFlags) != 0) return -1;
  }
  return selectAndWriteFile(bytes, length);
}

int VeskLogFile::selectAndWriteFile(const char* bytes, size_t length) {
  // Decided before the write, on the old size: a file ends past its limit
  // by at most one record.
  if (ulWritten > static_cast<uint64_t>(lFileSize) || ulWritten + length >= kLengthLimit) {
    CancelGuard noCancel;  // open(2), close(2), syslog(3)
    long finished = lCurFileNo;
    ulWritten = 0;
    parkCurrentFile();
    putSyslogMessage(finished);
    ulWritten = 0;
    advance();
    if (openTraceFile(kTruncateFlags) != 0) return -1;
  }
  if (writeWhole(bytes, length) != 0) return -1;
  ulWritten += length;
  return 0;
}

int VeskLogFile::closeFile() {
  if (pszFileName == nullptr) return 0;
  ulWritten = 0;
  return releaseFile();
}

int VeskLogFile::bufferFlush() {
  if (pszFileName == nullptr || iFd == -1) return 0;
  int flags = fcntl(iFd, F_GETFL);
  if (flags == -1 || fcntl(iFd, F_SETFL, flags | O_SYNC) == -1 ||
      fcntl(iFd, F_SETFL, flags) == -1) {
    SetErrPos(VESK2_ERR_FLUSH, static_cast<uint32_t>(errno));
    return -1;
  }
  // Linux ignores O_SYNC in F_SETFL; this is what makes the flush real.
  if (fdatasync(iFd) != 0) {
    SetErrPos(VESK2_ERR_FLUSH, static_cast<uint32_t>(errno));
    return -1;
  }
  return 0;
}

int VeskLogFile::chFileAttr(int mode) {
  if (pszFileName == nullptr) return 0;
  char name[kNameSize];
  for (long n = 1; n <= lFileNum; ++n) {
    struct stat st;
    if (!generateTraceFileName(name, sizeof name, szPrefix, n) || stat(name, &st) != 0) continue;
    if (chmod(name, static_cast<mode_t>(mode)) != 0) {
      SetErrPos(VESK2_ERR_CHMOD, static_cast<uint32_t>(errno));
      return -1;
    }
  }
  return 0;
}

bool VeskLogFile::HeldInProcess(dev_t dev, ino_t ino) {
  for (VeskLogFile* h = holders; h != nullptr; h = h->nextHolder) {
    if (h->lockedDev == dev && h->lockedIno == ino) return true;
  }
  return false;
}

namespace {

// Copies fd from offset 0 to its end into target in 1024-byte pieces.
int CopyFile(int fd, int target) {
  char buf[1024];
  off_t at = 0;
  for (;;) {
    ssize_t n = pread(fd, buf, sizeof buf, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;
    at += n;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(target, buf + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        SetErrPos(VESK2_ERR_WRITE, static_cast<uint32_t>(w < 0 ? errno : EIO));
        return -1;
      }
      done += w;
    }
  }
}

}  // namespace

int VeskLogFile::backupToFile(const char* target, int) {
  if (checkFilePath(target) != 0) return -1;
  if (pszFileName == nullptr) return 0;
  if (iFd == -1) {
    SetErrPos(VESK2_ERR_STATE, 0);
    return -1;
  }
  struct stat st;
  const bool existed = stat(target, &st) == 0;
  int out = open(target, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out < 0) {
    SetErrPos(VESK2_ERR_OPEN, static_cast<uint32_t>(errno));
    return -1;
  }
  setOpenedFileMode(out, iFileAttr, existed);
  int result = 0;
  char name[kNameSize];
  for (long i = 1; i <= lFileNum && result == 0; ++i) {
    long n = (lCurFileNo - 1 + i) % lFileNum + 1;  // oldest first, current last
    if (n == lCurFileNo) {
      // Through the locked descriptor: closing another one would unlock it.
      result = CopyFile(iFd, out);
      continue;
    }
    if (!generateTraceFileName(name, sizeof name, szPrefix, n)) continue;
    int fd = open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    result = CopyFile(fd, out);
    close(fd);
  }
  close(out);
  return result;
}

void VeskLogFile::putSyslogMessage(long fileNo) {
  if (!VESK_IsEnableSwapMsg() || cnf.msgString()[0] == '\0') return;
  char name[kNameSize];
  if (!generateTraceFileName(name, sizeof name, szPrefix, fileNo)) return;
  VESK_FormatSwapMsgString(cnf.msgString(), VESK2_szAppName, fileNo, name);
}

}  // namespace vesk
