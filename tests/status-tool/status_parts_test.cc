// The parts of tickward-status without a BMC or a daemon: decoding the BMC's
// answer, the daemon's settings rules, the verdict table, the trace tail, the
// lock-file probe against a stand-in process, JSON quoting and the options.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <map>

#include "bmc_probe.h"
#include "daemon_probe.h"
#include "json_out.h"
#include "settings_probe.h"
#include "status-tool/json_check.h"
#include "status_args.h"
#include "trace_tail.h"
#include "verdict.h"

namespace {

TEST(StatusParts, DecodesGetWatchdogTimerAnswers) {
  const struct {
    std::vector<uint8_t> bytes;
    bool answered;
    bool running;
    int use, action, pre, initial, present;
    const char* problem;  // part of it
  } cases[] = {
      {{0x00, 0x44, 0x01, 0x00, 0x00, 0x58, 0x02, 0x2c, 0x01}, true, true, 4, 1, 0, 600, 300, ""},
      {{0x00, 0x04, 0x20, 0x05, 0x10, 0xE0, 0x2E, 0xE0, 0x2E},
       true,
       false,
       4,
       0,
       2,
       12000,
       12000,
       ""},
      {{0x00, 0xC1, 0x13, 0x0A, 0x02, 0xFF, 0xFF, 0x00, 0x00}, true, true, 1, 3, 1, 65535, 0, ""},
      {{0xC0}, false, false, 0, 0, 0, 0, 0, "0xC0 (node busy)"},
      {{0xC3, 0x00}, false, false, 0, 0, 0, 0, 0, "timeout"},
      {{0x00, 0x44, 0x01}, false, false, 0, 0, 0, 0, 0, "2 bytes long, not 8"},
      {{}, false, false, 0, 0, 0, 0, 0, "empty"},
  };
  for (const auto& c : cases) {
    BmcState b;
    bool ok = DecodeGetWatchdogTimer(c.bytes.data(), c.bytes.size(), &b);
    std::string what = "answer of " + std::to_string(c.bytes.size()) + " bytes";
    EXPECT_EQ(ok, c.answered) << what;
    EXPECT_EQ(b.answered, c.answered) << what;
    EXPECT_NE(b.problem.find(c.problem), std::string::npos) << what << ": " << b.problem;
    if (!c.answered) continue;
    EXPECT_EQ(b.running(), c.running) << what;
    EXPECT_EQ(b.use(), c.use) << what;
    EXPECT_EQ(b.timeout_action(), c.action) << what;
    EXPECT_EQ(b.pretimeout_interrupt(), c.pre) << what;
    EXPECT_EQ(b.initial_100ms, c.initial) << what;
    EXPECT_EQ(b.present_100ms, c.present) << what;
  }
  EXPECT_STREQ(TimerUseName(4), "SMS/OS");
  EXPECT_STREQ(PretimeoutInterruptName(2), "NMI");
}

// A BMC that answers the use byte as set, without the running bit: only a
// countdown that moves between two answers says the timer runs.
TEST(StatusParts, CountdownMovingMeansRunning) {
  auto at = [](bool answered, int initial, int present) {
    BmcState b;
    b.answered = answered;
    b.use_byte = 0x04;
    b.initial_100ms = initial;
    b.present_100ms = present;
    return b;
  };
  const struct {
    BmcState first, later;
    bool moved;
  } cases[] = {
      {at(true, 600, 400), at(true, 600, 390), true},
      {at(true, 600, 400), at(true, 600, 400), false},   // stopped part-way
      {at(true, 600, 400), at(true, 600, 600), false},   // set again meanwhile
      {at(true, 600, 400), at(true, 1200, 300), false},  // another countdown
      {at(true, 600, 400), at(false, 0, 0), false},
      {at(true, 600, 0), at(true, 600, 0), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CountdownMoved(c.first, c.later), c.moved)
        << c.first.present_100ms << " then " << c.later.present_100ms << " of "
        << c.later.initial_100ms;
  }
  BmcState counting = at(true, 600, 390);
  EXPECT_FALSE(counting.running());
  counting.counting = true;
  EXPECT_TRUE(counting.running());
}

SettingsState Valid() {
  SettingsState s;
  s.readable = true;
  s.error_watching = true;
  s.timeout_action = "PowerCycle";
  s.timeout_action_code = 3;
  s.timeout_interval = 600;
  s.interval_count = 3;
  s.shortening_count = 2;
  s.minimum_interval = 30;
  s.retry_interval = 60;
  s.maximum_retry_time = 15;
  s.log_level = 30;
  s.log_size = 4;
  s.log_pages = 3;
  s.log_name = "mytrace";
  return s;
}

TEST(StatusParts, AppliesTheDaemonsSettingsRules) {
  const struct {
    std::function<void(SettingsState*)> change;
    const char* invalid;  // "" when the set stays
    int timeout;          // in force afterwards
    bool adjusted;
  } cases[] = {
      {[](SettingsState*) {}, "", 600, false},
      {[](SettingsState* s) {
         s->timeout_interval = 60, s->interval_count = 2, s->minimum_interval = 45;
       },
       "", 90, true},
      {[](SettingsState* s) { s->timeout_interval = 3601; }, "TimeoutInterval", 1200, false},
      {[](SettingsState* s) { s->timeout_interval = 59; }, "TimeoutInterval", 1200, false},
      {[](SettingsState* s) { s->interval_count = 11; }, "IntervalCount", 1200, false},
      {[](SettingsState* s) { s->shortening_count = 0; }, "ShorteningCount", 1200, false},
      {[](SettingsState* s) { s->minimum_interval = 361; }, "MinimumInterval", 1200, false},
      {[](SettingsState* s) { s->retry_interval = 3601; }, "RetryInterval", 1200, false},
      {[](SettingsState* s) { s->maximum_retry_time = 61; }, "MaximumRetryTime", 1200, false},
      {[](SettingsState* s) { s->log_level = -2; }, "LogLevel", 1200, false},
      {[](SettingsState* s) { s->log_size = 2048; }, "LogSize", 1200, false},
      {[](SettingsState* s) { s->log_pages = 17; }, "LogPages", 1200, false},
      {[](SettingsState* s) { s->log_name = std::string(226, 'x'); }, "LogName", 1200, false},
      {[](SettingsState* s) { s->timeout_action_code = 0x30; }, "TimeoutAction", 1200, false},
      {[](SettingsState* s) { s->log_level = -1, s->log_pages = 16; }, "", 600, false},
  };
  int row = 0;
  for (const auto& c : cases) {
    SettingsState s = Valid();
    c.change(&s);
    ApplyDaemonRules(&s);
    EXPECT_EQ(s.invalid_key, c.invalid) << "row " << row;
    EXPECT_EQ(s.defaults_applied, c.invalid[0] != '\0') << "row " << row;
    EXPECT_EQ(s.timeout_interval, c.timeout) << "row " << row;
    EXPECT_EQ(s.timeout_adjusted, c.adjusted) << "row " << row;
    if (s.defaults_applied) {
      EXPECT_FALSE(s.error_watching) << "row " << row << ": the built-in set has watching off";
      EXPECT_EQ(s.timeout_action, "NMI") << "row " << row;
      EXPECT_EQ(s.log_name, "qvsmwdt") << "row " << row;
    }
    ++row;
  }
}

TEST(StatusParts, JudgesEveryCombinationInOrder) {
  auto bmc = [](bool answered, bool running) {
    BmcState b;
    b.answered = answered;
    b.use_byte = running ? 0x44 : 0x04;
    return b;
  };
  const struct {
    bool daemon, readable, watching, answered, running;
    Verdict verdict;
    int exit;
  } cases[] = {
      {true, true, true, true, true, Verdict::kProtected, 0},
      {true, true, false, true, false, Verdict::kWatchingOff, 0},
      {true, true, true, true, false, Verdict::kTimerStopped, 3},
      {true, true, false, true, true, Verdict::kTimerRunningWhileOff, 6},
      {true, true, true, false, false, Verdict::kBmcNotAnswering, 4},
      {true, false, true, true, true, Verdict::kSettingsUnreadable, 5},
      {true, false, true, false, false, Verdict::kSettingsUnreadable, 5},
      {false, true, true, true, true, Verdict::kDaemonNotRunning, 2},
      {false, false, false, false, false, Verdict::kDaemonNotRunning, 2},
      {false, true, false, true, false, Verdict::kDaemonNotRunning, 2},
  };
  for (const auto& c : cases) {
    Status s;
    s.daemon.running = c.daemon;
    s.daemon.problem = "no lock file";
    s.settings = Valid();
    s.settings.readable = c.readable;
    s.settings.error_watching = c.watching;
    s.bmc = bmc(c.answered, c.running);
    Verdict v = Judge(s);
    EXPECT_EQ(VerdictKey(v), std::string(VerdictKey(c.verdict)))
        << "daemon " << c.daemon << " readable " << c.readable << " watching " << c.watching
        << " answered " << c.answered << " running " << c.running;
    EXPECT_EQ(ExitStatusOf(v), c.exit) << VerdictKey(v);
    EXPECT_FALSE(Headline(s, v).empty());
  }
  // A daemon gone with the timer left running: the operator learns the clock.
  Status s;
  s.daemon.problem = "no lock file";
  s.bmc = bmc(true, true);
  s.bmc.present_100ms = 425;
  EXPECT_NE(Headline(s, Judge(s)).find("in 42.5 s unless the daemon is started"), std::string::npos)
      << Headline(s, Judge(s));
}

class TempDir : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/status-parts-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { system(("rm -rf " + dir_).c_str()); }
  void Write(const std::string& name, const std::string& text, time_t mtime) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
    struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    utimensat(AT_FDCWD, (dir_ + "/" + name).c_str(), times, 0);
  }
  std::string dir_;
};

std::string Header() {
  return "**** Linux 6.1 host TZ=Unknown 2026/01/01 00:00:00.000\r\n"
         "     yyyy/mm/dd hh:mm:ss.sss                      pid      tid      message-id           "
         " "
         "message(LANG=C)\r\n";
}

TEST_F(TempDir, TailsTheNewestRecordsAcrossTheRing) {
  std::string big = Header();
  for (int i = 0; i < 3000; ++i) big += "old record " + std::to_string(i) + "\r\n";  // > 64 KiB
  Write("t1.log", big, 1000);
  Write("t2.log", Header() + "second a\r\nsecond b\r\n", 2000);
  Write("t3.log", Header() + "third a\r\n", 3000);
  Write("t4.log", Header(), 500);

  const struct {
    size_t count;
    std::vector<std::string> lines;
  } cases[] = {
      {0, {}},
      {1, {"third a"}},
      {3, {"second a", "second b", "third a"}},
      {5, {"old record 2998", "old record 2999", "second a", "second b", "third a"}},
  };
  for (const auto& c : cases) {
    TraceState t = TailTrace(dir_ + "/t", c.count);
    EXPECT_EQ(t.newest_file, dir_ + "/t3.log");
    EXPECT_EQ(t.lines, c.lines) << "last " << c.count << " lines";
    EXPECT_EQ(t.problem, "");
  }
  TraceState all = TailTrace(dir_ + "/t", 1000);
  ASSERT_EQ(all.lines.size(), 1000u);
  EXPECT_EQ(all.lines.front(), "old record 2003");
  EXPECT_EQ(TailTrace(dir_ + "/none", 5).problem, "no trace file " + dir_ + "/noneN.log");

  const std::string record =
      "0069 2026/12/08 10:07:28.740     ZEL-KW           000048DB -------- ZELKW-038-I      "
      "     [2026-12-08 10:07:28:740][41b19b40] WDT_PerformSetReset : resetting is done. "
      "FileName: QVSM_WDTOperationThread.cc, LineNumber: 152.";
  EXPECT_EQ(CompactTraceLine(record),
            "2026/12/08 10:07:28.740 ZELKW-038-I WDT_PerformSetReset : resetting is done.");
  EXPECT_EQ(CompactTraceLine("second a"), "second a");

  SettingsState s;
  s.log_name = "qvsmwdt";
  s.default_log_name = "fallback";
  EXPECT_EQ(TracePrefix(s, "/log"), "/log/qvsmwdt");
  s.log_name = "/var/trace/w";
  EXPECT_EQ(TracePrefix(s, "/log"), "/var/trace/w");
  s.log_name = "/" + std::string(249, 'x');
  EXPECT_EQ(TracePrefix(s, "/log"), "/log/fallback");
}

// A stand-in daemon: locks the file as tickwardd does, under a chosen name.
pid_t LockHolder(const std::string& path, const char* name, bool write_pid) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_NAME, name, 0, 0, 0);
    int fd = open(path.c_str(), O_RDWR | O_CREAT, 0640);
    if (fd < 0 || lockf(fd, F_TLOCK, 0) != 0) _exit(1);
    if (write_pid) dprintf(fd, "%d\n", getpid());
    (void)!write(ready[1], "x", 1);
    pause();
    _exit(0);
  }
  char c;
  (void)!read(ready[0], &c, 1);
  close(ready[0]);
  close(ready[1]);
  return pid;
}

TEST_F(TempDir, ProbesTheLockFileWithoutTakingIt) {
  const std::string lock = dir_ + "/tickwardd.lock";
  const struct {
    const char* holder_name;  // nullptr: nobody holds the lock
    bool write_pid;
    bool running;
    const char* problem;
  } cases[] = {
      {"tickwardd", true, true, ""},
      {"sleep", true, false, "is \"sleep\", not tickwardd"},
      {"tickwardd", false, false, "holds no process id"},
      {nullptr, true, false, "is left over"},
  };
  for (const auto& c : cases) {
    unlink(lock.c_str());
    pid_t holder = -1;
    if (c.holder_name != nullptr) {
      holder = LockHolder(lock, c.holder_name, c.write_pid);
      ASSERT_GT(holder, 0);
    } else {
      std::ofstream(lock) << getpid() << "\n";
    }
    DaemonState d = ProbeDaemon(lock.c_str(), "tickwardd");
    std::string what = c.holder_name ? c.holder_name : "no holder";
    EXPECT_EQ(d.running, c.running) << what << ": " << d.problem;
    EXPECT_NE(d.problem.find(c.problem), std::string::npos) << what << ": " << d.problem;
    if (holder > 0) {
      EXPECT_EQ(d.lock_holder, holder) << what;
      // The probe took nothing: the holder's lock is still there for others.
      int fd = open(lock.c_str(), O_RDWR);
      EXPECT_NE(lockf(fd, F_TEST, 0), 0) << what << ": the lock was lost after the probe";
      close(fd);
      kill(holder, SIGKILL);
      waitpid(holder, nullptr, 0);
    }
  }
  unlink(lock.c_str());
  DaemonState none = ProbeDaemon(lock.c_str(), "tickwardd");
  EXPECT_FALSE(none.lock_file);
  EXPECT_NE(none.problem.find("there is no lock file"), std::string::npos) << none.problem;
  ASSERT_EQ(symlink("/etc/hostname", lock.c_str()), 0);
  EXPECT_FALSE(ProbeDaemon(lock.c_str(), "tickwardd").running) << "a planted link was followed";
}

TEST(StatusParts, QuotesAnyBytesAsValidJson) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"plain", "\"plain\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"tab\tnl\ncr\r", "\"tab\\tnl\\ncr\\u000d\""},
      {"caf\xc3\xa9 \xe2\x82\xac", "\"caf\xc3\xa9 \xe2\x82\xac\""},
      {"bad \xff \xc3 end", "\"bad \\ufffd \\ufffd end\""},
      {"overlong \xc0\xaf", "\"overlong \\ufffd\\ufffd\""},
      {"surrogate \xed\xa0\x80", "\"surrogate \\ufffd\\ufffd\\ufffd\""},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonOut::Quote(c.in), c.out) << c.in;

  JsonOut j;
  j.Begin();
  j.String("s", "x\x01y");
  j.Begin("o");
  j.Int("i", -3);
  j.Number("n", 12.5);
  j.Null("z");
  j.End();
  j.BeginArray("a");
  j.Bool(nullptr, true);
  j.EndArray();
  j.BeginArray("empty");
  j.EndArray();
  j.End();
  std::map<std::string, std::string> flat;
  std::string error;
  ASSERT_TRUE(tw::test::ParseJson(j.text(), &flat, &error)) << error << "\n" << j.text();
  EXPECT_EQ(flat["o.i"], "-3");
  EXPECT_EQ(flat["o.n"], "12.5");
  EXPECT_EQ(flat["a.0"], "true");
  EXPECT_EQ(flat["empty.#"], "0");
  EXPECT_FALSE(tw::test::ParseJson("{\"a\": 1,}", &flat, &error)) << "the checker took bad JSON";
}

TEST(StatusParts, ParsesTheCommandLine) {
  const struct {
    std::vector<const char*> args;
    bool json, help;
    size_t lines;
    const char* error;  // part of it; "" for none
  } cases[] = {
      {{}, false, false, 10, ""},
      {{"--json"}, true, false, 10, ""},
      {{"-j", "-n", "0"}, true, false, 0, ""},
      {{"--lines=1000", "--help"}, false, true, 1000, ""},
      {{"--lines", "1001"}, false, false, 10, "from 0 to 1000"},
      {{"-n"}, false, false, 10, "from 0 to 1000"},
      {{"-n", "-5"}, false, false, 10, "from 0 to 1000"},
      {{"--json", "extra"}, true, false, 10, "unknown argument: extra"},
  };
  for (const auto& c : cases) {
    std::vector<char*> argv = {const_cast<char*>("tickward-status")};
    for (const char* a : c.args) argv.push_back(const_cast<char*>(a));
    StatusOptions o = ParseStatusArgs(static_cast<int>(argv.size()), argv.data());
    std::string what = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(o.json, c.json) << what;
    EXPECT_EQ(o.help, c.help) << what;
    EXPECT_EQ(o.lines, c.lines) << what;
    EXPECT_EQ(o.error.empty(), c.error[0] == '\0') << what << ": " << o.error;
    EXPECT_NE(o.error.find(c.error), std::string::npos) << what << ": " << o.error;
  }
}

}  // namespace
