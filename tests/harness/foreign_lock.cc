#include "harness/foreign_lock.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tw::test {

ForeignLock::ForeignLock(const std::string& path) {
  int ready[2], release[2];
  if (::pipe(ready) != 0) return;
  if (::pipe(release) != 0) {
    ::close(ready[0]);
    ::close(ready[1]);
    return;
  }
  child_ = ::fork();
  if (child_ == 0) {
    // Only the parent may keep the release pipe's write end open, or the
    // child's read never sees the end of it.
    ::close(release[1]);
    ::close(ready[0]);
    int fd = ::open(path.c_str(), O_RDWR);
    char c = fd >= 0 && ::lockf(fd, F_LOCK, 0) == 0 ? 'y' : 'n';
    (void)!::write(ready[1], &c, 1);
    (void)!::read(release[0], &c, 1);
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  char c = 'n';
  if (child_ > 0 && ::read(ready[0], &c, 1) == 1) locked_ = c == 'y';
  ::close(ready[0]);
  release_ = release[1];
}

ForeignLock::~ForeignLock() { Release(); }

void ForeignLock::Release() {
  if (release_ != -1) {
    ::close(release_);  // the child's read returns and it ends
    release_ = -1;
  }
  if (child_ > 0) {
    ::waitpid(child_, nullptr, 0);
    child_ = -1;
  }
  locked_ = false;
}

}  // namespace tw::test
