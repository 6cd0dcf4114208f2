// The daemon against a BMC that misbehaves: refresh rhythm and message ids,
// the shortening of the interval down to the no-response mode and back, a
// BMC that lost its settings, a late answer, a hanging driver call and a
// device that cannot be opened.
#include "service/service_fixture.h"

namespace tw::test {
namespace {

// Virtual seconds of each send since the first, with its command.
std::vector<std::pair<int, double>> Timeline(const std::vector<BmcEvent>& sends) {
  std::vector<std::pair<int, double>> out;
  for (const auto& e : sends) out.emplace_back(e.cmd, Seconds(e) - Seconds(sends.front()));
  return out;
}

std::string Describe(const std::vector<std::pair<int, double>>& timeline) {
  std::string text;
  for (const auto& [cmd, at] : timeline)
    text += (cmd == kBmcSet ? "S@" : "R@") + std::to_string(static_cast<int>(at + 0.5)) + " ";
  return text;
}

TEST_F(ServiceTest, RefreshesAtTheIntervalWithConsecutiveMessageIds) {
  DaemonSettings settings;
  settings.timeout = 60;
  settings.count = 3;  // a refresh every 20 s
  ASSERT_NO_FATAL_FAILURE(Start(settings));
  ASSERT_TRUE(WaitForResets(5));
  auto resets = Resets();
  for (size_t i = 1; i < 5; ++i) {
    double gap = Seconds(resets[i]) - Seconds(resets[i - 1]);
    EXPECT_NEAR(gap, 20.0, 1.5) << "refresh " << i;
  }
  EXPECT_EQ(Stop(), 0);
  auto sends = bmc_->Requests();
  ASSERT_GE(sends.size(), 7u);
  for (size_t i = 0; i < sends.size(); ++i) EXPECT_EQ(sends[i].msgid, static_cast<long>(i + 1));
  auto timer = bmc_->Timer();
  EXPECT_EQ(timer.expiries, 0) << "the timer fired while the host was healthy";
}

// T 60, 2 refreshes per period, shortening by 2 down to 15 s, retries every
// 60 s. The BMC answers busy from the third refresh on:
//   R@60 fails: next 15, budget 30+15 = 45 -> S@75
//   S@75 fails: next 15 (floor), budget 60 -> S@90
//   S@90 fails: budget 75 > 60 -> ZELKW-065-E, no response -> S@150, S@210 ...
// and recovers once it answers again (ZELKW-066-I), refreshing every 30 s.
TEST_F(ServiceTest, BusyBmcShortensIntoNoResponseAndRecovers) {
  ASSERT_NO_FATAL_FAILURE(Start(DaemonSettings{}));
  ASSERT_TRUE(WaitForResets(2));  // R@0, R@30
  bmc_->SetFault(BmcFault::kBusy);
  ASSERT_TRUE(WaitForSets(4));  // S@0, S@75, S@90, S@150
  bmc_->ClearFault();
  ASSERT_TRUE(WaitForResets(5));  // R@210, R@240
  EXPECT_EQ(Stop(), 0);

  const std::vector<std::pair<int, double>> expected = {
      {kBmcSet, 0},  {kBmcReset, 0}, {kBmcReset, 30}, {kBmcReset, 60},  {kBmcSet, 75},
      {kBmcSet, 90}, {kBmcSet, 150}, {kBmcSet, 210},  {kBmcReset, 210}, {kBmcReset, 240}};
  auto actual = Timeline(bmc_->Requests());
  ASSERT_GE(actual.size(), expected.size()) << Describe(actual);
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(actual[i].first, expected[i].first) << i << ": " << Describe(actual);
    EXPECT_NEAR(actual[i].second, expected[i].second, 2.5) << i << ": " << Describe(actual);
  }
  auto ids = SyslogIds();
  std::vector<std::string> watched;
  for (const auto& id : ids)
    if (id == "ZELKW-063-I" || id == "ZELKW-065-E" || id == "ZELKW-066-I") watched.push_back(id);
  EXPECT_EQ(watched, (std::vector<std::string>{"ZELKW-063-I", "ZELKW-065-E", "ZELKW-066-I"}));
  // Unrefreshed since R@30, the timer fired at 90: when the budget ran out.
  EXPECT_EQ(bmc_->Timer().expiries, 1);
}

TEST_F(ServiceTest, BmcThatLostItsSettingsIsArmedAgain) {
  ASSERT_NO_FATAL_FAILURE(Start(DaemonSettings{}));
  ASSERT_TRUE(WaitForResets(1));
  bmc_->SetFault(BmcFault::kLoseSettings, kBmcReset, 0, 1);
  ASSERT_TRUE(WaitForSets(2));
  ASSERT_TRUE(WaitForResets(3));
  auto resets = Resets();
  EXPECT_EQ(resets[1].cc, 0x80);
  auto sets = Sets();
  EXPECT_EQ(sets[1].data, ArmBytes(0x01, 60));
  // re-armed after one shortened interval: 30 / 2 = 15 s
  EXPECT_NEAR(Seconds(sets[1]) - Seconds(resets[1]), 15.0, 2.0);
  EXPECT_EQ(resets[2].cc, 0);
  EXPECT_TRUE(bmc_->Timer().running);
  EXPECT_EQ(CountSyslog("ZELKW-065-E"), 0);
  EXPECT_EQ(Stop(), 0);
}

// A refresh answered after the daemon gave up on it: its answer waits in the
// driver and must not be taken for the answer to the next command.
TEST_F(ServiceTest, LateAnswerIsNotTakenForTheNextOne) {
  ASSERT_NO_FATAL_FAILURE(Start(DaemonSettings{}));
  ASSERT_TRUE(WaitForResets(1));
  bmc_->SetFault(BmcFault::kLate, kBmcReset, 800, 1);
  ASSERT_TRUE(WaitForSets(2));
  ASSERT_TRUE(WaitForResets(3));
  EXPECT_TRUE(bmc_->Timer().running);
  EXPECT_EQ(Stop(), 0);
  // After each send the BMC answered in time, the answer the daemon takes
  // before its next send must carry that send's message id.
  long pending = -1;
  std::string pendingFault = "late";
  bool answered = true;
  int checked = 0;
  for (const auto& e : bmc_->Events()) {
    if (e.op == BmcEvent::Op::kSend) {
      if (pendingFault == "-") {
        EXPECT_TRUE(answered) << "message " << pending << " never got its own answer";
        ++checked;
      }
      pending = e.msgid;
      pendingFault = e.fault;
      answered = false;
    } else if (e.op == BmcEvent::Op::kRecv && e.err == 0 && e.msgid == pending) {
      answered = true;
    }
  }
  EXPECT_GE(checked, 3);
  auto sets = Sets();
  ASSERT_GE(sets.size(), 2u);
  EXPECT_EQ(sets[1].data, ArmBytes(0x01, 60));
}

TEST_F(ServiceTest, HangingDriverCallIsReportedOnce) {
  ASSERT_NO_FATAL_FAILURE(Start(DaemonSettings{}));
  ASSERT_TRUE(WaitForResets(1));
  bmc_->SetFault(BmcFault::kBlock, kBmcReset, 35000, 1);
  ASSERT_TRUE(WaitForResets(3));
  EXPECT_TRUE(WaitUntil([] { return CountTrace("ZELKW-113-E") >= 1; }));
  EXPECT_EQ(Stop(), 0);
  EXPECT_EQ(CountTrace("ZELKW-113-E"), 1);
}

TEST_F(ServiceTest, DeviceThatCannotBeOpenedAndAReloadAfterwards) {
  bmc_->FailOpen(ENOENT);
  ASSERT_NO_FATAL_FAILURE(Start(DaemonSettings{}));
  ASSERT_TRUE(WaitForSyslog("ZELKW-110-I"));
  EXPECT_TRUE(bmc_->Requests().empty());
  EXPECT_TRUE(ProcessAlive(pid_));
  bmc_->FailOpen(0);
  kill(pid_, SIGHUP);
  ASSERT_TRUE(WaitForResets(1)) << "a reload must start a new operation thread";
  EXPECT_EQ(Sets()[0].data, ArmBytes(0x01, 60));
  EXPECT_TRUE(WaitForSyslog("ZELKW-063-I"));
  EXPECT_EQ(Stop(), 0);
  EXPECT_EQ(Sets().back().data, kStopBytes);
}

}  // namespace
}  // namespace tw::test
