#include "test_util.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace tw::test {

ScratchDir::ScratchDir() {
  char tmpl[] = "/tmp/tw-reader-XXXXXX";
  const char* p = mkdtemp(tmpl);
  path_ = p ? p : "";
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(f);
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

LockHolder::LockHolder(const std::string& path) {
  int up[2], down[2];
  if (pipe(up) != 0 || pipe(down) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    close(up[0]);
    close(down[1]);
    const int fd = open(path.c_str(), O_RDWR);
    const char ok = fd >= 0 && lockf(fd, F_LOCK, 0) == 0 ? 'L' : 'E';
    if (write(up[1], &ok, 1) != 1) _exit(1);
    for (;;) pause();  // until Release ends this process
  }
  close(up[1]);
  close(down[0]);
  toChild_ = down[1];
  char c = 0;
  held_ = read(up[0], &c, 1) == 1 && c == 'L';
  close(up[0]);
}

void LockHolder::Release() {
  if (pid_ <= 0) return;
  // By signal, not by closing the pipe: other forked test processes may
  // hold copies of its write end.
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  close(toChild_);
  pid_ = -1;
  held_ = false;
}

LockHolder::~LockHolder() { Release(); }

}  // namespace tw::test
