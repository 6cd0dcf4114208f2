// The installed daemon's life as an operator sees it: start, lock file,
// syslog, reloads by every reload signal and by the settings tool, the timer
// disabled and enabled, orderly stops with a live and a silent BMC, and the
// start under an init system.
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <syslog.h>

#include <fstream>

#include "service/service_fixture.h"

namespace tw::test {
namespace {

TEST_F(ServiceTest, StartsArmsAndStopsInOrder) {
  ASSERT_NO_FATAL_FAILURE(Start(DaemonSettings{}));
  ASSERT_TRUE(WaitForResets(1));
  EXPECT_TRUE(ProcessAlive(pid_));
  EXPECT_TRUE(bmc_->Timer().running);
  std::ifstream lock(kLockFile);
  std::string content((std::istreambuf_iterator<char>(lock)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, std::to_string(pid_) + "\n");
  struct stat st;
  ASSERT_EQ(stat(kLockFile, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  EXPECT_EQ(Stop(), 0);
  EXPECT_NE(access(kLockFile, F_OK), 0) << "the lock file outlived the daemon";
  auto sets = Sets();
  ASSERT_GE(sets.size(), 2u);
  EXPECT_EQ(sets.front().data, ArmBytes(0x01, 60));
  EXPECT_EQ(sets.back().data, kStopBytes);
  EXPECT_FALSE(bmc_->Timer().running);
  EXPECT_EQ((std::vector<std::string>{"ZELKW-061-I", "ZELKW-063-I", "ZELKW-064-I", "ZELKW-062-I"}),
            SyslogIds());
  for (const auto& m : Syslog()) {
    EXPECT_EQ(m.ident, "zelkwmon");
    EXPECT_EQ(m.Facility(), LOG_DAEMON) << m.raw;
    EXPECT_EQ(m.Severity(), 6) << m.raw;
    EXPECT_NE(m.text.find("Vorlan Monitor : The "), std::string::npos) << m.raw;
  }
  EXPECT_NE(Syslog()[0].text.find("Vorlan Monitor : The service started successfully."),
            std::string::npos);
}

TEST_F(ServiceTest, UnreadableSettingsEndTheStartSilently) {
  unlink(kDataDocument);
  int status = StartDaemon(bmc_->Environment());
  if (status == 0) pid_ = LockFilePid();  // for the clean-up
  EXPECT_EQ(status, 255);
  EXPECT_NE(access(kLockFile, F_OK), 0);
  EXPECT_TRUE(Syslog().empty()) << Syslog()[0].raw;
  EXPECT_TRUE(bmc_->Events().empty()) << "the BMC was touched";
}

TEST_F(ServiceTest, SecondStartLeavesTheRunningDaemonAlone) {
  ASSERT_NO_FATAL_FAILURE(Start(DaemonSettings{}));
  ASSERT_TRUE(WaitForResets(1));
  size_t setsBefore = Sets().size();
  // The running daemon holds its trace files and the lock file: the second
  // start fails, before or after it forks, and says so by its status.
  int started = StartDaemon(bmc_->Environment());
  if (started == 0) {
    pid_t child = -1;
    int status = 0;
    ASSERT_TRUE(WaitUntil([&] {
      child = waitpid(-1, &status, WNOHANG);
      return child > 0 && child != pid_;
    }));
    EXPECT_EQ(WEXITSTATUS(status), 255) << "the second daemon's own status";
  } else {
    EXPECT_EQ(started, 255);
  }
  EXPECT_TRUE(ProcessAlive(pid_));
  EXPECT_EQ(LockFilePid(), pid_);
  EXPECT_EQ(Sets().size(), setsBefore) << "the second start touched the BMC";
  size_t resets = Resets().size();
  EXPECT_TRUE(WaitForResets(resets + 1)) << "the running daemon stopped refreshing";
  EXPECT_EQ(Stop(), 0);
}

// Each reload signal, each action, with a new countdown: the timer is
// stopped and armed again with the new values.
TEST_F(ServiceTest, ReloadSignalsArmWithTheNewSettings) {
  struct Row {
    int signal;
    const char* action;
    int code;
    int timeout;
  };
  const Row rows[] = {
      {SIGHUP, "NoAction", 0x00, 61},     {SIGINT, "HardReset", 0x01, 1200},
      {SIGUSR1, "PowerDown", 0x02, 3600}, {SIGHUP, "PowerCycle", 0x03, 90},
      {SIGINT, "NMI", 0x20, 120},         {SIGUSR1, "SMI", 0x10, 75},
  };
  DaemonSettings settings;
  ASSERT_NO_FATAL_FAILURE(Start(settings));
  ASSERT_TRUE(WaitForResets(1));
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.action) + " " + std::to_string(row.timeout));
    size_t sets = Sets().size();
    settings.action = row.action;
    settings.timeout = row.timeout;
    WriteSettings(settings);
    kill(pid_, row.signal);
    ASSERT_TRUE(WaitForSets(sets + 2));
    auto all = Sets();
    EXPECT_EQ(all[sets].data, kStopBytes);
    EXPECT_EQ(all[sets + 1].data, ArmBytes(row.code, row.timeout));
    ASSERT_TRUE(ProcessAlive(pid_)) << "a reload signal stopped the daemon";
  }
  EXPECT_EQ(ArmBytes(0x01, 1200)[4], 0xE0);  // 12000 = 0x2EE0, low byte first
  EXPECT_EQ(ArmBytes(0x01, 1200)[5], 0x2E);
  EXPECT_EQ(Stop(), 0);
}

TEST_F(ServiceTest, SilentBmcAtShutdownGetsFourStopAttemptsASecondApart) {
  ASSERT_NO_FATAL_FAILURE(Start(DaemonSettings{}));
  ASSERT_TRUE(WaitForResets(1));
  size_t before = Sets().size();
  bmc_->SetFault(BmcFault::kSilent);
  EXPECT_EQ(Stop(), 0);
  auto sets = Sets();
  ASSERT_EQ(sets.size(), before + 4) << "stop attempts";
  for (size_t i = before; i < sets.size(); ++i) {
    EXPECT_EQ(sets[i].data, kStopBytes);
    if (i > before) {
      // one second of waiting plus the half second of five empty receives
      double gap = Seconds(sets[i]) - Seconds(sets[i - 1]);
      EXPECT_GE(gap, 1.4) << "attempt " << i - before;
      EXPECT_LE(gap, 2.5) << "attempt " << i - before;
    }
  }
  auto ids = SyslogIds();
  EXPECT_EQ(CountSyslog("ZELKW-064-I"), 0);
  ASSERT_GE(ids.size(), 2u);
  EXPECT_EQ(ids[ids.size() - 2], "ZELKW-067-E");
  EXPECT_EQ(ids.back(), "ZELKW-062-I");
  for (const auto& m : Syslog())
    if (m.text.find("ZELKW-067-E") != std::string::npos) {
      EXPECT_EQ(m.Severity(), 3);
    }
}

TEST_F(ServiceTest, DisabledTimerIsStoppedOnceAndReloadsTurnWatchingOnAndOff) {
  DaemonSettings settings;
  settings.watching = false;
  ASSERT_NO_FATAL_FAILURE(Start(settings));
  ASSERT_TRUE(WaitForSyslog("ZELKW-109-I"));
  ASSERT_EQ(Sets().size(), 1u);
  EXPECT_EQ(Sets()[0].data, kStopBytes);
  EXPECT_TRUE(Resets().empty());
  EXPECT_EQ(CountSyslog("ZELKW-064-I"), 0) << "the start-up stop is silent";
  EXPECT_TRUE(WaitUntil([] { return CountTrace("ZELKW-045-E") >= 1; }));

  settings.watching = true;
  WriteSettings(settings);
  kill(pid_, SIGHUP);
  ASSERT_TRUE(WaitForResets(1));
  EXPECT_EQ(Sets()[1].data, ArmBytes(0x01, 60));
  EXPECT_TRUE(WaitForSyslog("ZELKW-063-I"));

  settings.watching = false;
  WriteSettings(settings);
  kill(pid_, SIGHUP);
  ASSERT_TRUE(WaitForSyslog("ZELKW-109-I", 2));
  EXPECT_EQ(Sets().back().data, kStopBytes);
  EXPECT_EQ(CountSyslog("ZELKW-064-I"), 1);
  EXPECT_FALSE(bmc_->Timer().running);
  size_t sets = Sets().size(), resets = Resets().size();
  EXPECT_EQ(Stop(), 0);
  EXPECT_EQ(Sets().size(), sets) << "no operation thread is left to touch the BMC";
  EXPECT_EQ(Resets().size(), resets);
}

TEST_F(ServiceTest, SettingsToolChangeReachesTheDaemon) {
  ASSERT_NO_FATAL_FAILURE(Start(DaemonSettings{}));
  ASSERT_TRUE(WaitForResets(1));
  size_t sets = Sets().size();
  pid_t tool = Spawn({kToolPath, "--setconfigdata", "tickwardd",
                      "<config><TimeoutInterval>300</TimeoutInterval></config>"},
                     {});
  ASSERT_EQ(WaitExit(tool, std::chrono::seconds(30)), 0);
  ASSERT_TRUE(WaitForSets(sets + 2));
  EXPECT_EQ(Sets()[sets + 1].data, ArmBytes(0x01, 300));
  EXPECT_EQ(Stop(), 0);
}

// Started by an init system: the daemon's parent is process 1, so it stays
// in the foreground, and still locks, logs and answers its signals.
TEST_F(ServiceTest, RunsInTheForegroundUnderProcessOne) {
  WriteSettings(DaemonSettings{});
  auto env = bmc_->Environment();
  pid_t init = fork();
  if (init == 0) {
    if (unshare(CLONE_NEWPID) != 0) _exit(90);
    pid_t one = fork();  // process 1 of the new namespace
    if (one == 0) {
      pid_t daemon = Spawn({kDaemonPath}, env);
      int status = 0;
      while (waitpid(daemon, &status, 0) < 0 && errno == EINTR) {
      }
      _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 91);
    }
    _exit(WaitExit(one, std::chrono::minutes(5)));
  }
  ASSERT_TRUE(WaitForResets(1));
  // init -> process 1 of the namespace -> the daemon, by host process ids.
  auto firstChild = [](pid_t parent) {
    std::ifstream in("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) +
                     "/children");
    pid_t child = -1;
    in >> child;
    return child;
  };
  pid_t daemon = firstChild(firstChild(init));
  ASSERT_GT(daemon, 0);
  EXPECT_TRUE(ProcessAlive(daemon));
  EXPECT_TRUE(WaitForSyslog("ZELKW-061-I"));
  // The lock file holds the daemon's id in its own namespace: the last one
  // of its NSpid line.
  std::ifstream status("/proc/" + std::to_string(daemon) + "/status");
  std::string line;
  pid_t inner = -1;
  while (std::getline(status, line))
    if (line.rfind("NSpid:", 0) == 0) inner = std::stoi(line.substr(line.find_last_of(" \t") + 1));
  EXPECT_GT(inner, 1);
  EXPECT_EQ(LockFilePid(), inner);
  kill(daemon, SIGTERM);
  EXPECT_EQ(WaitExit(init, std::chrono::seconds(60)), 0) << "the daemon's exit status";
  EXPECT_EQ(Sets().back().data, kStopBytes);
  EXPECT_TRUE(WaitForSyslog("ZELKW-062-I"));
  EXPECT_GE(CountTrace("ZELKW-016-K"), 1);
}

}  // namespace
}  // namespace tw::test
