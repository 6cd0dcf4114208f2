// Cost of a message through the library against plain syslog(3), all into a
// datagram socket at /dev/log that a thread drains. Runs inside the test
// sandbox (root), so nothing reaches the host's syslog.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "harness/sandbox.h"
#include "vesk2_syslog.h"

namespace {

const std::string kText(100, 'm');

// Reads and drops every datagram so that senders never wait on a full queue.
class DevLogSink {
 public:
  DevLogSink() {
    ::unlink("/dev/log");
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, "/dev/log");
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) std::abort();
    int big = 8 << 20;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    drain_ = std::thread([this] {
      char buf[4096];
      while (!stop_) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0) (void)::recv(fd_, buf, sizeof buf, 0);
      }
    });
  }
  ~DevLogSink() {
    stop_ = true;
    drain_.join();
    ::close(fd_);
  }

 private:
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread drain_;
};

void BM_PlainSyslog(benchmark::State& state) {
  ::openlog("bench", LOG_PID | LOG_CONS, LOG_USER);
  for (auto _ : state) ::syslog(LOG_INFO, "%s", kText.c_str());
  state.SetItemsProcessed(state.iterations());
}

void BM_PutToSysLog(benchmark::State& state) {
  ZELKWSYM_OpenSysLog("bench", LOG_PID | LOG_CONS, LOG_USER);
  for (auto _ : state) ZELKWSYM_PutToSysLog(6, kText.c_str());
  state.SetItemsProcessed(state.iterations());
}

void BM_PutToSysLogInstance(benchmark::State& state) {
  VESK2_SYSLOG* inst = nullptr;
  ZELKWSYM_CreateSysLogInstance(&inst);
  ZELKWSYM_OpenSysLogInstance(inst, "bench", LOG_PID | LOG_CONS, LOG_USER);
  for (auto _ : state) ZELKWSYM_PutToSysLogInstance(inst, 6, kText.c_str(), nullptr);
  state.SetItemsProcessed(state.iterations());
  ZELKWSYM_DeleteSysLogInstance(inst);
}

// Two instances written in turn: openlog and setlogmask before every message.
void BM_PutToSysLogTwoInstancesAlternating(benchmark::State& state) {
  VESK2_SYSLOG* a = nullptr;
  VESK2_SYSLOG* b = nullptr;
  ZELKWSYM_CreateSysLogInstance(&a);
  ZELKWSYM_CreateSysLogInstance(&b);
  ZELKWSYM_OpenSysLogInstance(a, "bench-a", LOG_PID, LOG_USER);
  ZELKWSYM_OpenSysLogInstance(b, "bench-b", LOG_PID, LOG_USER);
  bool flip = false;
  for (auto _ : state) {
    ZELKWSYM_PutToSysLogInstance(flip ? a : b, 6, kText.c_str(), nullptr);
    flip = !flip;
  }
  state.SetItemsProcessed(state.iterations());
  ZELKWSYM_DeleteSysLogInstance(a);
  ZELKWSYM_DeleteSysLogInstance(b);
}

BENCHMARK(BM_PlainSyslog);
BENCHMARK(BM_PutToSysLog);
BENCHMARK(BM_PutToSysLogInstance);
BENCHMARK(BM_PutToSysLogTwoInstancesAlternating);

}  // namespace

int main(int argc, char** argv) {
  tw::test::EnterSandbox();
  DevLogSink sink;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
