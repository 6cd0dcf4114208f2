// The installed tickward-status against the installed daemon and the
// simulated BMC: one row per state the command tells apart, each with its
// exit status, its --json form and its headline; and proof from the BMC's
// request log that it only ever asked Get Watchdog Timer.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <functional>
#include <map>

#include "service/service_fixture.h"
#include "status-tool/json_check.h"

extern char** environ;

namespace tw::test {
namespace {

constexpr char kStatusPath[] = "/opt/quorrel/zel-px/tool/bin/tickward-status";

struct Output {
  int status = -1;
  pid_t pid = -1;
  std::string out;
};

class StatusTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    WriteSettings(DaemonSettings{});  // a row before may have broken them
  }

  // The daemon may be the 32-bit build: both classes of the double go into
  // LD_PRELOAD and each process's loader takes its own.
  std::vector<std::string> Env() const {
    std::vector<std::string> env = bmc_->Environment();
    for (std::string& e : env)
      if (e.rfind("LD_PRELOAD=", 0) == 0) e += std::string(" ") + TW_BMC_SIM32_LIB;
    return env;
  }

  void StartWith(const DaemonSettings& settings) {
    WriteSettings(settings);
    ASSERT_EQ(StartDaemon(Env()), 0) << "the started process's exit status";
    pid_ = LockFilePid();
    ASSERT_GT(pid_, 0) << "no process id in " << kLockFile;
  }

  // Runs the installed command with the double preloaded; stdout captured.
  Output RunStatus(const std::vector<std::string>& args) const {
    Output o;
    int pipefd[2];
    if (pipe(pipefd) != 0) return o;
    std::vector<std::string> argv = {kStatusPath};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    for (const std::string& e : Env()) env.push_back(e);
    std::vector<char*> a, v;
    for (auto& s : argv) a.push_back(s.data());
    for (auto& s : env) v.push_back(s.data());
    a.push_back(nullptr);
    v.push_back(nullptr);
    o.pid = fork();
    if (o.pid == 0) {
      dup2(pipefd[1], 1);
      close(pipefd[0]);
      close(pipefd[1]);
      execve(a[0], a.data(), v.data());
      _exit(127);
    }
    close(pipefd[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipefd[0], buffer, sizeof buffer)) > 0) o.out.append(buffer, n);
    close(pipefd[0]);
    o.status = WaitExit(o.pid, std::chrono::seconds(60));
    return o;
  }

  // Every command the status processes sent, other than Get Watchdog Timer.
  std::vector<std::string> ForeignCommands(const std::vector<pid_t>& pids, int* gets) const {
    std::vector<std::string> bad;
    *gets = 0;
    for (const BmcEvent& e : bmc_->Requests()) {
      if (std::find(pids.begin(), pids.end(), e.pid) == pids.end()) continue;
      if (e.netfn == 0x06 && e.cmd == kBmcGet)
        ++*gets;
      else
        bad.push_back("netfn " + std::to_string(e.netfn) + " cmd " + std::to_string(e.cmd));
    }
    return bad;
  }
};

// Settings for short timelines: 60 s timeout, refresh every 30 s.
DaemonSettings Watching(bool on) {
  DaemonSettings s;
  s.watching = on;
  return s;
}

struct Row {
  const char* name;
  std::function<void(StatusTest*)> arrange;  // brings the state about
  int exit_status;
  const char* verdict;
  const char* headline;                     // the text form starts with it
  std::map<std::string, std::string> json;  // flattened --json values
  bool asks_bmc = true;                     // a Get reaches the BMC
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

class StatusStates : public StatusTest, public testing::WithParamInterface<Row> {
 public:
  void Arrange() { GetParam().arrange(this); }
  // For the rows' arrange functions, which are not members.
  void Start(const DaemonSettings& s) { StartWith(s); }
  BmcSim& Bmc() { return *bmc_; }
  pid_t DaemonPid() const { return pid_; }
  void Forget() { pid_ = -1; }
  bool WaitSets(size_t n) { return WaitForSets(n); }
  bool WaitResets(size_t n) { return WaitForResets(n); }
};

void Armed(StatusTest* t, const DaemonSettings& s) {
  auto* self = static_cast<StatusStates*>(t);
  ASSERT_NO_FATAL_FAILURE(self->Start(s));
  ASSERT_TRUE(self->WaitResets(1)) << "the daemon never refreshed the timer";
}

const Row kRows[] = {
    {"Protected",
     [](StatusTest* t) { Armed(t, Watching(true)); },
     0,
     "protected",
     "PROTECTED: the BMC timer runs",
     {{"daemon.running", "true"},
      {"settings.ErrorWatching", "true"},
      {"settings.TimeoutAction", "HardReset"},
      {"settings.TimeoutInterval", "60"},
      {"bmc.answered", "true"},
      {"bmc.running", "true"},
      {"bmc.timer_use", "4"},
      {"bmc.timeout_action", "1"},
      {"bmc.timeout_action_name", "hard reset"},
      {"bmc.initial_countdown_s", "60.0"},
      {"bmc.expiration_flags", "0"}}},
    {"ProtectedWithLengthenedTimeout",
     [](StatusTest* t) {
       DaemonSettings s = Watching(true);
       s.action = "NMI";
       s.minimum = 45;  // 60 / 2 < 45: the daemon arms with 2 x 45 s
       Armed(t, s);
     },
     0,
     "protected",
     "PROTECTED",
     {{"settings.TimeoutInterval", "90"},
      {"settings.timeout_adjusted", "true"},
      {"settings.TimeoutAction", "NMI"},
      {"bmc.initial_countdown_s", "90.0"},
      {"bmc.timeout_action", "0"},
      {"bmc.pretimeout_interrupt", "2"}}},
    {"WatchingOff",
     [](StatusTest* t) {
       auto* self = static_cast<StatusStates*>(t);
       ASSERT_NO_FATAL_FAILURE(self->Start(Watching(false)));
       ASSERT_TRUE(self->WaitSets(1)) << "the daemon never stopped the timer";
     },
     0,
     "watching-off",
     "NOT WATCHED, on purpose",
     {{"daemon.running", "true"}, {"settings.ErrorWatching", "false"}, {"bmc.running", "false"}}},
    {"NoDaemon",
     [](StatusTest*) {},
     2,
     "daemon-not-running",
     "NOT PROTECTED: the watchdog daemon",
     {{"daemon.running", "false"},
      {"daemon.lock_file_present", "false"},
      {"daemon.pid", "null"},
      {"bmc.answered", "true"},
      {"bmc.running", "false"}}},
    {"LeftOverLockFile",
     [](StatusTest*) {
       std::ofstream(kLockFile) << getpid() << "\n";  // nobody holds its lock
     },
     2,
     "daemon-not-running",
     "NOT PROTECTED",
     {{"daemon.lock_file_present", "true"}, {"daemon.lock_held", "false"}}},
    {"DaemonKilledTimerLeftRunning",
     [](StatusTest* t) {
       auto* self = static_cast<StatusStates*>(t);
       Armed(t, Watching(true));
       kill(self->DaemonPid(), SIGKILL);
       WaitExit(self->DaemonPid(), std::chrono::seconds(10));
       self->Forget();
     },
     2,
     "daemon-not-running",
     "NOT PROTECTED",
     {{"daemon.running", "false"}, {"daemon.lock_held", "false"}, {"bmc.running", "true"}}},
    {"TimerStoppedWhileWatching",
     [](StatusTest* t) {
       auto* self = static_cast<StatusStates*>(t);
       self->Bmc().SetFault(BmcFault::kBusy, kBmcSet);  // every arm is refused
       ASSERT_NO_FATAL_FAILURE(self->Start(Watching(true)));
       ASSERT_TRUE(self->WaitSets(1)) << "the daemon never tried to arm";
     },
     3,
     "timer-stopped",
     "NOT PROTECTED: ErrorWatching is on",
     {{"daemon.running", "true"}, {"settings.ErrorWatching", "true"}, {"bmc.running", "false"}}},
    {"BmcSilent",
     [](StatusTest* t) {
       Armed(t, Watching(true));
       static_cast<StatusStates*>(t)->Bmc().SetFault(BmcFault::kSilent, kBmcGet);
     },
     4,
     "bmc-not-answering",
     "UNKNOWN: the BMC does not answer",
     {{"bmc.answered", "false"}, {"bmc.completion_code", "null"}}},
    {"BmcBusy",
     [](StatusTest* t) {
       Armed(t, Watching(true));
       static_cast<StatusStates*>(t)->Bmc().SetFault(BmcFault::kBusy, kBmcGet);
     },
     4,
     "bmc-not-answering",
     "UNKNOWN",
     {{"bmc.answered", "false"}, {"bmc.completion_code", "192"}}},
    {"NoIpmiDevice",
     [](StatusTest* t) {
       Armed(t, Watching(true));
       static_cast<StatusStates*>(t)->Bmc().FailOpen(ENOENT);
     },
     4,
     "bmc-not-answering",
     "UNKNOWN",
     {{"bmc.answered", "false"}},
     false},
    {"SettingsUnreadable",
     [](StatusTest* t) {
       Armed(t, Watching(true));
       unlink(kDataDocument);
     },
     5,
     "settings-unreadable",
     "UNKNOWN: the watchdog settings cannot be read",
     {{"settings.readable", "false"}, {"daemon.running", "true"}, {"bmc.running", "true"}}},
    {"TimerRunsWhileWatchingOff",
     [](StatusTest* t) {
       Armed(t, Watching(true));
       WriteSettings(Watching(false));  // changed, not yet reloaded
     },
     6,
     "timer-running-while-off",
     "WARNING: ErrorWatching is off but the BMC timer runs",
     {{"settings.ErrorWatching", "false"}, {"bmc.running", "true"}}},
};

TEST_P(StatusStates, ExitStatusJsonAndHeadline) {
  const Row& row = GetParam();
  ASSERT_NO_FATAL_FAILURE(Arrange());

  Output json = RunStatus({"--json"});
  EXPECT_EQ(json.status, row.exit_status) << "exit status of --json; output:\n" << json.out;
  std::map<std::string, std::string> flat;
  std::string error;
  ASSERT_TRUE(ParseJson(json.out, &flat, &error)) << error << " in:\n" << json.out;
  std::map<std::string, std::string> want = row.json;
  want["verdict"] = row.verdict;
  want["exit_status"] = std::to_string(row.exit_status);
  if (flat["daemon.running"] == "true") want["daemon.pid"] = std::to_string(pid_);
  for (const auto& [path, value] : want)
    EXPECT_EQ(flat.count(path) ? flat[path] : "(missing)", value) << "--json value of " << path;
  for (const char* key : {"summary", "daemon.lock_file", "settings.readable", "bmc.problem",
                          "trace.file", "trace.lines.#"})
    EXPECT_EQ(flat.count(key), 1u) << "--json lacks " << key;

  Output text = RunStatus({"--lines", "3"});
  EXPECT_EQ(text.status, row.exit_status) << "exit status of the text form:\n" << text.out;
  EXPECT_EQ(text.out.rfind(row.headline, 0), 0u)
      << "expected the screen to start with \"" << row.headline << "\", got:\n"
      << text.out;

  int gets = 0;
  std::vector<std::string> foreign = ForeignCommands({json.pid, text.pid}, &gets);
  EXPECT_TRUE(foreign.empty()) << "the status command sent " << foreign.size()
                               << " other commands, first: " << foreign[0];
  EXPECT_EQ(gets, row.asks_bmc ? 2 : 0) << "Get Watchdog Timer requests of the two runs";
}

INSTANTIATE_TEST_SUITE_P(Rows, StatusStates, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) { return info.param.name; });

TEST_F(StatusTest, ShowsTheDaemonsLastTraceLinesAndAnswersHelp) {
  ASSERT_NO_FATAL_FAILURE(StartWith(Watching(true)));
  ASSERT_TRUE(WaitForResets(1));
  ASSERT_TRUE(WaitUntil([] { return CountTrace("ZELKW-038-I") > 0; }))
      << "the daemon traced no refresh";
  Output json = RunStatus({"--json", "--lines", "4"});
  std::map<std::string, std::string> flat;
  std::string error;
  ASSERT_TRUE(ParseJson(json.out, &flat, &error)) << error;
  EXPECT_EQ(flat["trace.lines.#"], "4");
  EXPECT_EQ(flat["trace.file"].rfind("/opt/quorrel/zel-kw/log/qvsmwdt", 0), 0u)
      << flat["trace.file"];
  // The last line shown is one of the daemon's own, and a recent one.
  std::vector<std::string> lines = TraceLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(flat["trace.lines.3"].find("ZELKW-"), std::string::npos) << flat["trace.lines.3"];

  Output help = RunStatus({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Exit status:"), std::string::npos) << help.out;
  EXPECT_EQ(RunStatus({"--lines", "many"}).status, 64);
  EXPECT_EQ(RunStatus({"--frobnicate"}).status, 64);
}

}  // namespace
}  // namespace tw::test
