// Shows that this build's 32-bit programs run on this machine, natively or
// emulated, with what the daemon relies on: threads, a signal handled by the
// main thread followed by pthread_kill waking a second thread from pause(),
// fork, lockf and a private mount namespace.
//   ia32_probe how   prints "native" or "emulated"
//   ia32_probe       runs every check; exit status 0 when all pass
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "harness/emulation.h"

namespace {

using Clock = std::chrono::steady_clock;

// Every wait is bounded: a check that would hang reports a failure instead.
bool WaitFor(const std::atomic<int>& value, int want, std::chrono::seconds limit) {
  const auto end = Clock::now() + limit;
  while (value.load() < want) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::string CheckThreads() {
  constexpr int kThreads = 4, kRounds = 10000;
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  long counter = 0;
  struct Arg {
    pthread_mutex_t* mutex;
    long* counter;
  } arg{&mutex, &counter};
  pthread_t threads[kThreads];
  for (pthread_t& t : threads) {
    int rc = pthread_create(
        &t, nullptr,
        [](void* p) -> void* {
          auto* a = static_cast<Arg*>(p);
          for (int i = 0; i < kRounds; ++i) {
            pthread_mutex_lock(a->mutex);
            ++*a->counter;
            pthread_mutex_unlock(a->mutex);
          }
          return nullptr;
        },
        &arg);
    if (rc != 0) return std::string("pthread_create: ") + std::strerror(rc);
  }
  for (pthread_t t : threads) pthread_join(t, nullptr);
  if (counter != long{kThreads} * kRounds) {
    return "counter " + std::to_string(counter) + ", expected " +
           std::to_string(long{kThreads} * kRounds);
  }
  return "";
}

std::atomic<int> g_hups{0};
std::atomic<int> g_wakeups{0};
std::atomic<int> g_usr2s{0};
std::atomic<int> g_pausing{0};

// The daemon's pattern: the main thread takes SIGHUP, then tells its
// operation thread, asleep in pause(), with pthread_kill.
std::string CheckSignals() {
  constexpr int kRounds = 20;
  struct sigaction sa {};
  sa.sa_handler = [](int) { g_hups.fetch_add(1); };
  sigemptyset(&sa.sa_mask);
  if (sigaction(SIGHUP, &sa, nullptr) != 0) return std::string("sigaction: ") + strerror(errno);
  sa.sa_handler = [](int) { g_usr2s.fetch_add(1); };
  if (sigaction(SIGUSR2, &sa, nullptr) != 0) return std::string("sigaction: ") + strerror(errno);

  sigset_t usr2;
  sigemptyset(&usr2);
  sigaddset(&usr2, SIGUSR2);
  pthread_sigmask(SIG_BLOCK, &usr2, nullptr);  // main never takes SIGUSR2
  pthread_t sleeper;
  int rc = pthread_create(
      &sleeper, nullptr,
      [](void*) -> void* {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &set, nullptr);  // SIGHUP goes to the main thread
        sigemptyset(&set);
        sigaddset(&set, SIGUSR2);
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        for (int i = 1; i <= kRounds; ++i) {
          g_pausing.store(i);
          pause();
          g_wakeups.fetch_add(1);
        }
        return nullptr;
      },
      nullptr);
  if (rc != 0) return std::string("pthread_create: ") + std::strerror(rc);

  std::string failure;
  for (int i = 1; i <= kRounds && failure.empty(); ++i) {
    kill(getpid(), SIGHUP);
    if (!WaitFor(g_hups, i, std::chrono::seconds(5))) {
      failure = "round " + std::to_string(i) + ": the main thread never handled SIGHUP";
      break;
    }
    // A signal that lands just before pause() is handled but wakes
    // nothing, as with any pause(); only one that stays unanswered while
    // the handler has not run either is a failure.
    WaitFor(g_pausing, i, std::chrono::seconds(5));
    const auto end = Clock::now() + std::chrono::seconds(5);
    const int handled_before = g_usr2s.load();
    int sent = 0;
    while (g_wakeups.load() < i && Clock::now() < end) {
      if (g_usr2s.load() - handled_before >= sent) {  // none unanswered
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        pthread_kill(sleeper, SIGUSR2);
        ++sent;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (g_wakeups.load() < i) {
      failure = "round " + std::to_string(i) + ": pthread_kill(SIGUSR2) did not wake the thread " +
                "from pause() within 5 s (" + std::to_string(g_usr2s.load()) +
                " SIGUSR2 handled in all)";
    }
  }
  if (failure.empty()) {
    pthread_join(sleeper, nullptr);
  } else {
    pthread_detach(sleeper);  // asleep for good; the process ends it on exit
  }
  return failure;
}

// Runs body() in a child process; its exit status is the result.
template <typename Body>
int InChild(Body body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  if (pid < 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string CheckFork() {
  int got = InChild([] { return 42; });
  return got == 42 ? "" : "child exit status " + std::to_string(got) + ", expected 42";
}

std::string CheckLockf(const std::string& dir) {
  const std::string path = dir + "/lock";
  int fd = open(path.c_str(), O_RDWR | O_CREAT, 0600);
  if (fd < 0) return "open " + path + ": " + strerror(errno);
  std::string failure;
  if (lockf(fd, F_TLOCK, 0) != 0) failure = std::string("lockf F_TLOCK: ") + strerror(errno);
  auto try_lock = [&] {
    return InChild([&] {
      int other = open(path.c_str(), O_RDWR);
      if (other < 0) return 2;
      return lockf(other, F_TLOCK, 0) == 0 ? 0 : (errno == EACCES || errno == EAGAIN ? 1 : 3);
    });
  };
  if (failure.empty()) {
    int held = try_lock();
    if (held != 1)
      failure = "another process got the held lock (child status " + std::to_string(held) + ")";
  }
  if (failure.empty() && lockf(fd, F_ULOCK, 0) != 0)
    failure = std::string("F_ULOCK: ") + strerror(errno);
  if (failure.empty()) {
    int freed = try_lock();
    if (freed != 0)
      failure = "the released lock stayed held (child status " + std::to_string(freed) + ")";
  }
  close(fd);
  unlink(path.c_str());
  return failure;
}

std::string CheckMountNamespace(const std::string& dir) {
  if (geteuid() != 0) return "needs root";
  const std::string target = dir + "/ns";
  const std::string file = target + "/inside";
  if (mkdir(target.c_str(), 0700) != 0) return "mkdir " + target + ": " + strerror(errno);
  int got = InChild([&] {
    if (unshare(CLONE_NEWNS) != 0) return 2;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 3;
    if (mount("tw-probe", target.c_str(), "tmpfs", 0, "size=64k") != 0) return 4;
    int fd = open(file.c_str(), O_WRONLY | O_CREAT, 0600);
    if (fd < 0) return 5;
    close(fd);
    struct stat st {};
    return stat(file.c_str(), &st) == 0 ? 0 : 6;
  });
  std::string failure;
  static const char* const kSteps[] = {
      "", "", "unshare(CLONE_NEWNS)", "making / private", "tmpfs", "writing", "reading back"};
  if (got != 0) {
    failure = "child failed at " + std::string(got > 0 && got < 7 ? kSteps[got] : "(died)") +
              " (status " + std::to_string(got) + ")";
  } else if (access(file.c_str(), F_OK) == 0) {
    failure = "the child's private mount is visible outside its namespace";
  }
  rmdir(target.c_str());
  return failure;
}

}  // namespace

int main(int argc, char** argv) {
  const char* how = tw::test::HowThisRuns();
  if (argc > 1 && std::strcmp(argv[1], "how") == 0) {
    std::printf("%s\n", how);
    return 0;
  }
  char dir[] = "/tmp/tw-ia32-probe.XXXXXX";
  if (mkdtemp(dir) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  int failed = 0;
  auto report = [&](const char* name, const std::string& failure) {
    if (failure.empty()) {
      std::printf("ok   %s\n", name);
    } else {
      std::printf("FAIL %s: %s\n", name, failure.c_str());
      ++failed;
    }
  };
  report("threads", CheckThreads());
  report("signals", CheckSignals());
  report("fork", CheckFork());
  report("lockf", CheckLockf(dir));
  report("mount namespace", CheckMountNamespace(dir));
  rmdir(dir);
  std::printf("ia32 probe: %d-bit program ran %s%s%s: %s\n", int(sizeof(void*) * 8), how,
              tw::test::RunningEmulated() ? " by " : "", tw::test::EmulatorPath().c_str(),
              failed == 0 ? "all checks passed" : "checks failed");
  return failed == 0 ? 0 : 1;
}
