// The double preloaded into a small driver program of this tree's word size
// (and sanitizer), which talks to /dev/ipmi0 as the daemon does: driver
// semantics, each fault switched from the test, the log, the virtual clock.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bmc/bmc_sim_client.h"

extern char** environ;

namespace tw::test {
namespace {

struct DriverRun {
  int status = -1;
  std::vector<std::string> lines;
  double seconds = 0;  // real time the driver took
};

// Runs the driver with the simulation's environment; stdout line by line.
DriverRun Drive(const BmcSim& sim, const std::vector<std::string>& steps) {
  std::vector<std::string> env = sim.Environment();
  for (char** e = environ; *e != nullptr; ++e) {
    std::string kv = *e;
    if (kv.rfind("LD_PRELOAD=", 0) != 0 && kv.rfind("TW_BMC_SIM_", 0) != 0) env.push_back(kv);
  }
  std::vector<std::string> args = {TW_BMC_SIM_DRIVER};
  args.insert(args.end(), steps.begin(), steps.end());
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  for (std::string& e : env) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);

  int out[2];
  DriverRun run;
  if (pipe(out) != 0) return run;
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(out[1]);
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = read(out[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
    if (n > 0) text.append(buf, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  size_t at = 0, nl;
  while ((nl = text.find('\n', at)) != std::string::npos) {
    run.lines.push_back(text.substr(at, nl - at));
    at = nl + 1;
  }
  return run;
}

std::string Joined(const DriverRun& run) {
  std::string s;
  for (const std::string& l : run.lines) s += l + "\n";
  return s;
}

// The value of "key=" in a driver line, as a number.
long Field(const std::string& line, const std::string& key) {
  size_t at = line.find(" " + key + "=");
  if (at == std::string::npos) return -999999;
  return std::strtol(line.c_str() + at + key.size() + 2, nullptr, 0);
}

class BmcPreload : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = "/tmp/tw-bmc-sim-test-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string dir_;
};

const std::vector<std::string> kArmSteps = {"ask", "06", "24", "04", "01", "00", "10", "e0", "2e"};

std::vector<std::string> Steps(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST_F(BmcPreload, DaemonExchangeAndRequestLog) {
  BmcSim sim = BmcSim::Create(dir_, 20);
  DriverRun run =
      Drive(sim, Steps({{"open"}, kArmSteps, {"ask", "06", "22", "ask", "06", "25", "close"}}));
  ASSERT_EQ(0, run.status) << Joined(run);
  ASSERT_EQ(5u, run.lines.size()) << Joined(run);
  EXPECT_EQ(0, Field(run.lines[0], "err")) << run.lines[0];
  EXPECT_EQ("reply msgid=1 netfn=0x07 cmd=0x24 type=1 attempt=1 stale=0 data=00", run.lines[1]);
  EXPECT_EQ("reply msgid=2 netfn=0x07 cmd=0x22 type=1 attempt=1 stale=0 data=00", run.lines[2]);
  EXPECT_NE(std::string::npos, run.lines[3].find("data=00:44:01:00:00:e0:2e:")) << run.lines[3];

  std::vector<BmcEvent> sends = sim.Requests();
  ASSERT_EQ(3u, sends.size());
  const int cmds[] = {0x24, 0x22, 0x25};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(cmds[i], sends[i].cmd);
    EXPECT_EQ(static_cast<long>(i + 1), sends[i].msgid);
    EXPECT_EQ(0x06, sends[i].netfn);
    EXPECT_EQ(0, sends[i].cc);
    EXPECT_EQ("-", sends[i].fault);
    EXPECT_EQ(sends[i].virt_ns, sends[i].real_ns * 20) << "virtual time is 20 x real";
    EXPECT_GT(sends[i].pid, 0);
  }
  EXPECT_EQ((std::vector<uint8_t>{0x04, 0x01, 0x00, 0x10, 0xe0, 0x2e}), sends[0].data);
  EXPECT_GE(sends[1].virt_ns - sends[0].virt_ns, 100000000) << "one 100 ms poll between them";
  std::vector<BmcEvent> all = sim.Events();
  EXPECT_EQ(BmcEvent::Op::kOpen, all.front().op);
  EXPECT_EQ(BmcEvent::Op::kClose, all.back().op);
  for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(static_cast<int64_t>(i + 1), all[i].seq);

  BmcTimerState t = sim.Timer();
  EXPECT_TRUE(t.running);
  EXPECT_EQ(12000, t.initial);
  EXPECT_EQ(1, t.resets);
  EXPECT_GT(t.left_ms, 1190000);
  EXPECT_TRUE(sim.WaitForRequests(kBmcReset, 1, 0));
  EXPECT_FALSE(sim.WaitForRequests(kBmcReset, 2, 30)) << "only one Reset was sent";
}

// Receive before anything is queued, and truncation to the caller's buffer.
TEST_F(BmcPreload, DriverQueueSemantics) {
  BmcSim sim = BmcSim::Create(dir_, 1);
  DriverRun run =
      Drive(sim, {"open", "recv", "272", "send", "06", "25", ";", "recv", "3", "recv", "272"});
  ASSERT_EQ(5u, run.lines.size()) << Joined(run);
  EXPECT_EQ(EAGAIN, Field(run.lines[1], "err")) << run.lines[1];
  EXPECT_EQ(-1, Field(run.lines[3], "r")) << run.lines[3];
  EXPECT_EQ(EMSGSIZE, Field(run.lines[3], "err")) << "truncated: " << run.lines[3];
  EXPECT_EQ(3, Field(run.lines[3], "len")) << run.lines[3];
  EXPECT_EQ(1, Field(run.lines[3], "type")) << run.lines[3];
  EXPECT_NE(std::string::npos, run.lines[3].find("data=00:00:00")) << run.lines[3];
  EXPECT_EQ(EAGAIN, Field(run.lines[4], "err"))
      << "a truncated answer is consumed: " << run.lines[4];
}

struct FaultCase {
  const char* name;
  BmcFault fault;
  uint8_t cmd;
  int64_t delay_ms;
  int count;
  std::vector<std::string> expect;  // substrings of the driver's lines after "open"
  const char* pause;                // virtual seconds between the commands
  const char* logged_fault;         // fault column of the first send
  int logged_cc;
  bool ever_set;
};

TEST_F(BmcPreload, FaultsSwitchedFromTheTest) {
  const std::vector<FaultCase> cases = {
      {"silent",
       BmcFault::kSilent,
       0,
       0,
       0,
       {"noreply msgid=1", "noreply msgid=2"},
       "0",
       "silent",
       -1,
       false},
      {"busy", BmcFault::kBusy, 0, 0, 0, {"data=c0", "data=c0"}, "0", "busy", 0xc0, false},
      {"silent once",
       BmcFault::kSilent,
       0,
       0,
       1,
       {"noreply msgid=1", "msgid=2 netfn=0x07 cmd=0x22"},
       "0",
       "silent",
       -1,
       false},
      {"lose on Reset",
       BmcFault::kLoseSettings,
       0x22,
       0,
       0,
       {"cmd=0x24 type=1 attempt=1 stale=0 data=00", "data=80"},
       "0",
       "-",
       0,
       false},
      {"busy Reset only",
       BmcFault::kBusy,
       0x22,
       0,
       0,
       {"cmd=0x24 type=1 attempt=1 stale=0 data=00", "data=c0"},
       "0",
       "-",
       0,
       true},
      {"late",
       BmcFault::kLate,
       0x24,
       1000,
       0,
       {"noreply msgid=1", "msgid=2 netfn=0x07 cmd=0x22 type=1 attempt=1 stale=1 data=00"},
       "2",
       "late",
       0,
       true},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    BmcSim sim = BmcSim::Create(dir_, 1);
    sim.SetFault(c.fault, c.cmd, c.delay_ms, c.count);
    // The pause between the commands lets a late answer fall due.
    DriverRun run = Drive(sim, Steps({{"open"}, kArmSteps, {"sleep", c.pause, "ask", "06", "22"}}));
    ASSERT_EQ(4u, run.lines.size()) << Joined(run);
    for (size_t i = 0; i < c.expect.size(); ++i)
      EXPECT_NE(std::string::npos, run.lines[i * 2 + 1].find(c.expect[i]))
          << "expected \"" << c.expect[i] << "\" in: " << run.lines[i * 2 + 1];
    std::vector<BmcEvent> sends = sim.Requests();
    ASSERT_EQ(2u, sends.size());
    EXPECT_EQ(c.logged_fault, sends[0].fault);
    EXPECT_EQ(c.logged_cc, sends[0].cc);
    EXPECT_EQ(c.ever_set, sim.Timer().ever_set);
  }
}

TEST_F(BmcPreload, BlockedSendAndFailingOpen) {
  BmcSim sim = BmcSim::Create(dir_, 20);
  sim.SetFault(BmcFault::kBlock, kBmcSet, 40000, 1);  // 40 s virtual, 2 s real
  DriverRun run = Drive(sim, Steps({{"open"}, kArmSteps, kArmSteps}));
  ASSERT_EQ(3u, run.lines.size()) << Joined(run);
  EXPECT_NE(std::string::npos, run.lines[1].find("msgid=1 netfn=0x07 cmd=0x24")) << run.lines[1];
  std::vector<BmcEvent> all = sim.Events();
  int64_t sent = -1, answered = -1;
  for (const BmcEvent& e : all) {
    if (e.op == BmcEvent::Op::kSend && e.msgid == 1) sent = e.virt_ns;
    if (e.op == BmcEvent::Op::kRecv && e.msgid == 1) answered = e.virt_ns;
  }
  EXPECT_GE(answered - sent, 40000000000) << "the send blocked for 40 s of virtual time";
  EXPECT_EQ("block", sim.Requests()[0].fault);
  EXPECT_EQ("-", sim.Requests()[1].fault) << "count 1: the second Set is not blocked";

  for (int err : {ENOENT, EACCES}) {
    BmcSim again = BmcSim::Create(dir_, 1);
    again.FailOpen(err, 1);
    DriverRun open = Drive(again, {"open", "open"});
    ASSERT_EQ(2u, open.lines.size()) << Joined(open);
    EXPECT_EQ("open fd=-1 err=" + std::to_string(err), open.lines[0]);
    EXPECT_EQ(0, Field(open.lines[1], "err")) << "count 1: the next open works: " << open.lines[1];
  }
}

// Descriptors closed behind the double's back (the daemon closes all from 5
// up when it daemonizes): the log and the state still work, a new open too.
TEST_F(BmcPreload, SurvivesClosingEveryDescriptor) {
  BmcSim sim = BmcSim::Create(dir_, 1);
  DriverRun run = Drive(sim, Steps({{"open", "closeall", "open"}, kArmSteps}));
  ASSERT_EQ(4u, run.lines.size()) << Joined(run);
  EXPECT_NE(std::string::npos, run.lines[3].find("data=00")) << run.lines[3];
  std::vector<BmcEvent> all = sim.Events();
  ASSERT_GE(all.size(), 4u);
  EXPECT_EQ(BmcEvent::Op::kClose, all[1].op) << "the first descriptor's close is seen";
  EXPECT_EQ(1u, sim.Requests(kBmcSet).size());
}

TEST_F(BmcPreload, VirtualClockForSleepsTimesAlarmAndCountdown) {
  BmcSim sim = BmcSim::Create(dir_, 50);
  DriverRun run = Drive(sim, {"sleep", "10", "alarm", "30"});
  ASSERT_EQ(2u, run.lines.size()) << Joined(run);
  long hz = Field(run.lines[0], "hz");
  EXPECT_GE(Field(run.lines[0], "ticks"), 10 * hz - 1) << run.lines[0];
  EXPECT_LE(Field(run.lines[0], "ticks"), 20 * hz) << run.lines[0];
  EXPECT_GE(Field(run.lines[1], "ticks"), 30 * hz - 1) << run.lines[1];
  EXPECT_LE(Field(run.lines[1], "ticks"), 40 * hz) << run.lines[1];
  EXPECT_LT(run.seconds, 20.0) << "40 virtual seconds at scale 50 took " << run.seconds << " s";
  EXPECT_GE(sim.VirtualNowNs(), 40000000000);

  // 600 s countdown, 30 virtual seconds later: about 570 s left.
  BmcSim countdown = BmcSim::Create(dir_, 20);
  run = Drive(countdown, Steps({{"open", "ask", "06", "24", "04", "01", "00", "10", "70", "17",
                                 "ask", "06", "22", "sleep", "30", "ask", "06", "25"}}));
  ASSERT_EQ(5u, run.lines.size()) << Joined(run);
  const std::string& get = run.lines[4];
  size_t at = get.find("data=");
  ASSERT_NE(std::string::npos, at) << get;
  unsigned lsb = std::stoul(get.substr(at + 26, 2), nullptr, 16);
  unsigned msb = std::stoul(get.substr(at + 29, 2), nullptr, 16);
  unsigned present = lsb | msb << 8;
  EXPECT_LE(present, 5699u) << get;
  EXPECT_GE(present, 5500u) << get;

  // 2 s countdown, 3 virtual seconds: it expires with its action recorded.
  BmcSim expiry = BmcSim::Create(dir_, 50);
  run = Drive(expiry, Steps({{"open", "ask", "06", "24", "04", "02", "00", "10", "14", "00", "ask",
                              "06", "22", "sleep", "3", "ask", "06", "25"}}));
  ASSERT_EQ(5u, run.lines.size()) << Joined(run);
  EXPECT_NE(std::string::npos, run.lines[4].find("data=00:04:02:00:10:14:00:00:00"))
      << run.lines[4];
  BmcTimerState t = expiry.Timer();
  EXPECT_EQ(1, t.expiries);
  EXPECT_EQ(2, t.last_action);
  EXPECT_FALSE(t.running);
}

TEST(BmcLog, ParsesEveryField) {
  BmcEvent e;
  ASSERT_TRUE(ParseBmcEvent(
      "7 send wall=1700000000.000000001 real=0.500000000 virt=10.000000000 pid=42 tid=43 fd=6 "
      "netfn=0x06 cmd=0x24 msgid=9 data=04:01:00:10:e0:2e cc=0xc0 fault=busy",
      &e));
  EXPECT_EQ(7, e.seq);
  EXPECT_EQ(1700000000000000001, e.wall_ns);
  EXPECT_EQ(500000000, e.real_ns);
  EXPECT_EQ(10000000000, e.virt_ns);
  EXPECT_EQ(43, e.tid);
  EXPECT_EQ(0x24, e.cmd);
  EXPECT_EQ(9, e.msgid);
  EXPECT_EQ(6u, e.data.size());
  EXPECT_EQ(0xc0, e.cc);
  EXPECT_EQ("busy", e.fault);
  EXPECT_FALSE(ParseBmcEvent("7 frob wall=1", &e));
  EXPECT_FALSE(ParseBmcEvent("x send", &e));
}

}  // namespace
}  // namespace tw::test
