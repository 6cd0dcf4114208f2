// What the output path needs from a file object. The single-process ring
// (VeskLogFile) is one kind; a ring shared between processes is another,
// which also carries the inter-process lock values.
#pragma once

#include <cstddef>

namespace vesk {

class VeskRing {
 public:
  virtual ~VeskRing() = default;

  virtual bool IsShared() const = 0;
  // 0, or -1 with the code in the thread's record (3: shared ring rebuilt).
  virtual int openFile() = 0;
  virtual int putMessage(const char* bytes, size_t length) = 0;
  virtual int bufferFlush() = 0;
  virtual int closeFile() = 0;
  virtual int chFileAttr(int mode) = 0;
  virtual void setFileAttr(int mode) = 0;
  virtual int getFileAttr() const = 0;
  // Copies the ring, oldest file first, into one file at target. flag 16
  // (shared rings) copies without holding the inter-process lock.
  virtual int backupToFile(const char* target, int flag) = 0;

  // Inter-process lock values; a ring without them keeps nothing and says 0.
  virtual int setLockWaitTime(int) { return 0; }
  virtual int getLockWaitTime() const { return 0; }
  virtual int setLockRetryTimes(int) { return 0; }
  virtual int getLockRetryTimes() const { return 0; }
};

}  // namespace vesk
