// The message ring on its own, and LogTrace's filtering and line format,
// without the trace and syslog libraries (nothing is loaded here).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "QVSM_ErrorLogging.h"
#include "QVSM_Globals.h"
#include "QVSM_LogRing.h"
#include "daemon/line_match.h"

namespace {

struct Got {
  int dropped;
  bool hasEntry;
  WdtLogEntry entry;
};

Got GetOne(WdtLogRing& ring) {
  pthread_mutex_lock(ring.Mutex());
  const WdtLogEntry* e = nullptr;
  Got got{ring.Get(&e), e != nullptr, {}};
  if (e != nullptr) got.entry = *e;
  pthread_mutex_unlock(ring.Mutex());
  return got;
}

std::vector<WdtLogEntry> Drain(WdtLogRing& ring) {
  std::vector<WdtLogEntry> out;
  for (Got g = GetOne(ring); g.dropped >= 0; g = GetOne(ring)) {
    if (g.hasEntry) out.push_back(g.entry);
  }
  return out;
}

void PutText(WdtLogRing& ring, const std::string& text, int kind = WDT_LOG_TRACE) {
  ring.Put(kind, 20, "ZELKW-014-I", text.c_str(), text.size());
}

TEST(Ring, FullRingDropsTheOldestAndReportsTheCountWithTheNextEntry) {
  WdtLogRing ring;
  Got empty = GetOne(ring);
  EXPECT_EQ(empty.dropped, -1) << "an empty ring with nothing dropped";
  EXPECT_FALSE(empty.hasEntry);

  for (int i = 0; i <= WdtLogRing::kEntries; ++i) PutText(ring, "m" + std::to_string(i));
  EXPECT_EQ(ring.Stored(), WdtLogRing::kEntries);
  Got first = GetOne(ring);
  EXPECT_EQ(first.dropped, 1);
  ASSERT_TRUE(first.hasEntry);
  EXPECT_STREQ(first.entry.text, "m1") << "m0 was the oldest and is the one lost";
  for (int i = 2; i <= WdtLogRing::kEntries; ++i) {
    Got g = GetOne(ring);
    ASSERT_TRUE(g.hasEntry) << "entry m" << i;
    EXPECT_EQ(g.dropped, 0) << "the count is reported once";
    EXPECT_EQ(std::string(g.entry.text), "m" + std::to_string(i));
  }
  EXPECT_EQ(GetOne(ring).dropped, -1);

  // Many laps past the end of the array keep order and counts.
  for (int i = 0; i < 3 * WdtLogRing::kEntries + 7; ++i) PutText(ring, "n" + std::to_string(i));
  Got next = GetOne(ring);
  EXPECT_EQ(next.dropped, 2 * WdtLogRing::kEntries + 7);
  EXPECT_EQ(std::string(next.entry.text), "n" + std::to_string(2 * WdtLogRing::kEntries + 7));
}

TEST(Ring, IdentifierAndTextAreCutToTheirFields) {
  const struct {
    size_t idLen, textLen, wantId, wantText;
  } cases[] = {
      {11, 0, 11, 0},      {22, 303, 22, 303}, {23, 304, 22, 303},
      {40, 1023, 22, 303}, {21, 302, 21, 302},
  };
  for (const auto& c : cases) {
    WdtLogRing ring;
    std::string id(c.idLen, 'I');
    std::string text;
    for (size_t i = 0; i < c.textLen; ++i) text += static_cast<char>('a' + i % 26);
    ring.Put(WDT_LOG_SYSLOG, 5, id.c_str(), text.c_str(), text.size());
    Got g = GetOne(ring);
    ASSERT_TRUE(g.hasEntry);
    EXPECT_EQ(std::string(g.entry.id), id.substr(0, c.wantId)) << "identifier of " << c.idLen;
    EXPECT_EQ(std::string(g.entry.text), text.substr(0, c.wantText)) << "text of " << c.textLen;
    EXPECT_EQ(g.entry.kind, WDT_LOG_SYSLOG);
    EXPECT_EQ(g.entry.level, 5);
  }
  WdtLogRing ring;
  ring.Put(WDT_LOG_TRACE, 0, nullptr, "x", 1);
  ring.Put(WDT_LOG_TRACE, 0, "ZELKW-011-K", nullptr, 0);
  EXPECT_EQ(ring.Stored(), 0) << "null identifier or text is not buffered";
}

// Producers race a consumer that drains and waits as the logger thread
// does: every message either arrives whole and in its producer's order, or
// is counted as dropped.
TEST(Ring, ProducersAndAConsumerLoseNothingUncounted) {
  WdtLogRing ring;
  constexpr int kProducers = 4;
  constexpr int kEach = 20000;
  std::atomic<int> running{kProducers};
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&, p] {
      for (int i = 0; i < kEach; ++i) {
        char text[200];
        int n = std::snprintf(text, sizeof text, "p%d %d %0*d", p, i, 120 + p, i);
        ring.Put(WDT_LOG_TRACE, p, "ZELKW-039-I", text, static_cast<size_t>(n));
      }
      pthread_mutex_lock(ring.Mutex());
      --running;
      ring.Wake();
      pthread_mutex_unlock(ring.Mutex());
    });
  }
  long received = 0;
  long dropped = 0;
  int last[kProducers] = {-1, -1, -1, -1};
  std::string failure;
  pthread_mutex_lock(ring.Mutex());
  for (;;) {
    const WdtLogEntry* e = nullptr;
    int d;
    while ((d = ring.Get(&e)) >= 0) {
      dropped += d;
      if (e != nullptr) {
        ++received;
        int p = -1, i = -1;
        char expect[200];
        if (std::sscanf(e->text, "p%d %d", &p, &i) != 2 || p != e->level || p < 0 ||
            p >= kProducers) {
          failure = std::string("unreadable entry: ") + e->text;
        } else {
          std::snprintf(expect, sizeof expect, "p%d %d %0*d", p, i, 120 + p, i);
          if (std::string(e->text) != expect) failure = std::string("torn entry: ") + e->text;
          if (i <= last[p]) failure = "producer order broken at p" + std::to_string(p);
          last[p] = i;
        }
      }
    }
    if (running == 0) break;
    ring.Wait();
  }
  pthread_mutex_unlock(ring.Mutex());
  for (auto& t : producers) t.join();
  const std::vector<WdtLogEntry> rest = Drain(ring);
  EXPECT_TRUE(rest.empty());
  EXPECT_EQ(failure, "");
  EXPECT_EQ(received + dropped, static_cast<long>(kProducers) * kEach)
      << "received " << received << ", dropped " << dropped;
}

class LogTraceTest : public testing::Test {
 protected:
  void SetUp() override { Drain(WDT_LogBuffer()); }
  void TearDown() override { g_nXmlLogLevel = 0; }
};

TEST_F(LogTraceTest, LevelAboveLogLevelIsNotBuffered) {
  const struct {
    int logLevel;
    WdtMsgId msg;
    bool buffered;
  } cases[] = {
      {20, ZELKW_048_K, false}, {20, ZELKW_050_I, true},  {20, ZELKW_051_E, true},
      {-1, ZELKW_051_E, false}, {-1, ZELKW_050_I, false}, {0, ZELKW_051_E, true},
      {0, ZELKW_118_W, false},  {10, ZELKW_118_W, true},  {1000, ZELKW_048_K, true},
  };
  for (const auto& c : cases) {
    g_nXmlLogLevel = c.logLevel;
    WDT_TRACE(c.msg, "Main");
    const std::vector<WdtLogEntry> got = Drain(WDT_LogBuffer());
    EXPECT_EQ(got.size(), c.buffered ? 1u : 0u)
        << WDT_GetMessage(c.msg).id << " at LogLevel " << c.logLevel;
  }
}

TEST_F(LogTraceTest, LineHasTimeThreadPrefixAndFileLineSuffix) {
  g_nXmlLogLevel = 30;
  const int line = __LINE__ + 1;
  WDT_TRACE(ZELKW_052_K, "WDT_LogXMLvalues", "TimeoutInterval", 1200);
  const std::vector<WdtLogEntry> got = Drain(WDT_LogBuffer());
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].kind, WDT_LOG_TRACE);
  EXPECT_EQ(got[0].level, 30);
  EXPECT_STREQ(got[0].id, "ZELKW-052-K");
  char tid[32];
  std::snprintf(tid, sizeof tid, "%lx", static_cast<unsigned long>(pthread_self()));
  std::string gotTid;
  EXPECT_EQ(tw::test::AfterDaemonPrefix(got[0].text, &gotTid),
            "WDT_LogXMLvalues : Value of TimeoutInterval in the settings XML is 1200. FileName: "
            "ring_test.cc, LineNumber: " +
                std::to_string(line) + ".");
  EXPECT_EQ(gotTid, tid);
}

TEST_F(LogTraceTest, LongLineIsCutTo303Characters) {
  g_nXmlLogLevel = 30;
  const std::string name(400, 'x');
  WDT_TRACE(ZELKW_053_K, "WDT_LogXMLvalues", "LogName", name.c_str());
  const std::vector<WdtLogEntry> got = Drain(WDT_LogBuffer());
  ASSERT_EQ(got.size(), 1u);
  const std::string text = got[0].text;
  EXPECT_EQ(text.size(), 303u);
  const std::string head = "] WDT_LogXMLvalues : Value of LogName in the settings XML is ";
  const size_t at = text.find(head);
  ASSERT_NE(at, std::string::npos) << text;
  EXPECT_EQ(text.substr(at + head.size()), std::string(303 - at - head.size(), 'x'));
}

TEST_F(LogTraceTest, SyslogMessagesNeedAnOpenSyslog) {
  WDT_SYSLOG(ZELKW_061_I);
  EXPECT_EQ(WDT_LogBuffer().Stored(), 0) << "no syslog library was loaded";
}

}  // namespace
