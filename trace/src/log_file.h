// Single-process ring: lFileNum text files written with plain write(2)
// calls, each begun by a header block; the file being written is locked
// against other writers.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "config_file.h"
#include "header_text.h"
#include "ring.h"
#include "vesk2_trace.h"

namespace vesk {

class VeskLogFile final : public VeskRing {
 public:
  // Allocation failure stores code 9 with errno and yields null.
  static void* operator new(size_t size) noexcept;
  static void operator delete(void* p) noexcept;

  explicit VeskLogFile(const tagVESK_LOGFILE_SPEC* spec);
  ~VeskLogFile() override;

  bool IsShared() const override { return false; }
  int openFile() override;
  int putMessage(const char* bytes, size_t length) override;
  int bufferFlush() override;
  int closeFile() override;
  int chFileAttr(int mode) override;
  void setFileAttr(int mode) override { iFileAttr = mode; }
  int getFileAttr() const override { return iFileAttr; }

  int backupToFile(const char* target, int flag) override;

  long currentFileNo() const { return lCurFileNo; }

  // Whether a ring object of this process writes the file (dev, ino):
  // closing any descriptor of it here would drop that object's lock.
  static bool HeldInProcess(dev_t dev, ino_t ino);

 private:
  int selectAndWriteFile(const char* bytes, size_t length);
  int openTraceFile(int flags);
  int putFileHeader();
  void putSyslogMessage(long fileNo);
  void advance() { lCurFileNo = lCurFileNo >= lFileNum ? 1 : lCurFileNo + 1; }
  // Write all of bytes or nothing: a short write (full disk) is undone.
  int writeWhole(const char* bytes, size_t length);
  // The rest of a write whose first call returned n (errno still its own):
  // goes on after a partial write or EINTR, else undoes the part written
  // and reports the error.
  int finishWrite(const char* bytes, size_t length, ssize_t n);
  // Unlocks and closes the file if open, and every parked descriptor; -1
  // with code 3 when a close fails.
  int releaseFile();
  // At a switch: unlocks the finished file and keeps its descriptor for
  // the lap that reuses the file.
  void parkCurrentFile();
  // The parked descriptor of file fileNo if it still is the file at that
  // path (st), else -1 (a stale one is closed).
  int takeParked(long fileNo, bool existed, const struct stat& st);
  void closeParked();

  // What every put reads or writes, together at the front of the object:
  // after the write(2) of the previous record these lines are cold.
  const char* pszFileName = nullptr;
  int iFd = -1;
  uint64_t ulWritten = 0;
  long lFileSize = 0;
  long lFileNum = 0;
  long lCurFileNo = 1;
  // Descriptors of finished files of the ring, unlocked, indexed by file
  // number. Emptying a file that was closed after being truncated makes
  // ext4 write it back inside the next close; a file kept open until it is
  // emptied again has nothing left to write back.
  int parkedFd[17] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  char szPrefix[4097];
  HeaderTexts texts;
  VESKConfigInf2 cnf;
  int iFileAttr = -1;

  // Rings this process holds: record locks do not keep a second object of
  // the same process out, so the held files are also listed here.
  dev_t lockedDev = 0;
  ino_t lockedIno = 0;
  VeskLogFile* nextHolder = nullptr;
};

}  // namespace vesk
