#include "daemon_probe.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

// /proc/<pid>/comm of a live, non-zombie process; "" otherwise.
std::string LiveProcessName(pid_t pid) {
  if (pid <= 0 || (kill(pid, 0) != 0 && errno != EPERM)) return "";
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return "";
  size_t paren = line.rfind(')');
  if (paren == std::string::npos || paren + 2 >= line.size() || line[paren + 2] == 'Z') return "";
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

// The pid the daemon wrote: decimal digits and a newline, nothing else.
pid_t ParsePid(const char* text) {
  char* end = nullptr;
  errno = 0;
  long value = strtol(text, &end, 10);
  if (errno != 0 || end == text || value <= 0 || value > 0x7fffffff) return -1;
  if (*end != '\n' && *end != '\0') return -1;
  return static_cast<pid_t>(value);
}

}  // namespace

DaemonState ProbeDaemon(const char* lock_path, const char* name) {
  DaemonState d;
  // /tmp is world-writable: a link planted at the name is not the daemon's file.
  int fd = open(lock_path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT)
      d.problem = std::string("there is no lock file ") + lock_path;
    else
      d.problem = std::string("cannot open the lock file ") + lock_path + ": " + strerror(errno);
    return d;
  }
  d.lock_file = true;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    d.problem = std::string(lock_path) + " is not a plain file, so it is not the daemon's lock";
    return d;
  }
  char text[32] = {};
  ssize_t got = pread(fd, text, sizeof text - 1, 0);
  if (got > 0) d.pid = ParsePid(text);

  // F_GETLK reports a conflicting lock and its owner; it never takes one,
  // so the probe cannot disturb the daemon (closing fd drops no lock of its).
  struct flock probe = {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = 0;
  probe.l_len = 0;
  int locked = fcntl(fd, F_GETLK, &probe);
  int lock_errno = errno;
  close(fd);
  if (locked != 0) {
    d.problem = std::string("cannot test the lock on ") + lock_path + ": " + strerror(lock_errno);
    return d;
  }
  d.lock_held = probe.l_type != F_UNLCK;
  if (d.lock_held) d.lock_holder = probe.l_pid;
  d.process_name = LiveProcessName(d.pid);

  if (!d.lock_held) {
    d.problem =
        std::string("the lock file ") + lock_path + " is left over: no process holds its lock";
  } else if (d.pid <= 0) {
    d.problem = std::string("the lock file ") + lock_path + " is locked but holds no process id";
  } else if (d.lock_holder > 0 && d.lock_holder != d.pid) {
    d.problem = "the lock file names process " + std::to_string(d.pid) + " but process " +
                std::to_string(d.lock_holder) + " holds its lock";
  } else if (d.process_name.empty()) {
    d.problem = "process " + std::to_string(d.pid) + " named in the lock file is not alive";
  } else if (d.process_name != name) {
    d.problem = "process " + std::to_string(d.pid) + " named in the lock file is \"" +
                d.process_name + "\", not " + name;
  } else {
    d.running = true;
  }
  return d;
}
