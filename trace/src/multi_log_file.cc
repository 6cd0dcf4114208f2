#include "multi_log_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "file_path.h"
#include "state.h"
#include "thread_record.h"

namespace vesk {
namespace {

void* const kNoMap = MAP_FAILED;
// Filling in large pieces lets the page cache use large pages for the file,
// which cuts the page faults of writing through the mapping later.
constexpr size_t kPiece = 64 * 1024;

const char* Spaces() {
  static const std::array<char, kPiece> spaces = [] {
    std::array<char, kPiece> a;
    a.fill(' ');
    return a;
  }();
  return spaces.data();
}

bool ValidRecord(const VESK_MANAGEMENT_DATA& r) {
  return std::memcmp(r.szId, VESK2_MNG_ID, VESK2_MNG_ID_LEN) == 0 &&
         r.ulFileSize >= VESK2_MNG_MIN_FILE_SIZE && r.ulFileSize <= VESK2_MNG_MAX_FILE_SIZE &&
         r.lFileNum >= 1 && r.lFileNum <= VESK2_MNG_MAX_FILE_NUM && r.lCurFile >= 1 &&
         r.lCurFile <= r.lFileNum;
}

uint32_t Err() { return static_cast<uint32_t>(errno); }

// Unmaps map (len bytes) and closes fd where they are set, and marks both
// unset; a failing step stores its code and makes the result false.
bool UnmapAndClose(void*& map, size_t len, int& fd) {
  bool ok = true;
  if (map != kNoMap) {
    if (munmap(map, len) != 0) {
      SetErrPos(VESK2_ERR_MUNMAP, Err());
      ok = false;
    }
    map = kNoMap;
  }
  if (fd != -1) {
    if (close(fd) != 0) {
      SetErrPos(VESK2_ERR_CLOSE, Err());
      ok = false;
    }
    fd = -1;
  }
  return ok;
}

void SleepMs(int ms) {
  if (ms >= 1000) {
    sleep(static_cast<unsigned>(ms / 1000));
    ms %= 1000;
  }
  if (ms > 0) usleep(static_cast<useconds_t>(ms) * 1000);
}

bool WriteAt(int fd, const void* data, size_t len, off_t at) {
  const char* p = static_cast<const char*>(data);
  while (len > 0) {
    ssize_t n = pwrite(fd, p, len, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    p += n;
    len -= static_cast<size_t>(n);
    at += n;
  }
  return true;
}

bool WriteAll(int fd, const char* p, size_t len) {
  while (len > 0) {
    ssize_t n = write(fd, p, len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    p += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

void WriteEod(char* at) {
  at[0] = VESK2_EOD_BYTE;
  std::memcpy(at + 1, VESK2_EOD_MARK, VESK2_EOD_MARK_LEN);
}

}  // namespace

void* VeskMultiLogFile::operator new(size_t size) noexcept {
  void* p = std::malloc(size);
  if (p == nullptr) SetErrPos(VESK2_ERR_NO_MEMORY, Err());
  return p;
}

void VeskMultiLogFile::operator delete(void* p) noexcept { std::free(p); }

VeskMultiLogFile::VeskMultiLogFile(const tagVESK_LOGFILE_SPEC* spec)
    : pTraceMap(kNoMap), pMngMap(kNoMap) {
  szPrefix[0] = szTraceFileName[0] = szMMapDir[0] = szMngFileName[0] = '\0';
  if (spec != nullptr && spec->pszFileName != nullptr) {
    lFileSize = spec->lFileSize;
    lFileNum = spec->lFileNum;
    std::snprintf(szPrefix, sizeof szPrefix, "%s", spec->pszFileName);
    pszFileName = szPrefix;
  }
  lMngFileSize = lMapSize = lFileSize;
  lMngFileNum = lFileNum;
  texts.Fill();
}

VeskMultiLogFile::~VeskMultiLogFile() {
  pszFileName = nullptr;
  // Released directly: without a prefix closeFile() would do nothing.
  closeTraceFile();
  closeManagementFile();
}

int VeskMultiLogFile::setLockWaitTime(int ms) {
  if (pszFileName == nullptr) return 0;
  int previous = iLockWaitTime;
  iLockWaitTime = ms;
  return previous;
}

int VeskMultiLogFile::setLockRetryTimes(int count) {
  if (pszFileName == nullptr) return 0;
  int previous = iLockRetryTimes;
  iLockRetryTimes = count;
  return previous;
}

void VeskMultiLogFile::traceFileName(char* out, long fileNo) const {
  generateTraceFileName(out, 4097, szPrefix, fileNo);
}

// ---- inter-process lock ----------------------------------------------------

int VeskMultiLogFile::mp_lock() {
  if ((ulMode & VESK2_MODE_NO_LOCK) != 0 || iMngFd == -1) return 0;
  if (iLockCount++ > 0) return 0;
  int err = 0;
  const int attempts = iLockRetryTimes < 1 ? 1 : iLockRetryTimes;
  for (int i = 0; i < attempts; ++i) {
    if (i > 0) SleepMs(iLockWaitTime);
    // The descriptor stays at offset 0 (all writes are positional), so this
    // covers the whole file.
    if (lockf(iMngFd, F_TLOCK, 0) == 0) {
      iLockState = 0;
      return 0;
    }
    err = errno;
  }
  SetErrPos(VESK2_ERR_LOCK, static_cast<uint32_t>(err));
  --iLockCount;
  return -1;
}

int VeskMultiLogFile::mp_unlock() {
  if ((ulMode & VESK2_MODE_NO_LOCK) != 0 || iMngFd == -1 || iLockCount == 0) return 0;
  if (--iLockCount == 0) lockf(iMngFd, F_ULOCK, 0);
  return 0;
}

int VeskMultiLogFile::updateModeAndRetryMpLock(uint32_t recordMode) {
  const uint32_t mode = ulMode & recordMode;
  if (((mode ^ ulMode) & VESK2_MODE_NO_LOCK) == 0) {
    ulMode = mode;
    return 0;
  }
  // Another writer locks: from now on this one does too. Going on without
  // the lock would write into the ring while that writer holds it.
  mp_unlock();
  ulMode = mode;
  return mp_lock();
}

// ---- management record -----------------------------------------------------

int VeskMultiLogFile::readRecord(Record* copy) {
  std::memcpy(copy, pMngMap, sizeof *copy);
  if (!ValidRecord(*copy)) repareManagementFile(copy);
  return updateModeAndRetryMpLock(copy->ulMode);
}

// A valid management record describing this object's view of the ring.
VeskMultiLogFile::Record VeskMultiLogFile::currentRecord(uint32_t mode) const {
  Record r;
  std::memcpy(r.szId, VESK2_MNG_ID, VESK2_MNG_ID_LEN);
  r.ulByteOrder = VESK2_MNG_BYTE_ORDER;
  r.ulFileSize = static_cast<uint32_t>(lMngFileSize);
  r.lFileNum = static_cast<int32_t>(lMngFileNum);
  r.ulOffset = static_cast<uint32_t>(ulCurOffset);
  r.lCurFile = static_cast<int32_t>(lCurFileNo);
  r.ulMode = mode;
  r.ulLockType = VESK2_MNG_LOCK_LOCKF;
  return r;
}

void VeskMultiLogFile::repareManagementFile(Record* copy) {
  searchTraceFileData();
  Record r = currentRecord(ulMode);
  std::memcpy(pMngMap, &r, sizeof r);
  *copy = r;
}

int VeskMultiLogFile::searchTraceFileData() {
  long chosen = 0;
  struct timespec newest = {0, 0};
  char name[4097];
  for (long n = 1; n <= lMngFileNum; ++n) {
    struct stat st;
    traceFileName(name, n);
    if (stat(name, &st) != 0) continue;
    if (chosen == 0 || !ModifiedBefore(st.st_mtim, newest)) {  // ties: the higher number
      chosen = n;
      newest = st.st_mtim;
    }
  }
  if (chosen == 0) {
    lCurFileNo = 1;
    ulCurOffset = 0;
    return 0;
  }
  lCurFileNo = chosen;
  ulCurOffset = searchEOF(chosen);
  if (ulCurOffset >= static_cast<unsigned long>(lMngFileSize)) {
    // The file is full: continue with the next one.
    lCurFileNo = chosen >= lMngFileNum ? 1 : chosen + 1;
    ulCurOffset = 0;
  }
  return 1;
}

unsigned long VeskMultiLogFile::searchEOF(long fileNo) {
  char name[4097];
  traceFileName(name, fileNo);
  int fd = open(name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char buf[kPiece];
  char prev[2] = {'\r', '\n'};  // offset 0 counts as "after CR LF"
  unsigned long base = 0;
  unsigned long found = 0;
  bool done = false;
  ssize_t n;
  while (!done && (n = read(fd, buf, sizeof buf)) > 0) {
    for (ssize_t i = 0; i < n; ++i) {
      if (buf[i] == VESK2_EOD_BYTE && prev[0] == '\r' && prev[1] == '\n') {
        found = base + static_cast<unsigned long>(i);
        done = true;
        break;
      }
      prev[0] = prev[1];
      prev[1] = buf[i];
    }
    base += static_cast<unsigned long>(n);
  }
  close(fd);
  return found;
}

// ---- opening ---------------------------------------------------------------

int VeskMultiLogFile::openFileFunc(const char* name, int flags) {
  struct stat st;
  const bool existed = stat(name, &st) == 0;
  int fd = open(name, flags | O_CLOEXEC, 0666);
  if (fd < 0) {
    SetErrPos(VESK2_ERR_OPEN, Err());
    return -1;
  }
  setOpenedFileMode(fd, iFileAttr, existed);
  return fd;
}

int VeskMultiLogFile::openFile() {
  if (pszFileName == nullptr) return 0;
  if (iMngFd != -1) {
    SetErrPos(VESK2_ERR_STATE, 0);
    return -1;
  }
  if (checkFilePath(szPrefix, true) != 0) return -1;
  return openManagementFile();
}

int VeskMultiLogFile::openManagementFile() {
  lCurFileNo = 0;
  ulCurOffset = 0;
  // D is the prefix up to its last "/" ("." without one), B the rest.
  const char* slash = std::strrchr(szPrefix, '/');
  char dir[4097];
  const char* base = szPrefix;
  if (slash == nullptr) {
    std::strcpy(dir, ".");
  } else {
    size_t n = static_cast<size_t>(slash - szPrefix);
    std::memcpy(dir, szPrefix, n);
    dir[n] = '\0';
    base = slash + 1;
  }
  int a = std::snprintf(szMMapDir, sizeof szMMapDir, VESK2_MMAP_DIR_FMT, dir);
  int b = std::snprintf(szMngFileName, sizeof szMngFileName, VESK2_MNG_FILE_FMT, dir, base);
  if (a < 0 || b < 0 || static_cast<size_t>(b) >= sizeof szMngFileName) {
    SetErrPos(VESK2_ERR_ARGUMENT, 0);
    return -1;
  }
  if (checkFilePath(szMngFileName, true) != 0) return -1;
  struct stat st;
  const bool existed = stat(szMngFileName, &st) == 0;
  iMngFd = openFileFunc(szMngFileName);
  if (iMngFd < 0) return -1;
  auto fail = [&]() {
    mp_unlock();
    iLockCount = 0;
    closeManagementFile();
    return -1;
  };
  if (mp_lock() != 0) {
    closeManagementFile();
    return -1;
  }
  utime(szMngFileName, nullptr);
  if (fstat(iMngFd, &st) != 0) {
    SetErrPos(VESK2_ERR_STAT, Err());
    return fail();
  }
  iMngInode = st.st_ino;
  const bool isNew = !existed && st.st_size == 0;
  static const char zeros[VESK2_MNG_FILE_SIZE] = {0};
  if (isNew || st.st_size < VESK2_MNG_FILE_SIZE) {
    off_t from = isNew ? 0 : st.st_size;
    if (!WriteAt(iMngFd, zeros, static_cast<size_t>(VESK2_MNG_FILE_SIZE - from), from)) {
      SetErrPos(VESK2_ERR_WRITE, Err());
      return fail();
    }
  }
  pMngMap = mmap(nullptr, VESK2_MNG_FILE_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, iMngFd, 0);
  if (pMngMap == MAP_FAILED) {
    SetErrPos(VESK2_ERR_MMAP, Err());
    return fail();
  }
  Record rec;
  std::memcpy(&rec, pMngMap, sizeof rec);
  const bool joined = !isNew && ValidRecord(rec);
  bool found = false;
  if (joined) {
    if (updateModeAndRetryMpLock(rec.ulMode) != 0) return fail();
    if ((ulMode & VESK2_MODE_KEEP_LARGER) != 0) {
      lMngFileSize = std::max(lFileSize, static_cast<long>(rec.ulFileSize));
      lMngFileNum = std::max(lFileNum, static_cast<long>(rec.lFileNum));
    } else {
      lMngFileSize = rec.ulFileSize;
      lMngFileNum = rec.lFileNum;
    }
    lMapSize = lMngFileSize;
    lCurFileNo = rec.lCurFile;
    ulCurOffset = rec.ulOffset;
  } else {
    found = searchTraceFileData() == 1;
    Record fresh = currentRecord(VESK2_MNG_MODE_UNSET);
    std::memcpy(pMngMap, &fresh, sizeof fresh);
  }
  if (openTraceFile(true) != 0) return fail();
  if (joined) {
    words()[VESK2_MNG_W_BYTE_ORDER] = VESK2_MNG_BYTE_ORDER;
    words()[VESK2_MNG_W_FILE_SIZE] = static_cast<uint32_t>(lMngFileSize);
    words()[VESK2_MNG_W_FILE_NUM] = static_cast<uint32_t>(lMngFileNum);
    words()[VESK2_MNG_W_LOCK_TYPE] = VESK2_MNG_LOCK_LOCKF;
  }
  if (readRecord(&rec) != 0) return fail();
  words()[VESK2_MNG_W_MODE] = ulMode;
  rec.ulMode = ulMode;
  int result = putFileHeader(&rec, true);
  mp_unlock();
  if (result == 0 && isNew && found) {
    SetErrPos(VESK2_ERR_REBUILT, 0);
    return 3;
  }
  return result;
}

int VeskMultiLogFile::prepareTraceFile(long fileNo, bool keepOpen) {
  char name[4097];
  traceFileName(name, fileNo);
  struct stat st;
  const bool existed = stat(name, &st) == 0;
  const bool fill = (ulMode & VESK2_MODE_NO_FILL) == 0;
  if (existed && !(fill && st.st_size < lMapSize)) return 0;
  int fd = openFileFunc(name);
  if (fd < 0) return -1;
  off_t end = existed ? st.st_size : 0;
  bool ok = true;
  if (!existed) {
    char eod[VESK2_EOD_TOTAL_LEN];
    WriteEod(eod);
    ok = WriteAt(fd, eod, sizeof eod, end);
    end += static_cast<off_t>(sizeof eod);
  }
  if (ok && fill) {
    while (ok && end < lMapSize) {
      size_t n = static_cast<size_t>(std::min<off_t>(static_cast<off_t>(kPiece), lMapSize - end));
      ok = WriteAt(fd, Spaces(), n, end);
      end += static_cast<off_t>(n);
    }
  }
  if (!ok) {
    SetErrPos(VESK2_ERR_WRITE, Err());
    close(fd);
    return -1;
  }
  if (keepOpen) {
    iTraceFd = fd;
  } else {
    close(fd);
  }
  return 0;
}

int VeskMultiLogFile::openTraceFile(bool initial) {
  if (closeTraceFile() != 0) return -1;
  if ((initial && (ulMode & VESK2_MODE_CURRENT_ONLY) == 0)) {
    for (long i = 1; i <= lMngFileNum; ++i) {
      long n = (lCurFileNo - 1 + i) % lMngFileNum + 1;  // current file last
      if (prepareTraceFile(n, n == lCurFileNo) != 0) return -1;
    }
  } else if (prepareTraceFile(lCurFileNo, true) != 0) {
    return -1;
  }
  traceFileName(szTraceFileName, lCurFileNo);
  if (iTraceFd == -1) {
    iTraceFd = openFileFunc(szTraceFileName);
    if (iTraceFd < 0) {
      iTraceFd = -1;
      return -1;
    }
  }
  utime(szTraceFileName, nullptr);
  struct stat st;
  if (fstat(iTraceFd, &st) == 0 && st.st_size < lMapSize) {
    const char zero = 0;
    if (!WriteAt(iTraceFd, &zero, 1, lMapSize - 1)) {
      SetErrPos(VESK2_ERR_WRITE, Err());
      close(iTraceFd);
      iTraceFd = -1;
      return -1;
    }
  }
  pTraceMap =
      mmap(nullptr, static_cast<size_t>(lMapSize), PROT_READ | PROT_WRITE, MAP_SHARED, iTraceFd, 0);
  if (pTraceMap == MAP_FAILED) {
    SetErrPos(VESK2_ERR_MMAP, Err());
    close(iTraceFd);
    iTraceFd = -1;
    return -1;
  }
  ulMapLen = static_cast<unsigned long>(lMapSize);
  lFlushedOffset = 0;
  return 0;
}

// ---- writing -----------------------------------------------------------------

int VeskMultiLogFile::putMessage(const char* bytes, size_t length) {
  if (bytes == nullptr) {
    SetErrPos(VESK2_ERR_ARGUMENT, 0);
    return -1;
  }
  if (pszFileName == nullptr) return 0;
  if (iMngFd == -1) {
    SetErrPos(VESK2_ERR_STATE, 0);
    return -1;
  }
  CancelGuard noCancel;  // lockf(3) waits, nanosleep(2) between attempts
  return selectAndWriteFile(bytes, length, nullptr, false);
}

int VeskMultiLogFile::selectAndWriteFile(const char* bytes, size_t length, Record* state,
                                         bool header) {
  if (length == 0) return 0;
  if (bytes == nullptr) {
    SetErrPos(VESK2_ERR_ARGUMENT, 0);
    return -1;
  }
  struct stat st;
  const int rc = stat(szMngFileName, &st);
  if (rc != 0 && errno != ENOENT) {
    SetErrPos(VESK2_ERR_STAT, Err());
    return -1;
  }
  if (rc != 0 || st.st_ino != iMngInode) {
    SetErrPos(VESK2_ERR_REBUILT, 0);  // deleted or replaced: stop writing
    return -1;
  }
  Record local;
  bool lockedHere = false;
  if (state == nullptr) {
    if (mp_lock() != 0) return -1;
    if (readRecord(&local) != 0) return -1;  // the lock was not had
    lockedHere = true;
    state = &local;
  }
  auto fail = [&]() {
    if (lockedHere) mp_unlock();
    return -1;
  };
  if (pTraceMap == kNoMap && openTraceFile(false) != 0) return fail();
  lMngFileNum = state->lFileNum;
  bool changed = false;
  if (static_cast<long>(state->ulFileSize) != lMngFileSize) {
    lMngFileSize = lMapSize = state->ulFileSize;
    changed = true;
  }
  if (state->lCurFile != lCurFileNo) {
    lCurFileNo = state->lCurFile;
    changed = true;
  }
  const uint64_t need = uint64_t{state->ulOffset} + VESK2_EOD_TOTAL_LEN + length;
  if (need <= state->ulFileSize) {
    if (changed && openTraceFile(false) != 0) return fail();
  } else {
    lCurFileNo = lCurFileNo >= lMngFileNum ? 1 : lCurFileNo + 1;
    const bool headerDue = !header && (ulMode & VESK2_MODE_NO_HEADER) == 0;
    const long room = static_cast<long>(VESK2_EOD_TOTAL_LEN + length) +
                      (headerDue ? static_cast<long>(VESK2_HEADER_RESERVE) : 0);
    // A record larger than a file gets a file extended to hold it.
    lMapSize = std::max(room, static_cast<long>(state->ulFileSize));
    words()[VESK2_MNG_W_CUR_FILE] = static_cast<uint32_t>(lCurFileNo);
    words()[VESK2_MNG_W_OFFSET] = 0;
    state->lCurFile = static_cast<int32_t>(lCurFileNo);
    state->ulOffset = 0;
    if (openTraceFile(false) != 0) return fail();
    if (headerDue && putFileHeader(state, false) != 0) return fail();
  }
  const unsigned long offset = state->ulOffset;
  if (offset + VESK2_EOD_TOTAL_LEN + length > ulMapLen) {
    // Another writer went further in this file than this mapping reaches.
    lMapSize = static_cast<long>(offset + VESK2_EOD_TOTAL_LEN + length);
    if (openTraceFile(false) != 0) return fail();
  }
  char* map = static_cast<char*>(pTraceMap);
  words()[VESK2_MNG_W_OFFSET] = static_cast<uint32_t>(offset + length);
  std::memcpy(map + offset, bytes, length);
  WriteEod(map + offset + length);
  if (lockedHere) mp_unlock();
  state->ulOffset = static_cast<uint32_t>(offset + length);
  ulCurOffset = state->ulOffset;
  return 0;
}

int VeskMultiLogFile::putFileHeader(Record* state, bool withProcessLine) {
  char block[VESK2_PROC_LINE_LEN + kMaxHeaderBlock + 1];
  size_t len = 0;
  if (withProcessLine && (ulOption & VESK2_MODE_NO_PROC_LINE) == 0) {
    char name[17];
    CopyAppName(name, pszAppName != nullptr ? pszAppName : VESK2_szAppName);
    int n = std::snprintf(block, sizeof block, "**** %s %.8s %010ld %04ld %08X\r\n", name,
                          VESK2_szProcessId, lFileSize, lFileNum, ulOption);
    len = static_cast<size_t>(n);
  } else {
    if (withProcessLine && state->ulOffset != 0) return 0;
    if ((ulMode & VESK2_MODE_NO_HEADER) != 0) return 0;
    texts.RefreshStartTime();
  }
  len += BuildHeaderBlock(block + len, texts);
  return selectAndWriteFile(block, len, state, true);
}

// ---- backup --------------------------------------------------------------

int VeskMultiLogFile::backupToFile(const char* target, int flag) {
  if (checkFilePath(target, true) != 0) return -1;
  if (pszFileName == nullptr) return 0;
  if (iMngFd == -1) {
    SetErrPos(VESK2_ERR_STATE, 0);
    return -1;
  }
  if (pTraceMap == kNoMap && openTraceFile(false) != 0) return -1;
  if (mp_lock() != 0) return -1;
  Record rec;
  if (readRecord(&rec) != 0) return -1;
  bool locked = true;
  if (flag == 16) {
    mp_unlock();
    locked = false;
  }
  auto done = [&](int result) {
    if (locked) mp_unlock();
    return result;
  };
  int out = openFileFunc(target, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND);
  if (out < 0) return done(-1);
  char name[4097];
  char buf[kPiece];
  int result = 0;
  for (long i = 1; i <= rec.lFileNum && result == 0; ++i) {
    long n = (rec.lCurFile - 1 + i) % rec.lFileNum + 1;  // oldest first, current last
    traceFileName(name, n);
    // The current file's data ends at the recorded offset, the others' at
    // their end byte.
    unsigned long length = n == rec.lCurFile ? rec.ulOffset : searchEOF(n);
    int fd = open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    unsigned long copied = 0;
    while (copied < length && result == 0) {
      size_t want = static_cast<size_t>(std::min<unsigned long>(sizeof buf, length - copied));
      ssize_t got = pread(fd, buf, want, static_cast<off_t>(copied));
      if (got <= 0) break;
      if (!WriteAll(out, buf, static_cast<size_t>(got))) {
        SetErrPos(VESK2_ERR_WRITE, Err());
        result = -1;
      }
      copied += static_cast<unsigned long>(got);
    }
    close(fd);
  }
  close(out);
  return done(result);
}

// ---- flushing, closing, permissions -----------------------------------------

int VeskMultiLogFile::bufferFlush() {
  if (pszFileName == nullptr) return 0;
  if (iMngFd == -1) {
    SetErrPos(VESK2_ERR_STATE, 0);
    return -1;
  }
  if (mp_lock() != 0) return -1;
  Record rec;
  if (readRecord(&rec) != 0 || readRecord(&rec) != 0) return -1;
  mp_unlock();
  if (!ValidRecord(rec)) return -1;
  if (rec.lCurFile != lCurFileNo || pTraceMap == kNoMap) return 0;
  if (lFlushedOffset > static_cast<long>(rec.ulOffset)) lFlushedOffset = 0;
  static const long page = sysconf(_SC_PAGESIZE);
  const unsigned long from =
      static_cast<unsigned long>(lFlushedOffset) & ~(static_cast<unsigned long>(page) - 1);
  const unsigned long to = std::min<unsigned long>(rec.ulOffset + VESK2_EOD_TOTAL_LEN, ulMapLen);
  if (to > from && msync(static_cast<char*>(pTraceMap) + from, to - from, MS_ASYNC) != 0) {
    SetErrPos(VESK2_ERR_FLUSH, Err());
    return -1;
  }
  lFlushedOffset = rec.ulOffset;
  return 0;
}

int VeskMultiLogFile::closeTraceFile() {
  const bool wasOpen = iTraceFd != -1;
  const bool ok = UnmapAndClose(pTraceMap, ulMapLen, iTraceFd);
  ulMapLen = 0;
  if (wasOpen) utime(szTraceFileName, nullptr);
  return ok ? 0 : -1;
}

int VeskMultiLogFile::closeManagementFile() {
  const bool wasOpen = iMngFd != -1;
  const bool ok = UnmapAndClose(pMngMap, VESK2_MNG_FILE_SIZE, iMngFd);  // drops any lockf lock
  if (wasOpen) {
    iLockCount = 0;
    utime(szMngFileName, nullptr);
  }
  return ok ? 0 : -1;
}

int VeskMultiLogFile::closeFile() {
  if (pszFileName == nullptr) return 0;
  if (iMngFd == -1 && iTraceFd == -1) return 0;
  if (mp_lock() != 0) return -1;
  int result = closeTraceFile();
  mp_unlock();
  if (closeManagementFile() != 0) result = -1;
  return result;
}

int VeskMultiLogFile::chFileAttr(int mode) {
  if (pszFileName == nullptr) return 0;
  if (mp_lock() != 0) return -1;
  char name[4097];
  auto fail = [&]() {
    SetErrPos(VESK2_ERR_CHMOD, Err());
    mp_unlock();
    return -1;
  };
  for (long n = 1; n <= lMngFileNum; ++n) {
    struct stat st;
    traceFileName(name, n);
    if (stat(name, &st) != 0) continue;
    if (chmod(name, static_cast<mode_t>(mode)) != 0) return fail();
  }
  mode_t dirMode = static_cast<mode_t>(mode) | S_IXUSR;
  if ((mode & 060) != 0) dirMode |= S_IXGRP;
  if ((mode & 06) != 0) dirMode |= S_IXOTH;
  if (szMMapDir[0] != '\0' && chmod(szMMapDir, dirMode) != 0) return fail();
  if (szMngFileName[0] != '\0' && chmod(szMngFileName, static_cast<mode_t>(mode)) != 0) {
    return fail();
  }
  mp_unlock();
  return 0;
}

}  // namespace vesk
