// Instances, settings and message assembly of the syslog library, read back
// from the test's own /dev/log.
#include <gtest/gtest.h>
#include <syslog.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "harness/syslog_capture.h"
#include "syslog/syslog_test_util.h"
#include "vesk2_syslog.h"

using tw::test::SyslogCapture;
using tw::test::SyslogMessage;

namespace {

constexpr bool kThreadSafe = TW_TEST_THREAD_SAFE != 0;

class SyslogInstances : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(0, ZELKWSYM_CreateSysLogInstance(&inst_));
    ASSERT_NE(nullptr, inst_);
  }
  void TearDown() override {
    if (inst_ != nullptr) {
      EXPECT_EQ(0, ZELKWSYM_DeleteSysLogInstance(inst_));
    }
    ZELKWSYM_CloseSysLog();
  }
  // Sends one message on the instance and returns what arrived.
  SyslogMessage PutOne(int importance, const char* t1, const char* t2) {
    EXPECT_EQ(0, ZELKWSYM_PutToSysLogInstance(inst_, importance, t1, t2));
    auto got = cap_.Take(1);
    EXPECT_EQ(1u, got.size()) << "expected exactly one datagram at /dev/log";
    return got.empty() ? SyslogMessage{} : got[0];
  }

  SyslogCapture cap_;
  VESK2_SYSLOG* inst_ = nullptr;
};

TEST_F(SyslogInstances, NeverOpenedInstanceUsesDefaults) {
  SyslogMessage m = PutOne(6, "hello", nullptr);
  EXPECT_EQ("", m.ident);
  EXPECT_EQ(getpid(), m.pid) << "default options include LOG_PID: " << m.raw;
  EXPECT_EQ(LOG_USER | 6, m.priority);
  EXPECT_EQ("hello", m.text);
}

TEST_F(SyslogInstances, IdentityIsCutTo16Characters) {
  ASSERT_EQ(0, ZELKWSYM_OpenSysLogInstance(inst_, "abcdefghijklmnopq", 0, LOG_USER));
  EXPECT_EQ("abcdefghijklmnop", PutOne(6, "x", nullptr).ident);
  ASSERT_EQ(0, ZELKWSYM_OpenSysLogInstance(inst_, nullptr, 0, LOG_USER));
  EXPECT_EQ("", PutOne(6, "x", nullptr).ident);
}

TEST_F(SyslogInstances, OptionsAndFacility) {
  ASSERT_EQ(0, ZELKWSYM_OpenSysLogInstance(inst_, "opt", 0, LOG_LOCAL3));
  SyslogMessage m = PutOne(4, "no pid", nullptr);
  EXPECT_EQ(-1, m.pid) << m.raw;
  EXPECT_EQ(LOG_LOCAL3 | 4, m.priority);

  // 0x10001: LOG_PID plus the thread identifier switch, which only the
  // thread-safe builds act on.
  ASSERT_EQ(0, ZELKWSYM_OpenSysLogInstance(inst_, "opt", 0x10001, LOG_USER));
  m = PutOne(6, "abc", "def");
  EXPECT_EQ(getpid(), m.pid);
  if (kThreadSafe) {
    EXPECT_EQ("abc[" + tw::test::FormatTid(tw::test::DefaultTidFormat()) + "] def", m.text);
  } else {
    EXPECT_EQ("abc def", m.text);
  }
}

TEST_F(SyslogInstances, RefusedOptionBitsLeaveTheInstanceUnchanged) {
  ASSERT_EQ(0, ZELKWSYM_OpenSysLogInstance(inst_, "kept", 0, LOG_USER));
  for (int bit = 17; bit <= 23; ++bit) {
    EXPECT_EQ(1, ZELKWSYM_OpenSysLogInstance(inst_, "changed", (1 << bit) | 1, LOG_LOCAL0))
        << "option bit 0x" << std::hex << (1 << bit);
  }
  SyslogMessage m = PutOne(6, "x", nullptr);
  EXPECT_EQ("kept", m.ident);
  EXPECT_EQ(-1, m.pid);
  EXPECT_EQ(LOG_USER | 6, m.priority);
}

TEST_F(SyslogInstances, GlobalOpenDropsTheThreadIdentifierBit) {
  ZELKWSYM_OpenSysLog("global", 0x10003, LOG_DAEMON);
  ASSERT_EQ(0, ZELKWSYM_PutToSysLog(5, "plain"));
  auto got = cap_.Take(1);
  ASSERT_EQ(1u, got.size());
  EXPECT_EQ("global", got[0].ident);
  EXPECT_EQ(getpid(), got[0].pid);
  EXPECT_EQ(LOG_DAEMON | 5, got[0].priority);
  EXPECT_EQ("plain", got[0].text);
}

TEST_F(SyslogInstances, ImportanceMapsToPriority) {
  ASSERT_EQ(0, ZELKWSYM_OpenSysLogInstance(inst_, "imp", 0, LOG_USER));
  for (int importance : {0, 1, 2, 3, 4, 5, 6}) {
    EXPECT_EQ(LOG_USER | importance, PutOne(importance, "x", nullptr).priority);
  }
  for (int importance : {7, -1, 100}) {
    EXPECT_EQ(LOG_USER | LOG_ERR, PutOne(importance, "x", nullptr).priority)
        << "importance " << importance;
  }
}

TEST_F(SyslogInstances, MaskIsStoredAndPreviousReturned) {
  ASSERT_EQ(0, ZELKWSYM_OpenSysLogInstance(inst_, "mask", 0, LOG_USER));
  EXPECT_EQ(0x7F, ZELKWSYM_SetLogMaskInstance(inst_, LOG_UPTO(LOG_ERR)));
  EXPECT_EQ(0, ZELKWSYM_PutToSysLogInstance(inst_, 6, "filtered", nullptr));
  EXPECT_EQ(0, ZELKWSYM_PutToSysLogInstance(inst_, 3, "passes", nullptr));
  auto got = cap_.TakeAll();
  ASSERT_EQ(1u, got.size()) << "the informational message must be masked";
  EXPECT_EQ("passes", got[0].text);
  EXPECT_EQ(LOG_UPTO(LOG_ERR), ZELKWSYM_SetLogMaskInstance(inst_, 0x7F));
}

TEST_F(SyslogInstances, CloseResetsSettingsButKeepsMaskAndLife) {
  ASSERT_EQ(0, ZELKWSYM_OpenSysLogInstance(inst_, "before", 0, LOG_LOCAL0));
  ZELKWSYM_SetLogMaskInstance(inst_, LOG_UPTO(LOG_WARNING));
  ASSERT_EQ(0, ZELKWSYM_CloseSysLogInstance(inst_));
  EXPECT_EQ(0, ZELKWSYM_PutToSysLogInstance(inst_, 6, "masked", nullptr));
  SyslogMessage m = PutOne(4, "after", nullptr);
  EXPECT_EQ("", m.ident);
  EXPECT_EQ(getpid(), m.pid);
  EXPECT_EQ(LOG_USER | 4, m.priority);
  EXPECT_EQ("after", m.text);
}

TEST_F(SyslogInstances, TextsAreJoinedWithOneSpace) {
  ASSERT_EQ(0, ZELKWSYM_OpenSysLogInstance(inst_, "join", 0, LOG_USER));
  EXPECT_EQ("abc def", PutOne(6, "abc", "def").text);
  EXPECT_EQ("abc", PutOne(6, "abc", "").text);
  EXPECT_EQ("abc", PutOne(6, "abc", nullptr).text);
  EXPECT_EQ("def", PutOne(6, nullptr, "def").text);
  EXPECT_EQ(" def", PutOne(6, "", "def").text);
  EXPECT_EQ("", PutOne(6, nullptr, nullptr).text);
}

TEST_F(SyslogInstances, LongMessagesAreCutAt1023Characters) {
  ASSERT_EQ(0, ZELKWSYM_OpenSysLogInstance(inst_, "cut", 0, LOG_USER));
  const std::string huge(3000, 'a');
  EXPECT_EQ(std::string(1023, 'a'), PutOne(6, huge.c_str(), "dropped").text);
  const std::string exact(1023, 'b');
  EXPECT_EQ(exact, PutOne(6, exact.c_str(), "dropped").text);
  const std::string almost(1021, 'c');
  EXPECT_EQ(almost + " d", PutOne(6, almost.c_str(), "def").text);
  const std::string longSecond(3000, 'e');
  EXPECT_EQ("x " + std::string(1021, 'e'), PutOne(6, "x", longSecond.c_str()).text);
}

TEST_F(SyslogInstances, GlobalPutWithTidJoinsOrInsertsTheIdentifier) {
  ZELKWSYM_OpenSysLog("gtid", 0, LOG_USER);
  ASSERT_EQ(0, ZELKWSYM_PutToSysLogWithTid(6, "abc", "def"));
  ASSERT_EQ(0, ZELKWSYM_PutToSysLogWithTid(6, "abc", ""));
  ASSERT_EQ(0, ZELKWSYM_PutToSysLogWithTid(6, nullptr, "def"));
  auto got = cap_.Take(3);
  ASSERT_EQ(3u, got.size());
  if (kThreadSafe) {
    const std::string tid = tw::test::FormatTid(tw::test::DefaultTidFormat());
    EXPECT_EQ("abc[" + tid + "] def", got[0].text);
    EXPECT_EQ("abc[" + tid + "] ", got[1].text);
    EXPECT_EQ("[" + tid + "] def", got[2].text);
  } else {
    EXPECT_EQ("abc def", got[0].text);
    EXPECT_EQ("abc", got[1].text);
    EXPECT_EQ("def", got[2].text);
  }
}

TEST_F(SyslogInstances, ThreadIdentifierFormats) {
  ASSERT_EQ(0, ZELKWSYM_OpenSysLogInstance(inst_, "tid", 0, LOG_USER));
  for (int bad : {0, 3, 5, 6, 7, 9, 16, -1}) {
    EXPECT_EQ(kThreadSafe ? 1 : 0,
              ZELKWSYM_SetSysLogTidFormatInstance(inst_, bad, nullptr, nullptr))
        << "mode " << bad;
  }
  EXPECT_EQ(kThreadSafe ? 1 : 0,
            ZELKWSYM_SetSysLogTidFormatInstance(inst_, 2, "12345678", nullptr));
  EXPECT_EQ(kThreadSafe ? 1 : 0,
            ZELKWSYM_SetSysLogTidFormatInstance(inst_, 2, nullptr, "12345678"));

  struct Case {
    int mode;
    const char* prefix;
    const char* suffix;
    std::string expected;
  };
  const Case cases[] = {
      {2, nullptr, nullptr, "abc[" + tw::test::FormatTid("%lu") + "] def"},
      {1, "<", ">", "abc<" + tw::test::FormatTid("%lX") + ">def"},
      {4, "1234567", "", "abc1234567" + tw::test::FormatTid("%08lX") + "def"},
      {8, "", "7654321", "abc" + tw::test::FormatTid("%016lX") + "7654321def"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(0, ZELKWSYM_SetSysLogTidFormatInstance(inst_, c.mode, c.prefix, c.suffix));
    EXPECT_EQ(0, ZELKWSYM_PutToSysLogWithTidInstance(inst_, 6, "abc", "def"));
    auto got = cap_.Take(1);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(kThreadSafe ? c.expected : std::string("abc def"), got[0].text) << "mode " << c.mode;
  }
  // Ordinary puts insert the identifier only when the instance was opened
  // with the switch.
  EXPECT_EQ("abc def", PutOne(6, "abc", "def").text);
  EXPECT_EQ(kThreadSafe ? 1 : 0, ZELKWSYM_SetSysLogTidFormat(3, nullptr, nullptr));
  EXPECT_EQ(0, ZELKWSYM_SetSysLogTidFormat(2, nullptr, nullptr));
}

TEST_F(SyslogInstances, OpenlogIsIssuedOnlyWhenTheInstanceOrItsSettingsChange) {
  VESK2_SYSLOG* other = nullptr;
  ASSERT_EQ(0, ZELKWSYM_CreateSysLogInstance(&other));
  ASSERT_EQ(0, ZELKWSYM_OpenSysLogInstance(inst_, "alpha", 0, LOG_LOCAL1));
  ASSERT_EQ(0, ZELKWSYM_OpenSysLogInstance(other, "beta", 0, LOG_LOCAL2));
  EXPECT_EQ("alpha", PutOne(6, "1", nullptr).ident);

  // Someone else re-opens the process's connection behind the library's
  // back: writing the same instance again must not re-issue openlog.
  ::openlog("intruder", 0, LOG_LOCAL7);
  SyslogMessage m = PutOne(6, "2", nullptr);
  EXPECT_EQ("intruder", m.ident) << "openlog was issued although nothing changed";
  EXPECT_EQ(LOG_LOCAL7 | 6, m.priority);

  // A settings change on the instance makes the next put re-issue it.
  ZELKWSYM_SetLogMaskInstance(inst_, 0x7F);
  EXPECT_EQ("alpha", PutOne(6, "3", nullptr).ident);

  // Alternating instances: each message carries its own identity.
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(0, ZELKWSYM_PutToSysLogInstance(other, 6, "b", nullptr));
    EXPECT_EQ(0, ZELKWSYM_PutToSysLogInstance(inst_, 6, "a", nullptr));
  }
  auto got = cap_.Take(8);
  ASSERT_EQ(8u, got.size());
  for (size_t i = 0; i < got.size(); ++i) {
    const bool isB = i % 2 == 0;
    EXPECT_EQ(isB ? "beta" : "alpha", got[i].ident) << "message " << i;
    EXPECT_EQ(isB ? (LOG_LOCAL2 | 6) : (LOG_LOCAL1 | 6), got[i].priority) << "message " << i;
  }
  EXPECT_EQ(0, ZELKWSYM_DeleteSysLogInstance(other));
}

TEST_F(SyslogInstances, DeletedInstanceStopsBeingTheConnectionIdentity) {
  VESK2_SYSLOG* gone = nullptr;
  ASSERT_EQ(0, ZELKWSYM_CreateSysLogInstance(&gone));
  ASSERT_EQ(0, ZELKWSYM_OpenSysLogInstance(gone, "gone", 0, LOG_USER));
  ASSERT_EQ(0, ZELKWSYM_PutToSysLogInstance(gone, 6, "x", nullptr));
  ASSERT_EQ(0, ZELKWSYM_DeleteSysLogInstance(gone));
  // A plain syslog() call now still has a valid identity to send with.
  ::syslog(LOG_INFO, "%s", "after delete");
  auto got = cap_.Take(2);
  ASSERT_EQ(2u, got.size());
  EXPECT_EQ("gone", got[1].ident);
  EXPECT_EQ("after delete", got[1].text);
}

TEST(SyslogBadInput, NullUnknownAndDeletedInstancesAreRefused) {
  EXPECT_EQ(1, ZELKWSYM_CreateSysLogInstance(nullptr));
  VESK2_SYSLOG* dead = nullptr;
  ASSERT_EQ(0, ZELKWSYM_CreateSysLogInstance(&dead));
  ASSERT_EQ(0, ZELKWSYM_DeleteSysLogInstance(dead));

  // A record the library never created, even with the right mark.
  alignas(16) char fake[256];
  std::memset(fake, 0, sizeof fake);
  std::memcpy(fake, "VESK", 5);
  auto* forged = reinterpret_cast<VESK2_SYSLOG*>(fake);

  for (VESK2_SYSLOG* bad : {static_cast<VESK2_SYSLOG*>(nullptr), dead, forged}) {
    EXPECT_EQ(1, ZELKWSYM_DeleteSysLogInstance(bad));
    EXPECT_EQ(1, ZELKWSYM_OpenSysLogInstance(bad, "x", 0, LOG_USER));
    EXPECT_EQ(1, ZELKWSYM_CloseSysLogInstance(bad));
    EXPECT_EQ(1, ZELKWSYM_PutToSysLogInstance(bad, 6, "x", "y"));
    EXPECT_EQ(1, ZELKWSYM_PutToSysLogWithTidInstance(bad, 6, "x", "y"));
    EXPECT_EQ(1, ZELKWSYM_SetLogMaskInstance(bad, 0xFF));
    EXPECT_EQ(kThreadSafe ? 1 : 0, ZELKWSYM_SetSysLogTidFormatInstance(bad, 2, nullptr, nullptr));
  }
  EXPECT_EQ(0, ZELKWSYM_SetEventSrcName("name"));
  EXPECT_EQ(0, ZELKWSYM_SetEventSrcNameInstance(nullptr, "name"));
}

TEST(SyslogErrors, EncodedCodesDecode) {
  const unsigned encoded = (101u << 24) | 12u;
  EXPECT_EQ(0, ZELKWSYM_SysLogErrApi(0));
  EXPECT_EQ(1, ZELKWSYM_SysLogErrApi(1));
  EXPECT_EQ(-1, ZELKWSYM_SysLogErrApi(22));
  EXPECT_EQ(-1, ZELKWSYM_SysLogErrApi(0xFFFFFF));
  EXPECT_EQ(101, ZELKWSYM_SysLogErrApi(encoded));
  EXPECT_EQ(255, ZELKWSYM_SysLogErrApi(0xFF000001u));
  EXPECT_EQ(0, ZELKWSYM_SysLogErrCode(0));
  EXPECT_EQ(22, ZELKWSYM_SysLogErrCode(1));
  EXPECT_EQ(12, ZELKWSYM_SysLogErrCode(static_cast<int>(encoded)));
  EXPECT_EQ(-1, ZELKWSYM_SysLogErrCode(static_cast<int>(101u << 24)));
  ZELKWSYM_SysLogPreForkHandler();
  ZELKWSYM_SysLogPostForkHandlerForParent();
  ZELKWSYM_SysLogPostForkHandlerForChild();
}

TEST(SyslogVersion, BannerHasItsFrame) {
  const std::string banner = ZELKWSYM_sys_version_string;
  EXPECT_EQ(0u, banner.rfind("$Version: ", 0)) << banner;
  EXPECT_NE(std::string::npos, banner.find("Last Update: ")) << banner;
  ASSERT_GE(banner.size(), 2u);
  EXPECT_EQ(" $", banner.substr(banner.size() - 2)) << banner;
}

}  // namespace
