// A lockf lock on a whole file held by another process, as a writer in
// another program would hold it: a forked child opens the file, locks it
// and keeps the lock until Release() or destruction.
#pragma once

#include <sys/types.h>

#include <string>

namespace tw::test {

class ForeignLock {
 public:
  explicit ForeignLock(const std::string& path);
  ~ForeignLock();
  ForeignLock(const ForeignLock&) = delete;
  ForeignLock& operator=(const ForeignLock&) = delete;

  // Whether the child got the lock.
  bool locked() const { return locked_; }
  // Lets the child drop the lock and end; waits for it.
  void Release();

 private:
  pid_t child_ = -1;
  int release_ = -1;
  bool locked_ = false;
};

}  // namespace tw::test
