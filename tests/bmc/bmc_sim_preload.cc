// The simulated BMC as a preloadable library: it stands in for /dev/ipmi0
// (open, the message ioctls, close) in front of the watchdog model of
// bmc_sim_state, and runs the process's timing calls (nanosleep and friends,
// times, alarm) on the simulation's compressed virtual clock.
//
// Inert unless TW_BMC_SIM_DIR names the simulation directory. Nothing here
// keeps a descriptor open between calls: the daemon closes every descriptor
// from 5 up when it daemonizes.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <inttypes.h>
#include <linux/ipmi.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/times.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "bmc_sim_state.h"

namespace bs = tw::bmcsim;

namespace {

constexpr char kDevice[] = "/dev/ipmi0";
constexpr int64_t kSecondNs = 1000 * 1000 * 1000;
constexpr int kMaxDevices = 8;
constexpr int kQueueLength = 32;  // the oldest answer is dropped beyond this

char g_dir[4096];
bool g_active = false;
int64_t g_scale_env = 1;
std::atomic<bs::State*> g_state{nullptr};
pthread_mutex_t g_mu = PTHREAD_MUTEX_INITIALIZER;  // the device table and queues

struct Answer {
  int64_t due_ns;  // virtual time from which a receive may take it
  int64_t order;
  long msgid;
  uint8_t netfn, cmd, len;
  uint8_t data[bs::kMaxResponse];
};

// One open of /dev/ipmi0: a memfd (its own inode, so a recycled descriptor
// number is told apart) and the answers queued on it.
struct Device {
  bool used;
  int fd;
  dev_t dev;
  ino_t ino;
  int64_t next_order;
  int count;
  Answer queue[kQueueLength];
};
Device g_devices[kMaxDevices];

__attribute__((constructor)) void LoadSettings() {
  const char* dir = getenv("TW_BMC_SIM_DIR");
  if (dir != nullptr && dir[0] != '\0' && strlen(dir) < sizeof g_dir - 32) {
    strcpy(g_dir, dir);
    g_active = true;
  }
  const char* scale = getenv("TW_BMC_SIM_SCALE");
  if (scale != nullptr && atoll(scale) > 0) g_scale_env = atoll(scale);
}

template <typename F>
F Next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
// Resolves the next definition of `name` once; the type may hold commas.
#define REAL(name, ...)                                                      \
  using name##_type = __VA_ARGS__;                                           \
  static std::atomic<name##_type> real_##name{nullptr};                      \
  if (real_##name.load() == nullptr) real_##name = Next<name##_type>(#name); \
  name##_type const name##_next = real_##name.load()

bs::State* St() {
  if (!g_active) return nullptr;
  bs::State* s = g_state.load();
  if (s != nullptr) return s;
  pthread_mutex_lock(&g_mu);
  s = g_state.load();
  if (s == nullptr) {
    s = bs::MapState(g_dir, g_scale_env);
    g_state = s;
  }
  pthread_mutex_unlock(&g_mu);
  return s;
}

int64_t Scale() {
  bs::State* s = St();
  return s == nullptr ? 1 : s->scale;
}

// ---- the log ----------------------------------------------------------------

void Seconds(char* out, size_t size, int64_t ns) {
  const char* sign = ns < 0 ? "-" : "";
  if (ns < 0) ns = -ns;
  snprintf(out, size, "%s%" PRId64 ".%09" PRId64, sign, ns / kSecondNs, ns % kSecondNs);
}

void Hex(char* out, size_t size, const uint8_t* data, size_t len) {
  if (len == 0) {
    snprintf(out, size, "-");
    return;
  }
  size_t used = 0;
  for (size_t i = 0; i < len && used + 4 < size; ++i)
    used += snprintf(out + used, size - used, i ? ":%02x" : "%02x", data[i]);
}

const char* FaultName(int64_t fault) {
  static const char* const kNames[] = {"-", "silent", "busy", "lose", "late", "block"};
  return fault >= 0 && fault <= bs::kFaultBlock ? kNames[fault] : "?";
}

// Writes "<seq> <op> wall=… real=… virt=… pid=… tid=… <rest>" under the lock.
void LogLine(bs::State* s, const char* op, int64_t wall_ns, int64_t real_ns, const char* rest) {
  char wall[32], real[32], virt[32], line[1536];
  Seconds(wall, sizeof wall, wall_ns);
  Seconds(real, sizeof real, real_ns);
  Seconds(virt, sizeof virt, real_ns * s->scale);
  int n = snprintf(line, sizeof line, "%" PRId64 " %s wall=%s real=%s virt=%s pid=%d tid=%d %s\n",
                   s->next_seq++, op, wall, real, virt, static_cast<int>(getpid()),
                   static_cast<int>(gettid()), rest);
  if (n > 0) bs::AppendLog(g_dir, line, static_cast<size_t>(n) < sizeof line ? n : sizeof line - 1);
}

// Holds the shared lock for one step; a missing lock only loses ordering.
struct Locked {
  int fd = bs::LockState(g_dir);
  ~Locked() { bs::UnlockState(fd); }
};

// ---- the device table -------------------------------------------------------

Device* FindLocked(int fd) {
  for (Device& d : g_devices) {
    if (!d.used || d.fd != fd) continue;
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_dev == d.dev && st.st_ino == d.ino) return &d;
    d.used = false;  // the number now belongs to another file
  }
  return nullptr;
}

bool IsDevice(int fd) {
  if (!g_active || fd < 0) return false;
  pthread_mutex_lock(&g_mu);
  bool found = FindLocked(fd) != nullptr;
  pthread_mutex_unlock(&g_mu);
  return found;
}

int OpenDevice(int flags) {
  bs::State* s = St();
  if (s == nullptr) {
    errno = ENOENT;
    return -1;
  }
  int64_t wall = bs::RealtimeNs(), real = 0;
  bs::VirtualNs(*s, &real);
  char rest[128];
  {
    Locked lock;
    if (s->open_errno != 0) {
      int err = static_cast<int>(s->open_errno);
      if (s->open_count > 0 && --s->open_count == 0) s->open_errno = 0;
      snprintf(rest, sizeof rest, "fd=-1 err=%d fault=open", err);
      LogLine(s, "open", wall, real, rest);
      errno = err;
      return -1;
    }
  }
  int fd = memfd_create("tw-bmc-sim-ipmi0", (flags & O_CLOEXEC) ? MFD_CLOEXEC : 0);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return -1;
  pthread_mutex_lock(&g_mu);
  FindLocked(fd);  // drops a stale entry for this number
  Device* slot = nullptr;
  for (Device& d : g_devices)
    if (!d.used) {
      slot = &d;
      break;
    }
  if (slot != nullptr) {
    memset(slot, 0, sizeof *slot);
    slot->used = true;
    slot->fd = fd;
    slot->dev = st.st_dev;
    slot->ino = st.st_ino;
  }
  pthread_mutex_unlock(&g_mu);
  if (slot == nullptr) {
    close(fd);
    errno = EMFILE;
    return -1;
  }
  Locked lock;
  snprintf(rest, sizeof rest, "fd=%d err=0", fd);
  LogLine(s, "open", wall, real, rest);
  return fd;
}

bool IsDevicePath(const char* path) {
  return g_active && path != nullptr && !strcmp(path, kDevice);
}

// ---- the driver ---------------------------------------------------------------

// The driver's checks of the request address: the system interface, the BMC.
bool GoodAddress(const unsigned char* addr, unsigned len) {
  if (addr == nullptr || len < sizeof(ipmi_system_interface_addr) || len > IPMI_MAX_ADDR_SIZE)
    return false;
  ipmi_system_interface_addr a;
  memcpy(&a, addr, sizeof a);
  return a.addr_type == IPMI_SYSTEM_INTERFACE_ADDR_TYPE && a.channel == IPMI_BMC_CHANNEL &&
         a.lun <= 3;
}

void SleepRealUninterrupted(int64_t ns) {
  timespec left = {static_cast<time_t>(ns / kSecondNs), static_cast<long>(ns % kSecondNs)};
  REAL(nanosleep, int (*)(const timespec*, timespec*));
  while (nanosleep_next(&left, &left) != 0 && errno == EINTR) {
  }
}

int Send(int fd, const ipmi_req* req) {
  if (req == nullptr || !GoodAddress(req->addr, req->addr_len)) {
    errno = EINVAL;
    return -1;
  }
  if (req->msg.data_len > IPMI_MAX_MSG_LENGTH || (req->msg.data_len > 0 && !req->msg.data)) {
    errno = req->msg.data_len > IPMI_MAX_MSG_LENGTH ? EMSGSIZE : EFAULT;
    return -1;
  }
  bs::State* s = St();
  uint8_t data[IPMI_MAX_MSG_LENGTH];
  size_t len = req->msg.data_len;
  if (len > 0) memcpy(data, req->msg.data, len);
  int64_t wall = bs::RealtimeNs(), real = 0;
  bs::VirtualNs(*s, &real);

  int64_t fault = bs::kFaultNone, param_ms = 0;
  {
    Locked lock;
    if (s->fault != bs::kFaultNone && (s->fault_cmd == 0 || s->fault_cmd == req->msg.cmd)) {
      fault = s->fault;
      param_ms = s->fault_param_ms;
      if (s->fault_count > 0 && --s->fault_count == 0) s->fault = bs::kFaultNone;
    }
  }
  // Blocking happens outside the lock, so the test and other processes go on.
  if (fault == bs::kFaultBlock) SleepRealUninterrupted(param_ms * 1000000 / Scale());

  Answer answer;
  memset(&answer, 0, sizeof answer);
  answer.msgid = req->msgid;
  answer.netfn = static_cast<uint8_t>(req->msg.netfn | 1);
  answer.cmd = req->msg.cmd;
  {
    Locked lock;
    int64_t now = bs::VirtualNs(*s);
    bs::Advance(s, now);
    if (fault == bs::kFaultLose) bs::LoseSettings(s);
    if (fault == bs::kFaultBusy) {
      answer.data[0] = bs::kCcBusy;
      answer.len = 1;
    } else if (fault != bs::kFaultSilent) {
      answer.len = static_cast<uint8_t>(
          bs::Execute(s, now, req->msg.netfn, req->msg.cmd, data, len, answer.data));
    }
    answer.due_ns = now + (fault == bs::kFaultLate ? param_ms * 1000000 : 0);
    char hex[IPMI_MAX_MSG_LENGTH * 3 + 2], cc[8], rest[IPMI_MAX_MSG_LENGTH * 3 + 160];
    Hex(hex, sizeof hex, data, len);
    snprintf(cc, sizeof cc, answer.len ? "0x%02x" : "-", answer.data[0]);
    snprintf(rest, sizeof rest, "fd=%d netfn=0x%02x cmd=0x%02x msgid=%ld data=%s cc=%s fault=%s",
             fd, req->msg.netfn, req->msg.cmd, req->msgid, hex, cc, FaultName(fault));
    LogLine(s, "send", wall, real, rest);
  }
  if (answer.len == 0) return 0;  // silent: the request went nowhere

  pthread_mutex_lock(&g_mu);
  Device* d = FindLocked(fd);
  if (d != nullptr) {
    if (d->count == kQueueLength) {
      memmove(d->queue, d->queue + 1, sizeof(Answer) * (kQueueLength - 1));
      --d->count;
    }
    answer.order = d->next_order++;
    d->queue[d->count++] = answer;
  }
  pthread_mutex_unlock(&g_mu);
  return 0;
}

// Takes the earliest answer that is due, as the driver's receive queue does.
int Receive(int fd, ipmi_recv* recv, bool truncate) {
  if (recv == nullptr) {
    errno = EFAULT;
    return -1;
  }
  bs::State* s = St();
  int64_t wall = bs::RealtimeNs(), real = 0;
  int64_t now = bs::VirtualNs(*s, &real);
  Answer got;
  int result = 0, err = 0;
  bool taken = false;
  pthread_mutex_lock(&g_mu);
  Device* d = FindLocked(fd);
  int pick = -1;
  for (int i = 0; d != nullptr && i < d->count; ++i)
    if (d->queue[i].due_ns <= now && (pick < 0 || d->queue[i].due_ns < d->queue[pick].due_ns))
      pick = i;
  if (pick < 0) {
    result = -1, err = EAGAIN;
  } else if (recv->addr == nullptr || recv->addr_len < sizeof(ipmi_system_interface_addr)) {
    result = -1, err = EINVAL;  // the answer stays queued
  } else if (recv->msg.data_len < d->queue[pick].len && !truncate) {
    result = -1, err = EMSGSIZE;  // the answer stays queued
  } else {
    got = d->queue[pick];
    memmove(d->queue + pick, d->queue + pick + 1, sizeof(Answer) * (d->count - pick - 1));
    --d->count;
    taken = true;
  }
  pthread_mutex_unlock(&g_mu);

  char rest[bs::kMaxResponse * 3 + 160];
  if (taken) {
    ipmi_system_interface_addr from;
    memset(&from, 0, sizeof from);
    from.addr_type = IPMI_SYSTEM_INTERFACE_ADDR_TYPE;
    from.channel = IPMI_BMC_CHANNEL;
    memcpy(recv->addr, &from, sizeof from);
    recv->addr_len = sizeof from;
    recv->recv_type = IPMI_RESPONSE_RECV_TYPE;
    recv->msgid = got.msgid;
    recv->msg.netfn = got.netfn;
    recv->msg.cmd = got.cmd;
    unsigned n = got.len;
    if (n > recv->msg.data_len) {  // cut to the caller's buffer, reported as EMSGSIZE
      n = recv->msg.data_len;
      result = -1, err = EMSGSIZE;
    }
    if (n > 0) memcpy(recv->msg.data, got.data, n);
    recv->msg.data_len = static_cast<unsigned short>(n);
    char hex[bs::kMaxResponse * 3 + 2];
    Hex(hex, sizeof hex, got.data, n);
    snprintf(rest, sizeof rest, "fd=%d netfn=0x%02x cmd=0x%02x msgid=%ld data=%s cc=0x%02x err=%d",
             fd, got.netfn, got.cmd, got.msgid, hex, got.data[0], err);
  } else {
    snprintf(rest, sizeof rest, "fd=%d err=%d", fd, err);
  }
  {
    Locked lock;
    LogLine(s, "recv", wall, real, rest);
  }
  errno = err;
  return result;
}

int DeviceIoctl(int fd, unsigned long request, void* arg) {
  switch (request) {
    case IPMICTL_SEND_COMMAND:
      return Send(fd, static_cast<ipmi_req*>(arg));
    case IPMICTL_RECEIVE_MSG_TRUNC:
      return Receive(fd, static_cast<ipmi_recv*>(arg), true);
    case IPMICTL_RECEIVE_MSG:
      return Receive(fd, static_cast<ipmi_recv*>(arg), false);
    case IPMICTL_SET_GETS_EVENTS_CMD:
      return 0;  // no events are ever queued
    default:
      errno = ENOTTY;
      return -1;
  }
}

void ForgetDevice(int fd) {
  if (!g_active || fd < 0) return;
  pthread_mutex_lock(&g_mu);
  Device* d = FindLocked(fd);
  if (d != nullptr) d->used = false;
  pthread_mutex_unlock(&g_mu);
  if (d == nullptr) return;
  bs::State* s = St();
  int64_t wall = bs::RealtimeNs(), real = 0;
  bs::VirtualNs(*s, &real);
  char rest[32];
  snprintf(rest, sizeof rest, "fd=%d", fd);
  Locked lock;
  LogLine(s, "close", wall, real, rest);
}

// ---- the clock ----------------------------------------------------------------

// A relative sleep of `ns` virtual nanoseconds; *left_ns gets the virtual
// time left when a signal cut it short.
int ScaledSleep(int64_t ns, int64_t* left_ns) {
  REAL(nanosleep, int (*)(const timespec*, timespec*));
  int64_t k = Scale(), real = ns / k;
  timespec want = {static_cast<time_t>(real / kSecondNs), static_cast<long>(real % kSecondNs)};
  timespec rest = {0, 0};
  int r = nanosleep_next(&want, &rest);
  if (r != 0 && left_ns != nullptr) {
    int64_t left = (static_cast<int64_t>(rest.tv_sec) * kSecondNs + rest.tv_nsec) * k;
    *left_ns = left > ns ? ns : left;
  }
  return r;
}

int64_t ToNs(int64_t sec, int64_t nsec) { return sec * kSecondNs + nsec; }

template <typename Ts>
int SleepTs(const Ts* req, Ts* rem) {
  if (req == nullptr || req->tv_nsec < 0 || req->tv_nsec >= kSecondNs || req->tv_sec < 0) {
    errno = EINVAL;
    return -1;
  }
  int64_t left = 0;
  int r = ScaledSleep(ToNs(req->tv_sec, req->tv_nsec), &left);
  if (r != 0 && errno == EINTR && rem != nullptr) {
    rem->tv_sec = static_cast<decltype(rem->tv_sec)>(left / kSecondNs);
    rem->tv_nsec = static_cast<decltype(rem->tv_nsec)>(left % kSecondNs);
  }
  return r;
}

template <typename Ts>
int ClockSleepTs(clockid_t clock, int flags, const Ts* req, Ts* rem) {
  int saved = errno;
  int r = SleepTs(req, rem);
  int err = r == 0 ? 0 : errno;
  errno = saved;
  (void)clock;
  (void)flags;
  return err;
}

}  // namespace

// ---- interposed entry points ------------------------------------------------------

extern "C" {

#define TW_OPEN_BODY(realname, ...)                            \
  mode_t mode = 0;                                             \
  if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) { \
    va_list ap;                                                \
    va_start(ap, flags);                                       \
    mode = static_cast<mode_t>(va_arg(ap, int));               \
    va_end(ap);                                                \
  }                                                            \
  if (IsDevicePath(path)) return OpenDevice(flags);            \
  REAL(realname, int (*)(__VA_ARGS__, int, ...));

__attribute__((visibility("default"))) int open(const char* path, int flags, ...) {
  TW_OPEN_BODY(open, const char*)
  return open_next(path, flags, mode);
}

__attribute__((visibility("default"))) int open64(const char* path, int flags, ...) {
  TW_OPEN_BODY(open64, const char*)
  return open64_next(path, flags, mode);
}

__attribute__((visibility("default"))) int openat(int dirfd, const char* path, int flags, ...) {
  TW_OPEN_BODY(openat, int, const char*)
  return openat_next(dirfd, path, flags, mode);
}

__attribute__((visibility("default"))) int openat64(int dirfd, const char* path, int flags, ...) {
  TW_OPEN_BODY(openat64, int, const char*)
  return openat64_next(dirfd, path, flags, mode);
}

// The _FORTIFY_SOURCE entry points, used when the flags are not constant.
__attribute__((visibility("default"))) int __open_2(const char* path, int flags) {
  if (IsDevicePath(path)) return OpenDevice(flags);
  REAL(__open_2, int (*)(const char*, int));
  return __open_2_next(path, flags);
}

__attribute__((visibility("default"))) int __open64_2(const char* path, int flags) {
  if (IsDevicePath(path)) return OpenDevice(flags);
  REAL(__open64_2, int (*)(const char*, int));
  return __open64_2_next(path, flags);
}

__attribute__((visibility("default"))) int __openat_2(int dirfd, const char* path, int flags) {
  if (IsDevicePath(path)) return OpenDevice(flags);
  REAL(__openat_2, int (*)(int, const char*, int));
  return __openat_2_next(dirfd, path, flags);
}

__attribute__((visibility("default"))) int __openat64_2(int dirfd, const char* path, int flags) {
  if (IsDevicePath(path)) return OpenDevice(flags);
  REAL(__openat64_2, int (*)(int, const char*, int));
  return __openat64_2_next(dirfd, path, flags);
}

__attribute__((visibility("default"))) int close(int fd) {
  ForgetDevice(fd);
  REAL(close, int (*)(int));
  return close_next(fd);
}

__attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...) __THROW {
  va_list ap;
  va_start(ap, request);
  void* arg = va_arg(ap, void*);
  va_end(ap);
  if (IsDevice(fd)) return DeviceIoctl(fd, request, arg);
  REAL(ioctl, int (*)(int, unsigned long, ...));
  return ioctl_next(fd, request, arg);
}

__attribute__((visibility("default"))) int nanosleep(const timespec* req, timespec* rem) {
  if (St() == nullptr) {
    REAL(nanosleep, int (*)(const timespec*, timespec*));
    return nanosleep_next(req, rem);
  }
  return SleepTs(req, rem);
}

// Absolute sleeps name a point on a real clock and are left alone.
__attribute__((visibility("default"))) int clock_nanosleep(clockid_t clock, int flags,
                                                           const timespec* req, timespec* rem) {
  if (St() == nullptr || (flags & TIMER_ABSTIME)) {
    REAL(clock_nanosleep, int (*)(clockid_t, int, const timespec*, timespec*));
    return clock_nanosleep_next(clock, flags, req, rem);
  }
  return ClockSleepTs(clock, flags, req, rem);
}

__attribute__((visibility("default"))) unsigned int sleep(unsigned int seconds) {
  if (St() == nullptr) {
    REAL(sleep, unsigned int (*)(unsigned int));
    return sleep_next(seconds);
  }
  int64_t left = 0;
  if (ScaledSleep(static_cast<int64_t>(seconds) * kSecondNs, &left) == 0) return 0;
  return static_cast<unsigned int>((left + kSecondNs - 1) / kSecondNs);
}

__attribute__((visibility("default"))) int usleep(useconds_t usec) {
  if (St() == nullptr) {
    REAL(usleep, int (*)(useconds_t));
    return usleep_next(usec);
  }
  return ScaledSleep(static_cast<int64_t>(usec) * 1000, nullptr);
}

// The return value runs on the virtual clock; the process times stay real.
__attribute__((visibility("default"))) clock_t times(struct tms* buf) __THROW {
  REAL(times, clock_t(*)(struct tms*));
  clock_t real = times_next(buf);
  bs::State* s = St();
  if (s == nullptr || real == static_cast<clock_t>(-1)) return real;
  static const int64_t tck = sysconf(_SC_CLK_TCK);
  const int64_t kBaseTicks = 1000000;  // keeps readings clear of the error value
  return static_cast<clock_t>(kBaseTicks + bs::VirtualNs(*s) / (kSecondNs / tck));
}

__attribute__((visibility("default"))) unsigned int alarm(unsigned int seconds) __THROW {
  if (St() == nullptr) {
    REAL(alarm, unsigned int (*)(unsigned int));
    return alarm_next(seconds);
  }
  int64_t k = Scale(), ns = static_cast<int64_t>(seconds) * kSecondNs / k;
  itimerval want = {
      {0, 0},
      {static_cast<time_t>(ns / kSecondNs), static_cast<suseconds_t>((ns % kSecondNs) / 1000)}};
  if (seconds > 0 && want.it_value.tv_sec == 0 && want.it_value.tv_usec == 0)
    want.it_value.tv_usec = 1;
  itimerval old;
  if (setitimer(ITIMER_REAL, &want, &old) != 0) return 0;
  int64_t left = (static_cast<int64_t>(old.it_value.tv_sec) * 1000000 + old.it_value.tv_usec) * k;
  if (left == 0) return 0;
  int64_t rounded = (left + 500000) / 1000000;
  return rounded == 0 ? 1 : static_cast<unsigned int>(rounded);
}

#if defined(__i386__)
// 32-bit programs built with 64-bit time_t reach these names instead.
struct Timespec64 {
  int64_t tv_sec;
  int32_t tv_nsec;
  int32_t pad;
};

__attribute__((visibility("default"))) int __nanosleep64(const Timespec64* req, Timespec64* rem) {
  if (St() == nullptr) {
    REAL(__nanosleep64, int (*)(const Timespec64*, Timespec64*));
    return __nanosleep64_next(req, rem);
  }
  return SleepTs(req, rem);
}

__attribute__((visibility("default"))) int __clock_nanosleep_time64(clockid_t clock, int flags,
                                                                    const Timespec64* req,
                                                                    Timespec64* rem) {
  if (St() == nullptr || (flags & TIMER_ABSTIME)) {
    REAL(__clock_nanosleep_time64, int (*)(clockid_t, int, const Timespec64*, Timespec64*));
    return __clock_nanosleep_time64_next(clock, flags, req, rem);
  }
  return ClockSleepTs(clock, flags, req, rem);
}

__attribute__((visibility("default"))) int __ioctl_time64(int fd, unsigned long request, ...) {
  va_list ap;
  va_start(ap, request);
  void* arg = va_arg(ap, void*);
  va_end(ap);
  if (IsDevice(fd)) return DeviceIoctl(fd, request, arg);
  REAL(__ioctl_time64, int (*)(int, unsigned long, ...));
  return __ioctl_time64_next(fd, request, arg);
}
#endif

}  // extern "C"
