// Shared-ring put throughput, printed as records per second:
//  put1     one process, N puts of 100-byte texts into a shared ring of
//           4 files of 4 MiB (the ring wraps several times);
//  minloop  the least a shared put has to do per record: stat of the
//           management file, lockf lock and unlock of it, memcpy of the
//           192-byte record into a mapped 4 MiB file (wrapping);
//  fork1    one forked writer doing 2N puts;
//  fork2    two forked writers doing N puts each into the same ring,
//           started together; rate = 2N / (last end - first start).
// Each case runs --reps times (default 3, interleaved); the median is
// printed last.
// Files go to $TRACE_BENCH_DIR (default /tmp). --lock-wait=MS sets the
// writers' wait between lock attempts (default: the library's);
// --loop-remap=1 makes minloop map its file afresh at each wrap, =2 with
// MAP_POPULATE; --loop-fill=BYTES fills minloop's file with writes of that
// size (default one write), which decides the page-cache folio size on ext4.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vesk2_trace.h"

namespace {

constexpr long kFileSize = 4L << 20;
constexpr long kFileNum = 4;
constexpr size_t kRecordLen = 192;  // 90 columns + 100-byte text + CR LF
const std::string kText(100, 't');

double CpuNow() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Records per CPU second of the single-process cases, less disturbed by
// other load on the machine than the wall-clock rate.
double g_cpuRate = 0;

double Now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

[[noreturn]] void Die(const char* what) {
  std::perror(what);
  std::exit(2);
}

std::string MakeDir() {
  const char* base = std::getenv("TRACE_BENCH_DIR");
  std::string tmpl = std::string(base != nullptr ? base : "/tmp") + "/trace-sbench-XXXXXX";
  if (mkdtemp(tmpl.data()) == nullptr) Die("mkdtemp");
  return tmpl;
}

void RemoveRing(const std::string& dir) {
  for (int i = 1; i <= kFileNum; ++i) unlink((dir + "/ring" + std::to_string(i) + ".log").c_str());
  unlink((dir + "/mmap/ring.mm").c_str());
  rmdir((dir + "/mmap").c_str());
  rmdir(dir.c_str());
}

// minloop variants: 1 maps the file afresh at every wrap, as a ring maps its
// next file; 2 does so with MAP_POPULATE.
int g_loopRemap = 0;

// Size of the writes that fill minloop's file (0: one write of the whole file).
long g_loopFill = 0;

// Lock wait time (ms) the writers set; below 0 keeps the library's default.
int g_lockWait = -1;

VESKTraceObject* OpenRing(const std::string& dir, const char* app) {
  std::string prefix = dir + "/ring";
  tagVESK_LOGFILE_SPEC spec = {kFileSize, kFileNum, prefix.c_str()};
  VESKTraceObject* obj = nullptr;
  int rc = ZELKWSYM_CreateInstanceM(&obj, &spec, app, 0);
  if (rc != 0 && rc != 3) {
    std::fprintf(stderr, "CreateInstanceM failed: error 0x%08X\n", ZELKWSYM_GetLastError(nullptr));
    std::exit(2);
  }
  if (g_lockWait >= 0) ZELKWSYM_SetInstanceLockWaitTime(obj, g_lockWait);
  return obj;
}

// Seconds this thread has spent waiting for a CPU while runnable (0 when
// the kernel does not tell).
double RunQueueWait() {
  FILE* f = std::fopen("/proc/thread-self/schedstat", "r");
  if (f == nullptr) return 0;
  unsigned long long run = 0, wait = 0;
  int got = std::fscanf(f, "%llu %llu", &run, &wait);
  std::fclose(f);
  return got == 2 ? static_cast<double>(wait) * 1e-9 : 0;
}

struct Result {
  double start = 0;
  double end = 0;
  double cpu = 0;   // CPU seconds of the loop
  double wait = 0;  // seconds runnable but not running during the loop
  long done = 0;
  long failed = 0;
  uint32_t lastError = 0;
};

// N puts into an open ring; the ring's files are already prepared.
Result Puts(VESKTraceObject* obj, long n) {
  Result r;
  const double cpu = CpuNow();
  const double wait = RunQueueWait();
  r.start = Now();
  for (long i = 0; i < n; ++i) {
    if (ZELKWSYM_PutInstanceWithId(obj, 0, "ZELKW-001-I", kText.c_str()) == 0) {
      ++r.done;
    } else {
      ++r.failed;
      r.lastError = ZELKWSYM_GetLastError(nullptr);
    }
  }
  r.end = Now();
  r.cpu = CpuNow() - cpu;
  r.wait = RunQueueWait() - wait;
  g_cpuRate = static_cast<double>(r.done) / r.cpu;
  return r;
}

// Creates the ring once (untimed: fills every file) and closes it again.
void PrepareRing(const std::string& dir) {
  VESKTraceObject* obj = OpenRing(dir, "prepare");
  ZELKWSYM_DeleteInstance(obj);
}

double Put1(long n) {
  std::string dir = MakeDir();
  PrepareRing(dir);
  VESKTraceObject* obj = OpenRing(dir, "put1");
  Result r = Puts(obj, n);
  ZELKWSYM_DeleteInstance(obj);
  RemoveRing(dir);
  if (r.failed > 0) {
    std::printf("  put1: %ld puts failed, last error 0x%08X\n", r.failed, r.lastError);
  }
  return static_cast<double>(r.done) / (r.end - r.start);
}

double MinLoop(long n) {
  std::string dir = MakeDir();
  // The same path depth as a ring's management file, as stat walks it.
  std::string mng = dir + "/mmap/ring.mm";
  std::string data = dir + "/ring1.log";
  if (mkdir((dir + "/mmap").c_str(), 0777) != 0) Die("mkdir");
  int mfd = open(mng.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  int dfd = open(data.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (mfd < 0 || dfd < 0) Die("open");
  char zeros[64] = {0};
  if (pwrite(mfd, zeros, sizeof zeros, 0) != 64) Die("pwrite");
  // Filled with spaces like a ring file, so no page is touched first in the loop.
  const long piece = g_loopFill > 0 && g_loopFill < kFileSize ? g_loopFill : kFileSize;
  std::string spaces(static_cast<size_t>(piece), ' ');
  for (long at = 0; at < kFileSize; at += piece) {
    if (pwrite(dfd, spaces.data(), spaces.size(), at) != static_cast<ssize_t>(spaces.size())) {
      Die("pwrite");
    }
  }
  char* map =
      static_cast<char*>(mmap(nullptr, kFileSize, PROT_READ | PROT_WRITE, MAP_SHARED, dfd, 0));
  if (map == MAP_FAILED) Die("mmap");
  std::string record = std::string(90, 'h') + kText + "\r\n";
  size_t offset = 0;
  const double cpu = CpuNow();
  double start = Now();
  for (long i = 0; i < n; ++i) {
    struct stat st;
    if (stat(mng.c_str(), &st) != 0) Die("stat");
    if (lockf(mfd, F_TLOCK, 0) != 0) Die("lockf");
    if (offset + kRecordLen > static_cast<size_t>(kFileSize)) {
      offset = 0;
      if (g_loopRemap != 0) {
        munmap(map, kFileSize);
        map = static_cast<char*>(mmap(nullptr, kFileSize, PROT_READ | PROT_WRITE,
                                      MAP_SHARED | (g_loopRemap == 2 ? MAP_POPULATE : 0), dfd, 0));
        if (map == MAP_FAILED) Die("mmap");
      }
    }
    std::memcpy(map + offset, record.data(), kRecordLen);
    offset += kRecordLen;
    if (lockf(mfd, F_ULOCK, 0) != 0) Die("lockf");
  }
  double end = Now();
  g_cpuRate = static_cast<double>(n) / (CpuNow() - cpu);
  munmap(map, kFileSize);
  close(mfd);
  close(dfd);
  unlink(mng.c_str());
  unlink(data.c_str());
  rmdir((dir + "/mmap").c_str());
  rmdir(dir.c_str());
  return static_cast<double>(n) / (end - start);
}

// Forks `writers` processes that join one ring and each do n puts once all
// have joined; returns all records per second over first start to last end.
double Forked(int writers, long n) {
  std::string dir = MakeDir();
  PrepareRing(dir);
  int ready[2], go[2], out[2];
  if (pipe(ready) != 0 || pipe(go) != 0 || pipe(out) != 0) Die("pipe");
  std::vector<pid_t> pids;
  for (int w = 0; w < writers; ++w) {
    pid_t pid = fork();
    if (pid < 0) Die("fork");
    if (pid == 0) {
      close(ready[0]);
      close(go[1]);
      close(out[0]);
      VESKTraceObject* obj = OpenRing(dir, "writer");
      ZELKWSYM_PutInstanceWithId(obj, 0, "ZELKW-000-I", "warm-up");
      char c = 'r';
      if (write(ready[1], &c, 1) != 1) _exit(2);
      if (read(go[0], &c, 1) != 0) _exit(2);  // end of file: go
      Result r = Puts(obj, n);
      ZELKWSYM_DeleteInstance(obj);
      if (write(out[1], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) _exit(2);
      _exit(0);
    }
    pids.push_back(pid);
  }
  close(ready[1]);
  close(go[0]);
  close(out[1]);
  for (int w = 0; w < writers; ++w) {
    char c;
    if (read(ready[0], &c, 1) != 1) Die("a writer did not start");
  }
  close(go[1]);
  double first = 1e300, last = 0, cpu = 0, wait = 0;
  long done = 0, failed = 0;
  uint32_t lastError = 0;
  for (int w = 0; w < writers; ++w) {
    Result r;
    if (read(out[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) Die("a writer's result");
    first = std::min(first, r.start);
    last = std::max(last, r.end);
    done += r.done;
    cpu += r.cpu;
    wait += r.wait;
    failed += r.failed;
    if (r.failed > 0) lastError = r.lastError;
  }
  for (pid_t pid : pids) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "writer %d did not end cleanly (status 0x%x)\n", static_cast<int>(pid),
                   status);
      std::exit(2);
    }
  }
  close(ready[0]);
  close(out[0]);
  RemoveRing(dir);
  if (std::getenv("TRACE_BENCH_VERBOSE") != nullptr) {
    std::printf("  fork%d: wall %.3f s, writers' CPU %.3f s, waiting for a CPU %.3f s\n", writers,
                last - first, cpu, wait);
  }
  if (failed > 0) {
    std::printf("  fork%d: %ld puts failed, last error 0x%08X\n", writers, failed, lastError);
  }
  return static_cast<double>(done) / (last - first);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  long n = 500000;
  int reps = 3;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--records=", 0) == 0) {
      n = std::atol(a.c_str() + 10);
    } else if (a.rfind("--reps=", 0) == 0) {
      reps = std::atoi(a.c_str() + 7);
    } else if (a.rfind("--lock-wait=", 0) == 0) {
      g_lockWait = std::atoi(a.c_str() + 12);
    } else if (a.rfind("--loop-remap=", 0) == 0) {
      g_loopRemap = std::atoi(a.c_str() + 13);
    } else if (a.rfind("--loop-fill=", 0) == 0) {
      g_loopFill = std::atol(a.c_str() + 12);
    } else if (a.rfind("--only=", 0) == 0) {
      only = a.substr(7);
    } else {
      std::fprintf(stderr,
                   "usage: %s [--records=N] [--reps=R] [--lock-wait=MS] [--loop-remap=0|1|2] "
                   "[--loop-fill=BYTES] "
                   "[--only=put1|minloop|fork1|fork2]\n",
                   argv[0]);
      return 2;
    }
  }
  if (n < 1 || reps < 1) return 2;
  struct Case {
    const char* name;
    double (*run)(long);
  };
  const Case cases[] = {
      {"put1", Put1},
      {"minloop", MinLoop},
      {"fork1", [](long k) { return Forked(1, 2 * k); }},
      {"fork2", [](long k) { return Forked(2, k); }},
  };
  std::printf("N = %ld, ring %ld x %ld bytes, %d repetitions, lock wait %s, records per second\n",
              n, kFileNum, kFileSize, reps,
              g_lockWait < 0 ? "default" : (std::to_string(g_lockWait) + " ms").c_str());
  // Repetitions interleave the cases, so that a change in the machine's
  // load during the run affects all of them alike.
  std::vector<double> rates[4];
  std::vector<double> cpuRates[2];
  for (int r = 0; r < reps; ++r) {
    for (int c = 0; c < 4; ++c) {
      if (!only.empty() && only != cases[c].name) continue;
      rates[c].push_back(cases[c].run(n));
      if (c < 2) cpuRates[c].push_back(g_cpuRate);
    }
  }
  double med[4] = {0, 0, 0, 0};
  for (int c = 0; c < 4; ++c) {
    if (rates[c].empty()) continue;
    std::printf("%-8s", cases[c].name);
    for (double v : rates[c]) std::printf(" %10.0f", v);
    med[c] = Median(rates[c]);
    std::printf("   median %10.0f\n", med[c]);
  }
  double cpuMed[2] = {0, 0};
  for (int c = 0; c < 2; ++c) {
    if (cpuRates[c].empty()) continue;
    cpuMed[c] = Median(cpuRates[c]);
    std::printf("%-8s records per CPU second, median %10.0f\n", cases[c].name, cpuMed[c]);
  }
  if (med[0] > 0 && med[1] > 0) {
    std::printf("put1 / minloop  = %5.1f %%  (target >= 80 %%); by CPU time %5.1f %%\n",
                100 * med[0] / med[1], 100 * cpuMed[0] / cpuMed[1]);
  }
  if (med[2] > 0 && med[3] > 0) {
    std::printf("fork2 / fork1   = %5.1f %%  (target >= 70 %%)\n", 100 * med[3] / med[2]);
  }
  return 0;
}
