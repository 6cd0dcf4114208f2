// Scratch directories, files and a process that holds a ring's lock, for the
// reader's tests.
#pragma once

#include <sys/types.h>

#include <string>

namespace tw::test {

// A fresh directory under /tmp, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

bool WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

// A child process that holds the lockf lock of a file until released.
class LockHolder {
 public:
  explicit LockHolder(const std::string& path);  // returns once the lock is held
  ~LockHolder();
  bool held() const { return held_; }
  void Release();

 private:
  pid_t pid_ = -1;
  int toChild_ = -1;
  bool held_ = false;
};

}  // namespace tw::test
