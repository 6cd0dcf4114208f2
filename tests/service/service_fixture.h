// One installed daemon per test, with a fresh simulated BMC (time running
// kScale times faster for the daemon), its own settings and a capture of
// everything it sends to syslog.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <memory>
#include <string>
#include <vector>

#include "bmc/bmc_sim_client.h"
#include "harness/syslog_capture.h"
#include "service/daemon_process.h"

namespace tw::test {

// Set Watchdog Timer data that stops the timer.
inline const std::vector<uint8_t> kStopBytes = {0x04, 0x00, 0x00, 0x10, 0x00, 0x00};

inline std::vector<uint8_t> ArmBytes(int action, int timeout) {
  int countdown = timeout * 10;
  return {0x04, static_cast<uint8_t>(action),           0x00,
          0x10, static_cast<uint8_t>(countdown & 0xFF), static_cast<uint8_t>(countdown >> 8)};
}

inline double Seconds(const BmcEvent& e) { return e.virt_ns / 1e9; }

class ServiceTest : public testing::Test {
 protected:
  static constexpr int kScale = 20;

  void SetUp() override {
    BecomeSubreaper();
    unlink(kLockFile);
    bmc_ = std::make_unique<BmcSim>(BmcSim::Create("/tmp/bmc-sim", kScale));
    syslog_ = std::make_unique<SyslogCapture>();
  }

  void TearDown() override {
    if (pid_ > 0 && ProcessAlive(pid_)) {
      kill(pid_, SIGKILL);
      WaitExit(pid_, std::chrono::seconds(10));
    }
    syslog_.reset();
    system("rm -f /opt/quorrel/zel-kw/log/*.log");
  }

  // Starts the daemon with these settings; it must come up and lock.
  void Start(const DaemonSettings& settings) {
    WriteSettings(settings);
    ASSERT_EQ(StartDaemon(bmc_->Environment()), 0) << "the started process's exit status";
    pid_ = LockFilePid();
    ASSERT_GT(pid_, 0) << "no process id in " << kLockFile;
  }

  // SIGTERM, and the daemon's exit status.
  int Stop() {
    kill(pid_, SIGTERM);
    int status = WaitExit(pid_, std::chrono::seconds(60));
    pid_ = -1;
    return status;
  }

  std::vector<BmcEvent> Sets() const { return bmc_->Requests(kBmcSet); }
  std::vector<BmcEvent> Resets() const { return bmc_->Requests(kBmcReset); }
  bool WaitForSets(size_t n) const { return bmc_->WaitForRequests(kBmcSet, n, 20000); }
  bool WaitForResets(size_t n) const { return bmc_->WaitForRequests(kBmcReset, n, 20000); }

  // Syslog lines received so far, in order.
  const std::vector<SyslogMessage>& Syslog() {
    for (auto& m : syslog_->TakeAll(std::chrono::milliseconds(20))) seen_.push_back(m);
    return seen_;
  }
  int CountSyslog(const std::string& id) {
    int n = 0;
    for (const auto& m : Syslog())
      if (m.text.find(id) != std::string::npos) ++n;
    return n;
  }
  bool WaitForSyslog(const std::string& id, int n = 1) {
    return WaitUntil([&] { return CountSyslog(id) >= n; });
  }
  // Identifiers of the syslog lines so far, in order.
  std::vector<std::string> SyslogIds() {
    std::vector<std::string> ids;
    for (const auto& m : Syslog()) {
      auto at = m.text.find("ZELKW-");
      if (at != std::string::npos) ids.push_back(m.text.substr(at, 11));
    }
    return ids;
  }

  std::unique_ptr<BmcSim> bmc_;
  std::unique_ptr<SyslogCapture> syslog_;
  std::vector<SyslogMessage> seen_;
  pid_t pid_ = -1;
};

}  // namespace tw::test
