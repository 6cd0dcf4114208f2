// The event log through the installed trace and syslog libraries: what
// reaches the trace file and syslog, the ring's losses, trace file paths and
// the adaptation on reloads. Runs in the test sandbox.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "QVSM_ErrorLogging.h"
#include "QVSM_Globals.h"
#include "daemon/daemon_test_util.h"
#include "daemon/line_match.h"
#include "harness/syslog_capture.h"

namespace {

using tw::test::CountTraceHeaders;
using tw::test::DrainLogBuffer;
using tw::test::FileExists;
using tw::test::ReadTraceRecords;
using tw::test::TraceRecord;

const std::string kLogDir = TW_KW_LOG;
using tw::test::AfterDaemonPrefix;

bool StartsEnds(const std::string& s, const std::string& head, const std::string& tail) {
  return s.size() >= head.size() + tail.size() && s.compare(0, head.size(), head) == 0 &&
         s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

class EventLogTest : public testing::Test {
 protected:
  void SetUp() override {
    tw::test::InitSettingsMutex();
    DrainLogBuffer();
    g_nXmlLogLevel = 30;
    g_nInitializeFromDaemonize = 1;
  }
  void TearDown() override {
    EXPECT_EQ(g_objErrorLog.WDT_StopLogging(), 0);
    DrainLogBuffer();
  }
  static void Settings(const char* name, int size = 1, int pages = 2, int level = 30,
                       const char* defaultName = "qvsmwdt") {
    CWDTSettingsAccess::SetLog(size, pages, level, name, defaultName);
  }
  // Waits until the logger thread has taken everything out of the ring,
  // with no further put to wake it.
  static bool RingEmptiedWithin(std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (WDT_LogBuffer().Stored() != 0) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }
};

std::vector<TraceRecord> WithId(const std::vector<TraceRecord>& all, const std::string& id) {
  std::vector<TraceRecord> out;
  for (const auto& r : all) {
    if (r.id == id) out.push_back(r);
  }
  return out;
}

TEST_F(EventLogTest, MessagesBufferedBeforeTheLoggerStartsAreWrittenAndTheLossCounted) {
  Settings("/tmp/el/full/t");
  ASSERT_EQ(g_objErrorLog.WDT_InitialiseLogFiles(), 0);
  for (int i = 0; i <= 480; ++i) WDT_TRACE(ZELKW_030_K, "Fill", i);
  EXPECT_EQ(WDT_LogBuffer().Stored(), 480);
  ASSERT_EQ(g_objErrorLog.WDT_StartLoggerThread(), 0);
  EXPECT_TRUE(RingEmptiedWithin(std::chrono::seconds(10)))
      << WDT_LogBuffer().Stored() << " messages stayed in the ring after the logger started";
  ASSERT_EQ(g_objErrorLog.WDT_StopLogging(), 0);

  const std::vector<TraceRecord> all = ReadTraceRecords("/tmp/el/full/t1.log");
  ASSERT_GE(all.size(), 4u);
  EXPECT_EQ(all.front().id, "ZELKW-059-K");
  EXPECT_EQ(all.back().id, "ZELKW-060-K");
  ASSERT_EQ(all[1].id, "ZELKW-058-E") << "the loss is reported before the next line";
  EXPECT_TRUE(StartsEnds(AfterDaemonPrefix(all[1].text),
                         "Skipped to output 1 messages. FileName: QVSM_ErrorLogging.cc, "
                         "LineNumber: ",
                         ". "))
      << all[1].text;
  const std::vector<TraceRecord> fill = WithId(all, "ZELKW-030-K");
  ASSERT_EQ(fill.size(), 480u);
  for (int i = 1; i <= 480; ++i) {
    const std::string want = "Fill : Request to IPMI sent : " + std::to_string(i) + ".";
    ASSERT_NE(fill[i - 1].text.find(want), std::string::npos)
        << "line " << i << " expected " << want << ", got " << fill[i - 1].text;
  }
  EXPECT_EQ(fill[0].app, "ZEL-KW");
  EXPECT_EQ(all[2].id, "ZELKW-030-K") << "the first kept message follows the report";
}

TEST_F(EventLogTest, TraceLineCarriesThePrefixAndTheCallersFileAndLine) {
  Settings("/tmp/el/line/t");
  ASSERT_EQ(g_objErrorLog.WDT_InitialiseLogFiles(), 0);
  ASSERT_EQ(g_objErrorLog.WDT_StartLoggerThread(), 0);
  const int line = __LINE__ + 1;
  WDT_TRACE(ZELKW_013_E, "Main", "WDT_RemoveLockFile");
  g_nXmlLogLevel = 20;
  WDT_TRACE(ZELKW_011_K, "Main");  // filtered out at LogLevel 20
  ASSERT_EQ(g_objErrorLog.WDT_StopLogging(), 0);

  const std::vector<TraceRecord> all = ReadTraceRecords("/tmp/el/line/t1.log");
  const std::vector<TraceRecord> failed = WithId(all, "ZELKW-013-E");
  ASSERT_EQ(failed.size(), 1u);
  char tid[32];
  std::snprintf(tid, sizeof tid, "%lx", static_cast<unsigned long>(pthread_self()));
  std::string gotTid;
  EXPECT_EQ(AfterDaemonPrefix(failed[0].text, &gotTid),
            "Main : The function WDT_RemoveLockFile is failed. FileName: event_log_test.cc, "
            "LineNumber: " +
                std::to_string(line) + ".");
  EXPECT_EQ(gotTid, tid);
  EXPECT_EQ(failed[0].app, "ZEL-KW");
  EXPECT_TRUE(WithId(all, "ZELKW-011-K").empty());
}

TEST_F(EventLogTest, SyslogMessagesReachSyslogUnderTheDaemonsIdentity) {
  tw::test::SyslogCapture capture;
  Settings("/tmp/el/sys/t");
  ASSERT_EQ(g_objErrorLog.WDT_InitialiseLogFiles(), 0);
  g_objErrorLog.LogSysLog(7, "ZELKW-061-I", "importance 7");
  g_objErrorLog.LogSysLog(-1, "ZELKW-061-I", "importance -1");
  EXPECT_EQ(WDT_LogBuffer().Stored(), 0) << "importances outside 0 to 6 are not buffered";
  g_nXmlLogLevel = -1;  // syslog does not depend on LogLevel
  WDT_SYSLOG(ZELKW_061_I);
  WDT_SYSLOG(ZELKW_119_W);
  WDT_SYSLOG(ZELKW_065_E);
  ASSERT_EQ(g_objErrorLog.WDT_StartLoggerThread(), 0);
  std::vector<tw::test::SyslogMessage> got = capture.Take(3);
  ASSERT_EQ(g_objErrorLog.WDT_StopLogging(), 0);
  for (const auto& m : capture.TakeAll()) got.push_back(m);

  const struct {
    WdtMsgId msg;
    int severity;
  } want[] = {{ZELKW_061_I, LOG_INFO}, {ZELKW_119_W, LOG_NOTICE}, {ZELKW_065_E, LOG_ERR}};
  ASSERT_EQ(got.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    const WdtMessage& m = WDT_GetMessage(want[i].msg);
    SCOPED_TRACE(m.id);
    EXPECT_EQ(got[i].ident, "zelkwmon");
    EXPECT_EQ(got[i].pid, getpid());
    EXPECT_EQ(got[i].Facility(), LOG_DAEMON);
    EXPECT_EQ(got[i].Severity(), want[i].severity);
    const std::string head = std::string(m.id) + " ";
    ASSERT_EQ(got[i].text.rfind(head, 0), 0u) << got[i].text;
    EXPECT_EQ(AfterDaemonPrefix(got[i].text.substr(head.size())), m.text) << got[i].text;
  }
}

TEST_F(EventLogTest, TraceFilePathFollowsLogName) {
  const std::string at225(225, 'a');
  const std::string at226(226, 'b');
  const struct {
    std::string name;
    std::string file;
  } cases[] = {
      {"wdt", kLogDir + "/wdt1.log"},
      {"/tmp/el/abs/trace", "/tmp/el/abs/trace1.log"},
      {at225, kLogDir + "/" + at225 + "1.log"},  // 249 characters: kept
      {at226, kLogDir + "/fallback1.log"},       // 250: the definition's default
      {"/tmp/el/" + std::string(241, 'c'), "/tmp/el/" + std::string(241, 'c') + "1.log"},
      {"/tmp/el/" + std::string(242, 'd'), kLogDir + "/fallback1.log"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ::unlink((kLogDir + "/fallback1.log").c_str());
    Settings(c.name.c_str(), 1, 2, 30, "fallback");
    ASSERT_EQ(g_objErrorLog.WDT_InitialiseLogFiles(), 0);
    ASSERT_EQ(g_objErrorLog.WDT_StopLogging(), 0);
    EXPECT_TRUE(FileExists(c.file)) << "expected " << c.file;
  }
}

TEST_F(EventLogTest, ReloadRecreatesTheInstanceOnlyForSizeCountOrPath) {
  const std::string r = "/tmp/el/reload/r1.log";
  Settings("/tmp/el/reload/r", 1, 2, 30);
  ASSERT_EQ(g_objErrorLog.WDT_InitialiseLogFiles(), 0);
  EXPECT_EQ(CountTraceHeaders(r), 1);
  // The first adaptation after the fork always makes a new instance.
  ASSERT_EQ(g_objErrorLog.WDT_InitialiseLogFiles(), 0);
  EXPECT_EQ(CountTraceHeaders(r), 2);
  EXPECT_EQ(g_nInitializeFromDaemonize, 0);

  const struct {
    const char* what;
    const char* name;
    int size, pages, level;
    int headers;  // in r1.log afterwards
  } steps[] = {
      {"same settings", "/tmp/el/reload/r", 1, 2, 30, 2},
      {"LogLevel only", "/tmp/el/reload/r", 1, 2, 20, 2},
      {"LogSize", "/tmp/el/reload/r", 2, 2, 20, 3},
      {"LogPages", "/tmp/el/reload/r", 2, 3, 20, 4},
      {"LogName", "/tmp/el/reload/s", 2, 3, 20, 4},
  };
  for (const auto& s : steps) {
    Settings(s.name, s.size, s.pages, s.level);
    ASSERT_EQ(g_objErrorLog.WDT_InitialiseLogFiles(), 0) << s.what;
    EXPECT_EQ(CountTraceHeaders(r), s.headers) << s.what;
  }
  EXPECT_EQ(CountTraceHeaders("/tmp/el/reload/s1.log"), 1);
  // The instance took the new level: a level-30 line no longer passes.
  g_objErrorLog.WDT_ErrorLogWithoutBuffer(30, "ZELKW-059-K", "hidden", "f.cc", 1);
  g_objErrorLog.WDT_ErrorLogWithoutBuffer(20, "ZELKW-014-I", "shown", "f.cc", 2);
  ASSERT_EQ(g_objErrorLog.WDT_StopLogging(), 0);
  const std::vector<TraceRecord> s = ReadTraceRecords("/tmp/el/reload/s1.log");
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].id, "ZELKW-014-I");
  EXPECT_EQ(AfterDaemonPrefix(s[0].text), "shown FileName: f.cc, LineNumber: 2. ") << s[0].text;
}

TEST_F(EventLogTest, ReloadAfterAFailedRecreationWithTheSameSettingsMakesAnInstance) {
  Settings("/tmp/el/again/t", 1, 1);
  ASSERT_EQ(g_objErrorLog.WDT_InitialiseLogFiles(), 0);
  // A directory where the trace file should be: the forced re-creation
  // after the fork fails with the settings unchanged.
  ASSERT_EQ(::unlink("/tmp/el/again/t1.log"), 0);
  ASSERT_EQ(::mkdir("/tmp/el/again/t1.log", 0755), 0);
  EXPECT_EQ(g_objErrorLog.WDT_InitialiseLogFiles(), -1);
  ASSERT_EQ(::rmdir("/tmp/el/again/t1.log"), 0);
  // The same settings again, now creatable: the log must come back.
  EXPECT_EQ(g_objErrorLog.WDT_InitialiseLogFiles(), 0);
  g_objErrorLog.WDT_ErrorLogWithoutBuffer(0, "ZELKW-013-E", "back", "f.cc", 3);
  ASSERT_EQ(g_objErrorLog.WDT_StopLogging(), 0);
  const std::vector<TraceRecord> all = ReadTraceRecords("/tmp/el/again/t1.log");
  ASSERT_EQ(all.size(), 1u) << "no trace instance after the reload";
  EXPECT_EQ(AfterDaemonPrefix(all[0].text), "back FileName: f.cc, LineNumber: 3. ");
}

TEST_F(EventLogTest, ProducersWhileTheLoggerWritesLoseNothingUncounted) {
  Settings("/tmp/el/many/m", 64, 2, 30);
  ASSERT_EQ(g_objErrorLog.WDT_InitialiseLogFiles(), 0);
  ASSERT_EQ(g_objErrorLog.WDT_StartLoggerThread(), 0);
  constexpr int kProducers = 4;
  constexpr int kEach = 3000;
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([p] {
      const std::string op = "P" + std::to_string(p);
      for (int i = 0; i < kEach; ++i) WDT_TRACE(ZELKW_039_I, op.c_str(), i);
    });
  }
  for (auto& t : producers) t.join();
  ASSERT_EQ(g_objErrorLog.WDT_StopLogging(), 0);

  long written = 0;
  long dropped = 0;
  int last[kProducers] = {-1, -1, -1, -1};
  for (const TraceRecord& r : ReadTraceRecords("/tmp/el/many/m1.log")) {
    const std::string text = AfterDaemonPrefix(r.text);
    if (r.id == "ZELKW-039-I") {
      // Parsed, then rebuilt: a torn or mixed line cannot come out equal.
      int p = -1, i = -1, at = 0;
      ASSERT_EQ(std::sscanf(text.c_str(), "P%d : Retrying", &p), 1) << "torn line: " << r.text;
      ASSERT_TRUE(p >= 0 && p < kProducers) << r.text;
      const size_t count = text.find("count is ");
      ASSERT_NE(count, std::string::npos) << r.text;
      i = std::atoi(text.c_str() + count + 9);
      at = std::atoi(text.c_str() + text.rfind(' ') + 1);
      char want[256];
      std::snprintf(want, sizeof want,
                    "P%d : Retrying to get the response from IPMI. Retry count is %d. FileName: "
                    "event_log_test.cc, LineNumber: %d.",
                    p, i, at);
      ASSERT_EQ(text, want) << "torn line";
      ASSERT_GT(i, last[p]) << "producer " << p << " out of order";
      last[p] = i;
      ++written;
    } else if (r.id == "ZELKW-058-E") {
      long n = 0;
      ASSERT_EQ(std::sscanf(text.c_str(), "Skipped to output %ld messages.", &n), 1) << r.text;
      dropped += n;
    }
  }
  EXPECT_EQ(written + dropped, static_cast<long>(kProducers) * kEach)
      << "written " << written << ", reported dropped " << dropped;
}

TEST_F(EventLogTest, StopWithoutLoggerThreadReleasesTheLibraries) {
  Settings("/tmp/el/nolog/t");
  ASSERT_EQ(g_objErrorLog.WDT_InitialiseLogFiles(), 0);
  WDT_TRACE(ZELKW_018_E, "Main");
  ASSERT_EQ(g_objErrorLog.WDT_StopLogging(), 0);
  EXPECT_EQ(dlopen(TW_DAEMON_TRACE_LIB, RTLD_NOW | RTLD_NOLOAD), nullptr);
  EXPECT_EQ(dlopen(TW_DAEMON_SYSLOG_LIB, RTLD_NOW | RTLD_NOLOAD), nullptr);
  // After the stop the log starts afresh.
  ASSERT_EQ(g_objErrorLog.WDT_InitialiseLogFiles(), 0);
}

TEST_F(EventLogTest, MissingLibraryFailsTheFirstInitialisation) {
  for (const char* lib : {TW_DAEMON_TRACE_LIB, TW_DAEMON_SYSLOG_LIB}) {
    SCOPED_TRACE(lib);
    const std::string aside = std::string(lib) + ".aside";
    ASSERT_EQ(::rename(lib, aside.c_str()), 0);
    Settings("/tmp/el/nolib/t");
    EXPECT_EQ(g_objErrorLog.WDT_InitialiseLogFiles(), -1);
    EXPECT_EQ(g_objErrorLog.WDT_StopLogging(), 0);
    ASSERT_EQ(::rename(aside.c_str(), lib), 0);
  }
}

}  // namespace
