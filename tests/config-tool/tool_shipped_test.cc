// The documents shipped for the daemon, run through the installed tool: the
// component is listed, both documents print as installed, and each of the
// twelve settings can be set (and the daemon's process gets SIGHUP).
#include <signal.h>

#include <filesystem>

#include "tool_fixture.h"

namespace tw::test {
namespace {

const std::string kCnf = "/opt/quorrel/zel-kw/cnf";
const std::string kDefine = kCnf + "/qvwdtdef.xml";
const std::string kData = kCnf + "/qvwdtcfg.xml";

class ShippedTest : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    shipped_ = ReadFile(kData);
  }
  void TearDown() override {
    WriteFile(kData, shipped_);
    std::filesystem::remove(kCnf + "/qvwdtcfg.old");
    ToolTest::TearDown();
  }
  std::string shipped_;
};

// The value of one setting in a data document, "" when absent.
std::string Value(const std::string& document, const std::string& key) {
  const std::string open = "\n  <" + key + ">", close = "</" + key + ">\n";
  const size_t start = document.find(open);
  if (start == std::string::npos) return "";
  const size_t from = start + open.size();
  const size_t end = document.find(close, from);
  if (end == std::string::npos) return "";
  return document.substr(from, end - from);
}

TEST_F(ShippedTest, ShippedDocumentsAreInstalledAsInTheSourceTree) {
  EXPECT_EQ(ReadFile(TW_SOURCE_DIR "/config-tool/qvsm-sab/qvwdtdef.xml"), ReadFile(kDefine));
  EXPECT_EQ(ReadFile(TW_SOURCE_DIR "/config-tool/qvsm-sab/qvwdtcfg.xml"), shipped_);
  EXPECT_EQ(ReadFile(TW_SOURCE_DIR "/config-tool/qvsm-sab/qvsacnsl.xml"), ReadFile(kNsl));
  EXPECT_TRUE(std::filesystem::is_directory(std::string(kToolTree) + "/log"));
  EXPECT_TRUE(std::filesystem::is_directory("/opt/quorrel/zel-kw/log"));
}

TEST_F(ShippedTest, ListAndPrint) {
  ToolResult r = RunTool({"--getcomponentlist"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(std::vector<std::string>{ProgramBlock("tickwardd", "BMC watchdog timer daemon",
                                                  "Watchdog timer")},
            ProgramBlocks(r.out));
  r = RunTool({"--getconfigdefine", "tickwardd"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(ReadFile(kDefine), r.out);
  r = RunTool({"--getconfigdata", "tickwardd"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(shipped_, r.out);
}

TEST_F(ShippedTest, ShipsWithTheTimerDisabled) {
  EXPECT_EQ("FALSE", Value(shipped_, "ErrorWatching"));
  // A rewrite without changes gives the same bytes: the shipped data is in
  // the library's written form, so the backup of a first update is exact.
  const ToolResult r = RunTool({"--setconfigdata", "tickwardd", "<config></config>"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(shipped_, ReadFile(kData));
  EXPECT_EQ(shipped_, ReadFile(kCnf + "/qvwdtcfg.old"));
}

TEST_F(ShippedTest, EachSettingCanBeSetAndTheDaemonIsSignalled) {
  struct Setting {
    std::string key, value;
  };
  const Setting settings[] = {
      {"ErrorWatching", "TRUE"},  {"TimeoutAction", "PowerCycle"},
      {"TimeoutInterval", "600"}, {"IntervalCount", "10"},
      {"ShorteningCount", "5"},   {"MinimumInterval", "15"},
      {"RetryInterval", "3600"},  {"MaximumRetryTime", "60"},
      {"LogLevel", "-1"},         {"LogSize", "2047"},
      {"LogPages", "16"},         {"LogName", "/var/tmp/wdt trace"},
  };
  for (const Setting& s : settings) {
    const std::string before = ReadFile(kData);
    ASSERT_NE("", Value(before, s.key)) << s.key << " is not in the shipped data";
    ASSERT_NE(s.value, Value(before, s.key)) << s.key;
    RunOptions options;
    options.standin = "tickwardd";
    const ToolResult r =
        RunTool({"--setconfigdata", "tickwardd",
                 "<config><" + s.key + ">" + s.value + "</" + s.key + "></config>"},
                options);
    EXPECT_EQ(0, r.status) << s.key << ": " << r.err;
    EXPECT_EQ("", r.err) << s.key;
    EXPECT_EQ(SIGHUP, r.signal) << s.key << ": tickwardd was not sent SIGHUP";
    const std::string after = ReadFile(kData);
    EXPECT_EQ(s.value, Value(after, s.key)) << s.key;
    const std::string old_line = "<" + s.key + ">" + Value(before, s.key) + "<";
    const std::string new_line = "<" + s.key + ">" + s.value + "<";
    std::string want = before;
    want.replace(want.find(old_line), old_line.size(), new_line);
    EXPECT_EQ(want, after) << s.key << ": other settings changed";
    EXPECT_EQ(before, ReadFile(kCnf + "/qvwdtcfg.old")) << s.key;
    EXPECT_FALSE(Exists(kCnf + "/qvwdtcfg.tmp")) << s.key;
  }
}

TEST_F(ShippedTest, LimitsOfTheDaemonAreEnforced) {
  const char* refused[] = {
      "<TimeoutInterval>59</TimeoutInterval>",
      "<TimeoutInterval>3601</TimeoutInterval>",
      "<IntervalCount>1</IntervalCount>",
      "<IntervalCount>11</IntervalCount>",
      "<ShorteningCount>0</ShorteningCount>",
      "<ShorteningCount>6</ShorteningCount>",
      "<MinimumInterval>14</MinimumInterval>",
      "<MinimumInterval>361</MinimumInterval>",
      "<RetryInterval>59</RetryInterval>",
      "<RetryInterval>3601</RetryInterval>",
      "<MaximumRetryTime>0</MaximumRetryTime>",
      "<MaximumRetryTime>61</MaximumRetryTime>",
      "<LogLevel>-2</LogLevel>",
      "<LogLevel>1001</LogLevel>",
      "<LogSize>0</LogSize>",
      "<LogSize>2048</LogSize>",
      "<LogPages>0</LogPages>",
      "<LogPages>17</LogPages>",
      "<TimeoutAction>Reboot</TimeoutAction>",
      "<ErrorWatching>on</ErrorWatching>",
  };
  for (const char* element : refused) {
    RunOptions options;
    options.standin = "tickwardd";
    const ToolResult r = RunTool(
        {"--setconfigdata", "tickwardd", std::string("<config>") + element + "</config>"}, options);
    EXPECT_EQ(1, r.status) << element;
    EXPECT_NE(std::string::npos, r.err.find("ERROR:invalid value of <")) << element << r.err;
    EXPECT_EQ(0, r.signal) << element << ": signalled after a refused update";
    EXPECT_EQ(shipped_, ReadFile(kData)) << element;
  }
  // LogName: up to 225 characters.
  const std::string longest(225, 'n');
  ToolResult r = RunTool(
      {"--setconfigdata", "tickwardd", "<config><LogName>" + longest + "n</LogName></config>"});
  EXPECT_EQ(1, r.status);
  r = RunTool(
      {"--setconfigdata", "tickwardd", "<config><LogName>" + longest + "</LogName></config>"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(longest, Value(ReadFile(kData), "LogName"));
}

TEST_F(ShippedTest, EveryActionKeywordIsAccepted) {
  for (const char* action : {"NoAction", "HardReset", "PowerDown", "PowerCycle", "NMI", "SMI"}) {
    const ToolResult r =
        RunTool({"--setconfigdata", "tickwardd",
                 std::string("<config><TimeoutAction>") + action + "</TimeoutAction></config>"});
    EXPECT_EQ(0, r.status) << action << ": " << r.err;
    EXPECT_EQ(action, Value(ReadFile(kData), "TimeoutAction"));
  }
}

}  // namespace
}  // namespace tw::test
