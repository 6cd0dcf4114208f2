// Settings read by the installed configuration library from documents
// written into the sandbox's cnf directory, then checked and adjusted.
#include <gtest/gtest.h>
#include <stdio.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "QVSM_ErrorLogging.h"
#include "QVSM_Globals.h"
#include "QVSM_WDTSettings.h"
#include "daemon/daemon_test_util.h"
#include "harness/sandbox.h"

namespace {

using tw::test::DrainLogBuffer;
using tw::test::WriteFile;

const std::string kDefinition = std::string(TW_KW_CNF) + "/qvwdtdef.xml";
const std::string kData = std::string(TW_KW_CNF) + "/qvwdtcfg.xml";

struct Values {
  bool errorWatching;
  int action, interval, count, shortening, minimum, retry, maxRetry, level, size, pages;
  std::string name, defaultName;
};

bool operator==(const Values& a, const Values& b) {
  return a.errorWatching == b.errorWatching && a.action == b.action && a.interval == b.interval &&
         a.count == b.count && a.shortening == b.shortening && a.minimum == b.minimum &&
         a.retry == b.retry && a.maxRetry == b.maxRetry && a.level == b.level && a.size == b.size &&
         a.pages == b.pages && a.name == b.name && a.defaultName == b.defaultName;
}

std::ostream& operator<<(std::ostream& os, const Values& v) {
  return os << "{ErrorWatching " << v.errorWatching << ", TimeoutAction " << v.action
            << ", TimeoutInterval " << v.interval << ", IntervalCount " << v.count
            << ", ShorteningCount " << v.shortening << ", MinimumInterval " << v.minimum
            << ", RetryInterval " << v.retry << ", MaximumRetryTime " << v.maxRetry << ", LogLevel "
            << v.level << ", LogSize " << v.size << ", LogPages " << v.pages << ", LogName \""
            << v.name << "\", default \"" << v.defaultName << "\"}";
}

Values Current() {
  WdtSettingsLock s;
  char name[256];
  char def[256];
  s->WDT_GetLogFileName(name);
  s->WDT_GetDefaultLogFileName(def);
  return {s->WDT_GetWatchExists(),
          s->WDT_GetActionOperation(),
          s->WDT_GetWatchtimeout(),
          s->WDT_GetSettingWatchInterTime(),
          s->WDT_GetShortWatchTime(),
          s->WDT_GetShortInterval(),
          s->WDT_GetReOprConfirmation(),
          s->WDT_GetMaxRetryTime(),
          s->WDT_GetLogLevel(),
          s->WDT_GetLogSize(),
          s->WDT_GetLogPages(),
          name,
          def};
}

// The values every case starts from.
const std::map<std::string, std::string> kBase = {
    {"ErrorWatching", "TRUE"},  {"TimeoutAction", "HardReset"},
    {"TimeoutInterval", "600"}, {"IntervalCount", "3"},
    {"ShorteningCount", "3"},   {"MinimumInterval", "60"},
    {"RetryInterval", "120"},   {"MaximumRetryTime", "20"},
    {"LogLevel", "20"},         {"LogSize", "4"},
    {"LogPages", "3"},          {"LogName", "base"}};
const Values kBaseValues = {true, 1, 600, 3, 3, 60, 120, 20, 20, 4, 3, "base", "deflog"};
const Values kDefaults = {false, 0x20, 1200, 2, 2, 30, 1800, 15, 30, 8, 10, "qvsmwdt", "deflog"};

// A definition of the twelve keys without limits (so that out-of-range
// values reach the daemon's own checks), with one enumerator beyond the six,
// RetryInterval defaulting to 900 and LogName to "deflog"; `omit` leaves a
// key out.
std::string OpenDefinition(const std::string& omit = "") {
  const struct {
    const char* name;
    const char* type;
    const char* def;
  } items[] = {{"ErrorWatching", "boolean", "FALSE"},  {"TimeoutAction", "enumeration", "NMI"},
               {"TimeoutInterval", "integer", "1200"}, {"IntervalCount", "integer", "2"},
               {"ShorteningCount", "integer", "2"},    {"MinimumInterval", "integer", "30"},
               {"RetryInterval", "integer", "900"},    {"MaximumRetryTime", "integer", "15"},
               {"LogLevel", "integer", "30"},          {"LogSize", "integer", "8"},
               {"LogPages", "integer", "10"},          {"LogName", "string", "deflog"}};
  std::string doc = "<?xml version=\"1.0\"?>\n<config_define>\n  <name>tickwardd</name>\n";
  for (const auto& item : items) {
    if (omit == item.name) continue;
    doc += std::string("  <item><name>") + item.name + "</name><type>" + item.type + "</type>";
    if (std::string(item.type) == "enumeration") {
      doc +=
          "<enum><NoAction>a</NoAction><HardReset>b</HardReset><PowerDown>c</PowerDown>"
          "<PowerCycle>d</PowerCycle><NMI>e</NMI><SMI>f</SMI><Reboot>g</Reboot></enum>";
    }
    if (std::string(item.type) == "integer") {
      doc += "<minimum>-9223372036854775807</minimum><maximum>9223372036854775807</maximum>";
    }
    doc += std::string("<default>") + item.def + "</default></item>\n";
  }
  return doc + "</config_define>\n";
}

std::string ShippedDefinition() {
  std::ifstream in(tw::test::StageDir() + kDefinition);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Data(std::map<std::string, std::string> changes,
                 const std::vector<std::string>& omit = {}) {
  std::map<std::string, std::string> values = kBase;
  for (const auto& [k, v] : changes) values[k] = v;
  for (const auto& k : omit) values.erase(k);
  std::string doc = "<config>\n";
  for (const auto& [k, v] : values) doc += "  <" + k + ">" + v + "</" + k + ">\n";
  return doc + "</config>\n";
}

class SettingsTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    tw::test::InitSettingsMutex();
    // Syslog open, so that the syslog message of the defaults is buffered.
    CWDTSettingsAccess::SetLog(1, 1, 30, "/tmp/settings/t", "qvsmwdt");
    ASSERT_EQ(g_objErrorLog.WDT_InitialiseLogFiles(), 0);
  }
  static void TearDownTestSuite() { g_objErrorLog.WDT_StopLogging(); }

  void SetUp() override {
    g_nXmlLogLevel = 30;
    WriteFile(kDefinition, OpenDefinition());
    WriteFile(kData, Data({}));
    ASSERT_EQ(Read(), 0);
    ASSERT_EQ(Current(), kBaseValues);
    DrainLogBuffer();
  }
  static int Read() {
    WdtSettingsLock s;
    return s->WDT_WatchdogReadConfig();
  }
  static int Check() {
    WdtSettingsLock s;
    return s->WDT_LogXMLvalues();
  }
};

TEST_F(SettingsTest, DocumentsGiveTheirValuesChecksAndAdjustments) {
  Values adjusted = kBaseValues;
  adjusted.interval = 90;
  adjusted.count = 2;
  adjusted.minimum = 45;
  Values smi = kBaseValues;
  smi.action = 0x10;
  Values retryDefault = kBaseValues;
  retryDefault.retry = 900;
  // The shipped definition's limits make the library drop the value, so
  // the definition's default takes its place.
  Values shippedLimit = kBaseValues;
  shippedLimit.interval = 1200;
  shippedLimit.defaultName = "qvsmwdt";
  Values partial = kBaseValues;  // read up to RetryInterval, then failed
  partial.errorWatching = false;
  partial.action = 0x02;
  partial.interval = 700;
  partial.count = 4;
  partial.shortening = 4;
  partial.minimum = 50;
  partial.retry = 200;

  const struct {
    const char* what;
    std::string definition;
    std::string data;
    int read, check;
    Values want;
    std::vector<std::string> ids;     // buffered by the check, in this order
    std::vector<std::string> absent;  // not buffered
  } cases[] = {
      {"TimeoutInterval 3601 against the shipped limits",
       ShippedDefinition(),
       Data({{"TimeoutInterval", "3601"}}),
       0,
       0,
       shippedLimit,
       {},
       {"ZELKW-118-W"}},
      {"TimeoutInterval 3601",
       OpenDefinition(),
       Data({{"TimeoutInterval", "3601"}}),
       0,
       -1,
       kDefaults,
       {"ZELKW-118-W", "ZELKW-119-W"},
       {"ZELKW-068-K"}},
      {"IntervalCount 11",
       OpenDefinition(),
       Data({{"IntervalCount", "11"}}),
       0,
       -1,
       kDefaults,
       {"ZELKW-118-W"},
       {}},
      {"LogLevel -2",
       OpenDefinition(),
       Data({{"LogLevel", "-2"}}),
       0,
       -1,
       kDefaults,
       {"ZELKW-118-W"},
       {}},
      {"LogName of 226",
       OpenDefinition(),
       Data({{"LogName", std::string(226, 'n')}}),
       0,
       -1,
       kDefaults,
       {"ZELKW-118-W", "ZELKW-119-W"},
       {}},
      {"TimeoutInterval 2^32+60",
       OpenDefinition(),
       Data({{"TimeoutInterval", "4294967356"}}),
       0,
       -1,
       kDefaults,
       {"ZELKW-118-W"},
       {}},
      {"60/2/45",
       OpenDefinition(),
       Data({{"TimeoutInterval", "60"}, {"IntervalCount", "2"}, {"MinimumInterval", "45"}}),
       0,
       0,
       adjusted,
       {"ZELKW-068-K"},
       {"ZELKW-118-W", "ZELKW-119-W"}},
      {"SMI", OpenDefinition(), Data({{"TimeoutAction", "SMI"}}), 0, 0, smi, {}, {"ZELKW-118-W"}},
      {"enumerator outside the six",
       OpenDefinition(),
       Data({{"TimeoutAction", "Reboot"}}),
       0,
       0,
       kBaseValues,
       {},
       {"ZELKW-118-W"}},
      {"key missing from the data",
       OpenDefinition(),
       Data({}, {"RetryInterval"}),
       0,
       0,
       retryDefault,
       {},
       {"ZELKW-118-W"}},
      {"key missing from both",
       OpenDefinition("MaximumRetryTime"),
       Data({{"ErrorWatching", "FALSE"},
             {"TimeoutAction", "PowerDown"},
             {"TimeoutInterval", "700"},
             {"IntervalCount", "4"},
             {"ShorteningCount", "4"},
             {"MinimumInterval", "50"},
             {"RetryInterval", "200"},
             {"LogLevel", "0"},
             {"LogSize", "9"},
             {"LogPages", "9"},
             {"LogName", "later"}},
            {"MaximumRetryTime"}),
       -1,
       0,
       partial,
       {},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(kData, Data({}));
    WriteFile(kDefinition, OpenDefinition());
    ASSERT_EQ(Read(), 0);
    WriteFile(kDefinition, c.definition);
    WriteFile(kData, c.data);
    DrainLogBuffer();
    EXPECT_EQ(Read(), c.read);
    if (c.read == 0) {
      EXPECT_EQ(Check(), c.check);
    }
    EXPECT_EQ(Current(), c.want);
    std::vector<std::string> ids;
    for (const WdtLogEntry& e : DrainLogBuffer()) {
      if (std::string(e.id) != "ZELKW-052-K" && std::string(e.id) != "ZELKW-053-K") {
        ids.push_back(e.id);
      }
    }
    size_t at = 0;
    for (const std::string& id : c.ids) {
      while (at < ids.size() && ids[at] != id) ++at;
      EXPECT_LT(at, ids.size()) << id << " missing or out of order";
    }
    for (const std::string& id : c.absent) {
      for (const std::string& got : ids) EXPECT_NE(got, id);
    }
  }
}

TEST_F(SettingsTest, CheckTracesEveryValueThenTheAdjustment) {
  WriteFile(kData,
            Data({{"TimeoutInterval", "60"}, {"IntervalCount", "2"}, {"MinimumInterval", "45"}}));
  ASSERT_EQ(Read(), 0);
  DrainLogBuffer();
  ASSERT_EQ(Check(), 0);
  std::vector<std::string> texts;
  for (const WdtLogEntry& e : DrainLogBuffer()) {
    const std::string text = e.text;
    texts.push_back(text.substr(text.find("] ") + 2));
  }
  const char* const want[] = {
      "Value of TimeoutInterval in the settings XML is 60.",
      "Value of IntervalCount in the settings XML is 2.",
      "Value of ShorteningCount in the settings XML is 3.",
      "Value of MinimumInterval in the settings XML is 45.",
      "Value of RetryInterval in the settings XML is 120.",
      "Value of LogLevel in the settings XML is 20.",
      "Value of LogSize in the settings XML is 4.",
      "Value of LogPages in the settings XML is 3.",
      "Value of MaximumRetryTime in the settings XML is 20.",
      "Value of LogName in the settings XML is base.",
      "Value of ErrorWatching in the settings XML is 1.",
      "Value of TimeoutAction in the settings XML is 1.",
      "The TimeoutInterval value is adjusted to 90.",
  };
  ASSERT_EQ(texts.size(), sizeof want / sizeof want[0]);
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(texts[i].rfind(std::string("WDT_LogXMLvalues : ") + want[i], 0), 0u)
        << "expected " << want[i] << ", got " << texts[i];
  }
}

TEST_F(SettingsTest, ReadFailsWithoutDocumentsOrLibrary) {
  const struct {
    const char* what;
    void (*before)();
    void (*after)();
  } cases[] = {
      {"no data document", [] { ::unlink(kData.c_str()); }, [] {}},
      {"no definition document", [] { ::unlink(kDefinition.c_str()); }, [] {}},
      {"no library",
       [] {
         ::rename(TW_DAEMON_VOPCFG_LIB, (std::string(TW_DAEMON_VOPCFG_LIB) + ".aside").c_str());
       },
       [] {
         ::rename((std::string(TW_DAEMON_VOPCFG_LIB) + ".aside").c_str(), TW_DAEMON_VOPCFG_LIB);
       }},
      {"a library without the entry points",
       [] {
         ::rename(TW_DAEMON_VOPCFG_LIB, (std::string(TW_DAEMON_VOPCFG_LIB) + ".aside").c_str());
         ::link(TW_DAEMON_SYSLOG_LIB, TW_DAEMON_VOPCFG_LIB);
       },
       [] {
         ::unlink(TW_DAEMON_VOPCFG_LIB);
         ::rename((std::string(TW_DAEMON_VOPCFG_LIB) + ".aside").c_str(), TW_DAEMON_VOPCFG_LIB);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.before();
    EXPECT_EQ(Read(), -1);
    c.after();
    EXPECT_EQ(Current(), kBaseValues) << "a read that fails before the keys changes nothing";
  }
}

}  // namespace
