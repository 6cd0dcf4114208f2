// The BMC watchdog timer model and its shared file. The model follows the
// IPMI Set/Reset/Get Watchdog Timer commands; time is the simulation's
// virtual clock, and the countdown is evaluated lazily at each access, so no
// thread runs it.
#include "bmc_sim_state.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace tw::bmcsim {
namespace {

constexpr int64_t kTickNs = 100 * 1000 * 1000;  // countdown unit: 100 ms
constexpr int64_t kSecondNs = 1000 * 1000 * 1000;

// The double interposes open(); its own files bypass that.
int RawOpen(const char* path, int flags, int mode = 0) {
  return static_cast<int>(syscall(SYS_openat, AT_FDCWD, path, flags | O_CLOEXEC, mode));
}

// Likewise close(): the double's close() takes its device table's lock.
void RawClose(int fd) { syscall(SYS_close, fd); }

bool JoinPath(char* out, size_t size, const char* dir, const char* name) {
  int n = snprintf(out, size, "%s/%s", dir, name);
  return n > 0 && static_cast<size_t>(n) < size;
}

int64_t Deadline(const Timer& t) { return t.start_ns + t.initial * kTickNs; }

}  // namespace

void Advance(State* s, int64_t now_ns) {
  Timer& t = s->timer;
  if (!t.running) return;
  int64_t deadline = Deadline(t);
  int64_t pre_at = deadline - t.pretimeout * kSecondNs;
  if ((t.action & 0x70) != 0 && !t.pre_done && now_ns >= pre_at) {
    t.pre_done = 1;
    t.pretimeouts++;
    t.last_pretimeout_ns = pre_at < t.start_ns ? t.start_ns : pre_at;
  }
  if (now_ns < deadline) return;
  t.running = 0;
  t.present = 0;
  t.flags |= 1 << (t.use & 0x07);
  t.expiries++;
  t.last_action = t.action & 0x07;
  t.last_expiry_ns = deadline;
}

int64_t PresentCountdown(const State& s, int64_t now_ns) {
  const Timer& t = s.timer;
  if (!t.running) return t.present;
  int64_t left = Deadline(t) - now_ns;
  return left <= 0 ? 0 : (left + kTickNs - 1) / kTickNs;
}

void LoseSettings(State* s) {
  Timer& t = s->timer;
  t.ever_set = t.running = t.use = t.action = t.pretimeout = 0;
  t.flags = t.initial = t.present = t.start_ns = t.pre_done = 0;
}

int Execute(State* s, int64_t now_ns, uint8_t netfn, uint8_t cmd, const uint8_t* data, size_t len,
            uint8_t* response) {
  Timer& t = s->timer;
  response[0] = kCcOk;
  if (netfn != kNetFnApp) {
    response[0] = kCcInvalidCommand;
    return 1;
  }
  switch (cmd) {
    case kCmdSetWatchdog: {
      if (len != 6) {
        response[0] = kCcBadLength;
        return 1;
      }
      int use = data[0] & 0x07, action = data[1] & 0x07, pre = (data[1] >> 4) & 0x07;
      if (use < 1 || use > 5 || action > 3 || pre > 3 || (data[1] & 0x88) != 0) {
        response[0] = kCcBadField;
        return 1;
      }
      bool keep_running = (data[0] & 0x40) != 0 && t.running;
      t.use = data[0] & 0xBF;
      t.action = data[1];
      t.pretimeout = data[2];
      t.flags &= ~(data[3] & 0x3E);
      t.initial = data[4] | (data[5] << 8);
      t.ever_set = 1;
      t.sets++;
      if (keep_running) {  // new values take effect at once, the countdown goes on
        t.start_ns = now_ns;
        t.pre_done = 0;
      } else {
        t.running = 0;
        t.present = t.initial;
      }
      return 1;
    }
    case kCmdResetWatchdog:
      if (len != 0) {
        response[0] = kCcBadLength;
        return 1;
      }
      if (!t.ever_set) {
        response[0] = kCcNotInitialised;
        return 1;
      }
      t.running = 1;
      t.start_ns = now_ns;
      t.pre_done = 0;
      t.resets++;
      Advance(s, now_ns);  // a zero countdown times out at once
      return 1;
    case kCmdGetWatchdog: {
      if (len != 0) {
        response[0] = kCcBadLength;
        return 1;
      }
      int64_t present = PresentCountdown(*s, now_ns);
      response[1] = static_cast<uint8_t>(t.use | (t.running ? 0x40 : 0));
      response[2] = static_cast<uint8_t>(t.action);
      response[3] = static_cast<uint8_t>(t.pretimeout);
      response[4] = static_cast<uint8_t>(t.flags);
      response[5] = static_cast<uint8_t>(t.initial & 0xFF);
      response[6] = static_cast<uint8_t>(t.initial >> 8);
      response[7] = static_cast<uint8_t>(present & 0xFF);
      response[8] = static_cast<uint8_t>(present >> 8);
      return 9;
    }
    default:
      response[0] = kCcInvalidCommand;
      return 1;
  }
}

void Initialise(State* s, int64_t scale) {
  memset(s, 0, sizeof *s);
  s->magic = kMagic;
  s->version = kVersion;
  s->scale = scale < 1 ? 1 : scale;
  s->origin_mono_ns = MonotonicNs();
  s->next_seq = 1;
  s->timer.last_action = -1;
}

State* MapState(const char* dir, int64_t scale_if_new) {
  char path[4096];
  if (!JoinPath(path, sizeof path, dir, kStateFile)) return nullptr;
  mkdir(dir, 0777);  // an existing directory is fine
  int fd = RawOpen(path, O_RDWR | O_CREAT, 0666);
  if (fd < 0) return nullptr;
  State* s = nullptr;
  struct stat st;
  if (flock(fd, LOCK_EX) == 0 && fstat(fd, &st) == 0 &&
      (st.st_size >= static_cast<off_t>(sizeof(State)) || ftruncate(fd, sizeof(State)) == 0)) {
    void* p = mmap(nullptr, sizeof(State), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p != MAP_FAILED) {
      s = static_cast<State*>(p);
      if (s->magic != kMagic || s->version != kVersion) Initialise(s, scale_if_new);
    }
  }
  // The mapping keeps the open file alive, and the flock with it: unlock.
  flock(fd, LOCK_UN);
  RawClose(fd);
  return s;
}

void UnmapState(State* s) {
  if (s != nullptr) munmap(s, sizeof(State));
}

int LockState(const char* dir) {
  char path[4096];
  if (!JoinPath(path, sizeof path, dir, kStateFile)) return -1;
  int fd = RawOpen(path, O_RDWR);
  if (fd < 0) return -1;
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      RawClose(fd);
      return -1;
    }
  }
  return fd;
}

void UnlockState(int lock) {
  if (lock >= 0) RawClose(lock);
}

int64_t MonotonicNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * kSecondNs + ts.tv_nsec;
}

int64_t RealtimeNs() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * kSecondNs + ts.tv_nsec;
}

int64_t VirtualNs(const State& s, int64_t* real) {
  int64_t elapsed = MonotonicNs() - s.origin_mono_ns;
  if (real != nullptr) *real = elapsed;
  return elapsed * s.scale;
}

void AppendLog(const char* dir, const char* line, size_t len) {
  char path[4096];
  if (!JoinPath(path, sizeof path, dir, kLogFile)) return;
  int fd = RawOpen(path, O_WRONLY | O_CREAT | O_APPEND, 0666);
  if (fd < 0) return;
  while (len > 0) {
    ssize_t n = write(fd, line, len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    line += n;
    len -= static_cast<size_t>(n);
  }
  RawClose(fd);
}

}  // namespace tw::bmcsim
