// Thread-safe builds: many threads writing alternating instances at once.
#include <gtest/gtest.h>
#include <pthread.h>
#include <syslog.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "harness/syslog_capture.h"
#include "vesk2_syslog.h"

namespace {

TEST(SyslogThreads, EveryMessageArrivesWholeWithItsOwnIdentity) {
  tw::test::SyslogCapture cap;
  constexpr int kThreads = 4;
  constexpr int kPerThread = 150;
  // Shared instances, each written by every thread: the identity a message
  // arrives with must be that of the instance it was written to.
  std::vector<VESK2_SYSLOG*> instances(3);
  for (size_t i = 0; i < instances.size(); ++i) {
    ASSERT_EQ(0, ZELKWSYM_CreateSysLogInstance(&instances[i]));
    const std::string ident = "inst" + std::to_string(i);
    ASSERT_EQ(0, ZELKWSYM_OpenSysLogInstance(instances[i], ident.c_str(), 0,
                                             LOG_LOCAL0 + (static_cast<int>(i) << 3)));
  }
  ZELKWSYM_OpenSysLog("global", 0, LOG_USER);
  const std::string payload(300, 'p');

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int n = 0; n < kPerThread; ++n) {
        const size_t which = static_cast<size_t>(n + t) % (instances.size() + 1);
        const std::string head =
            "t" + std::to_string(t) + " n" + std::to_string(n) + " i" + std::to_string(which);
        if (which == instances.size()) {
          ZELKWSYM_PutToSysLogWithTid(6, head.c_str(), payload.c_str());
        } else {
          ZELKWSYM_PutToSysLogInstance(instances[which], 6, head.c_str(), payload.c_str());
        }
      }
    });
  }
  for (auto& th : threads) th.join();

  auto got = cap.Take(kThreads * kPerThread, std::chrono::seconds(30));
  ASSERT_EQ(static_cast<size_t>(kThreads * kPerThread), got.size());
  std::map<int, int> nextOfThread;
  for (const auto& m : got) {
    int t = -1, n = -1, which = -1;
    ASSERT_EQ(3, std::sscanf(m.text.c_str(), "t%d n%d i%d", &t, &n, &which)) << m.raw;
    const std::string expectedIdent =
        which == static_cast<int>(instances.size()) ? "global" : "inst" + std::to_string(which);
    EXPECT_EQ(expectedIdent, m.ident) << m.raw;
    EXPECT_EQ(payload, m.text.substr(m.text.size() - payload.size()))
        << "message cut or mixed: " << m.raw;
    EXPECT_EQ(nextOfThread[t], n) << "thread " << t << " out of order";
    nextOfThread[t] = n + 1;
  }
  for (auto* inst : instances) EXPECT_EQ(0, ZELKWSYM_DeleteSysLogInstance(inst));
}

}  // namespace
