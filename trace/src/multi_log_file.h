// Shared ring: trace files of fixed size mapped shared by every writing
// process, and a 64-byte management file (also mapped) that says which file
// is current and where its data ends. Writers serialise with a lockf lock
// on the management file.
#pragma once

#include <fcntl.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "header_text.h"
#include "ring.h"
#include "vesk2_trace.h"
#include "vesk2_trace_format.h"

namespace vesk {

class VeskMultiLogFile final : public VeskRing {
 public:
  static void* operator new(size_t size) noexcept;
  static void operator delete(void* p) noexcept;

  explicit VeskMultiLogFile(const tagVESK_LOGFILE_SPEC* spec);
  ~VeskMultiLogFile() override;

  bool IsShared() const override { return true; }
  void setOption(uint32_t option) {
    ulOption = option;
    ulMode = option | VESK2_MODE_UNUSED_BITS;
  }
  // The instance's name for the process line; null: the global ring's.
  void setAppName(const char* name) { pszAppName = name; }

  // 0, 3 (the management file was built anew from existing trace files,
  // code 29 stored) or -1.
  int openFile() override;
  int putMessage(const char* bytes, size_t length) override;
  int bufferFlush() override;
  int closeFile() override;
  int chFileAttr(int mode) override;
  void setFileAttr(int mode) override { iFileAttr = mode; }
  int getFileAttr() const override { return iFileAttr; }

  int backupToFile(const char* target, int flag) override;

  int setLockWaitTime(int ms) override;
  int getLockWaitTime() const override { return pszFileName != nullptr ? iLockWaitTime : 0; }
  int setLockRetryTimes(int count) override;
  int getLockRetryTimes() const override { return pszFileName != nullptr ? iLockRetryTimes : 0; }

 private:
  using Record = VESK_MANAGEMENT_DATA;

  int mp_lock();
  int mp_unlock();
  int updateModeAndRetryMpLock(uint32_t recordMode);
  // Copies, checks (repairs) the record and narrows the mode; -1 (code 22)
  // when the narrowed mode demands a lock that cannot be had.
  int readRecord(Record* copy);
  void repareManagementFile(Record* copy);
  Record currentRecord(uint32_t mode) const;
  int searchTraceFileData();
  unsigned long searchEOF(long fileNo);
  int openManagementFile();
  int openTraceFile(bool initial);
  int prepareTraceFile(long fileNo, bool keepOpen);
  int openFileFunc(const char* name, int flags = O_RDWR | O_CREAT);
  int selectAndWriteFile(const char* bytes, size_t length, Record* state, bool header);
  int putFileHeader(Record* state, bool withProcessLine);
  int closeTraceFile();
  int closeManagementFile();
  void traceFileName(char* out, long fileNo) const;
  uint32_t* words() const { return static_cast<uint32_t*>(pMngMap); }

  long lFileSize = 0;
  long lFileNum = 0;
  const char* pszFileName = nullptr;
  int iTraceFd = -1;
  int iMngFd = -1;
  int iLockState = -1;
  ino_t iMngInode = static_cast<ino_t>(-1);
  void* pTraceMap;
  void* pMngMap;
  char szPrefix[4097];
  char szTraceFileName[4097];
  char szMMapDir[4097];
  char szMngFileName[4097];
  long lCurFileNo = 0;
  unsigned long ulCurOffset = 0;
  long lMngFileSize = 0;
  long lMngFileNum = 0;
  long lMapSize = 0;
  unsigned long ulMapLen = 0;
  uint32_t ulMode = VESK2_MODE_UNUSED_BITS;
  uint32_t ulOption = 0;
  uint32_t ulEodLen = VESK2_EOD_MARK_LEN;
  uint32_t iLockCount = 0;
  int iLockWaitTime = 1;
  int iLockRetryTimes = 20;
  HeaderTexts texts;
  const char* pszAppName = nullptr;
  int iFileAttr = -1;
  long lFlushedOffset = 0;
};

}  // namespace vesk
