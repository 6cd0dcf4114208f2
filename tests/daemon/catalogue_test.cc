// Every identifier's channel, level and exact text, and the argument order
// of the formats the daemon fills in.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "QVSM_MessageCatalogue.h"

namespace {

struct Row {
  WdtMsgId msg;
  const char* name;  // the enumerator, spelled as the identifier with '_'
  WdtChannel channel;
  int level;
  const char* text;
};

#define ROW(m, c, l, t) \
  { m, #m, c, l, t }
constexpr WdtChannel T = WDT_CHANNEL_TRACE;
constexpr WdtChannel D = WDT_CHANNEL_DIRECT;
constexpr WdtChannel S = WDT_CHANNEL_SYSLOG;

const Row kExpected[] = {
    ROW(ZELKW_011_K, T, 30, "%s : Enter."),
    ROW(ZELKW_012_K, T, 30, "%s : Exit."),
    ROW(ZELKW_013_E, T, 0, "%s : The function %s is failed."),
    ROW(ZELKW_014_I, T, 20, "%s : The function %s is successfully executed."),
    ROW(ZELKW_015_E, T, 0,
        "%s : Exception has been occurred in the function. Thus exits from the function."),
    ROW(ZELKW_016_K, T, 30, "%s : This copy is already running as a daemon."),
    ROW(ZELKW_017_I, T, 20,
        "%s : The service has been started successfully as it been daemonized properly."),
    ROW(ZELKW_018_E, T, 0, "%s : Daemonize unsuccessful, service not started."),
    ROW(ZELKW_019_I, T, 20, "%s : Fork() is successful."),
    ROW(ZELKW_020_E, T, 0, "%s : Fork() call failed and exits."),
    ROW(ZELKW_021_I, T, 20, "%s : Parent process exits after creating the child process."),
    ROW(ZELKW_022_I, T, 20, "%s : Creating child process for starting of the daemon."),
    ROW(ZELKW_023_E, T, 0, "%s : The lock file is not opened."),
    ROW(ZELKW_024_I, T, 20, "%s : The lock file is opened successfully."),
    ROW(ZELKW_025_I, T, 20, "%s : The lock file is successfully locked."),
    ROW(ZELKW_026_E, T, 0,
        "%s : The lock file is not locked since already a copy of daemon is running."),
    ROW(ZELKW_028_I, T, 20, "%s : The service has been stopped successfully."),
    ROW(ZELKW_029_K, T, 30, "%s : %s the command (0x%x) to hardware."),
    ROW(ZELKW_030_K, T, 30, "%s : Request to IPMI sent : %d."),
    ROW(ZELKW_031_K, T, 30, "%s : Request msgid is 0x%02x."),
    ROW(ZELKW_032_K, T, 30, "%s : The value of req.msg.netfn is 0x%02x."),
    ROW(ZELKW_033_K, T, 30, "%s : The value of req.msg.data_len is 0x%02x."),
    ROW(ZELKW_034_K, T, 30, "%s : The value of data[%d] is 0x%02x."),
    ROW(ZELKW_035_K, T, 30, "%s : The value of data length is 0x%02x."),
    ROW(ZELKW_036_I, T, 20, "%s : The value of request data message command 0x%02x."),
    ROW(ZELKW_037_E, T, 0,
        "%s : Failed to %s IPMI command. The return value is %d and error number is %d."),
    ROW(ZELKW_038_I, T, 20, "%s : %s the timer is executed successfully."),
    ROW(ZELKW_039_I, T, 20, "%s : Retrying to get the response from IPMI. Retry count is %d."),
    ROW(ZELKW_040_I, T, 20, "%s : WDT Timer is successfully stopped."),
    ROW(ZELKW_041_E, T, 0, "%s : Failed to stop the WDT Timer."),
    ROW(ZELKW_042_I, T, 20, "%s : %s thread created successfully."),
    ROW(ZELKW_043_E, T, 0, "%s : Operation Thread is not created."),
    ROW(ZELKW_044_E, T, 0, "%s : Terminating the Operation Thread."),
    ROW(ZELKW_045_E, T, 0, "%s : Operation Thread is terminated."),
    ROW(ZELKW_046_E, T, 0, "%s : Operation Thread is not running yet."),
    ROW(ZELKW_048_K, T, 30, "%s : Main Thread waits for any signal to arrive."),
    ROW(ZELKW_049_K, T, 30, "%s : Wait has been moved, since the signal is arrived."),
    ROW(ZELKW_050_I, T, 20, "%s : setsid() is successfully executed."),
    ROW(ZELKW_051_E, T, 0, "%s : setsid() is failed."),
    ROW(ZELKW_052_K, T, 30, "%s : Value of %s in the settings XML is %d."),
    ROW(ZELKW_053_K, T, 30, "%s : Value of %s in the settings XML is %s."),
    ROW(ZELKW_054_E, T, 0, "%s : Function input parameters are invalid."),
    ROW(ZELKW_055_E, T, 0,
        "%s : Problem in setting the priority of the process, continuing with the default "
        "priority."),
    ROW(ZELKW_056_I, T, 20, "%s : Highest priority is set for the process."),
    ROW(ZELKW_057_E, D, 0, "Skipped to output over 2147483646 messages."),
    ROW(ZELKW_058_E, D, 0, "Skipped to output %d messages."),
    ROW(ZELKW_059_K, D, 30, "WDT_LoggerThread : Enter."),
    ROW(ZELKW_060_K, D, 30, "WDT_LoggerThread : Exit."),
    ROW(ZELKW_061_I, S, 6, "Vorlan Monitor : The service started successfully."),
    ROW(ZELKW_062_I, S, 6, "Vorlan Monitor : The service stopped successfully."),
    ROW(ZELKW_063_I, S, 6, "Vorlan Monitor : The timer is successfully set and started."),
    ROW(ZELKW_064_I, S, 6, "Vorlan Monitor : The timer is successfully stopped."),
    ROW(ZELKW_065_E, S, 3, "Vorlan Monitor : There is no response from the hardware."),
    ROW(ZELKW_066_I, S, 6, "Vorlan Monitor : The response recovered from the hardware."),
    ROW(ZELKW_067_E, S, 3, "Vorlan Monitor : Stopping the timer has been failed."),
    ROW(ZELKW_068_K, T, 30, "%s : The %s value is adjusted to %d."),
    ROW(ZELKW_109_I, S, 6, "Vorlan Monitor : The timer is disabled."),
    ROW(ZELKW_110_I, S, 6, "Vorlan Monitor : The timer is not started."),
    ROW(ZELKW_113_E, T, 0, "%s : The IPMI call has not returned."),
    ROW(ZELKW_116_E, T, 0, "%s : The length of the IPMI response data is 0."),
    ROW(ZELKW_118_W, T, 10,
        "%s : The invalid value(s) are found. All values are adjusted to default."),
    ROW(ZELKW_119_W, S, 5,
        "Vorlan Monitor : Some parameters are invalid. All parameters are used to default "
        "value."),
};

TEST(Catalogue, EveryIdentifierHasItsChannelLevelAndText) {
  ASSERT_EQ(sizeof kExpected / sizeof kExpected[0], static_cast<size_t>(WDT_MSG_COUNT));
  std::set<std::string> seen;
  for (const Row& row : kExpected) {
    std::string id = row.name;
    for (char& c : id) c = c == '_' ? '-' : c;
    const WdtMessage& m = WDT_GetMessage(row.msg);
    SCOPED_TRACE(id);
    EXPECT_STREQ(m.id, id.c_str());
    EXPECT_EQ(m.channel, row.channel);
    EXPECT_EQ(m.level, row.level);
    EXPECT_STREQ(m.text, row.text);
    EXPECT_TRUE(seen.insert(m.id).second) << "identifier listed twice";
    // The severity letter and the level or importance agree.
    const char letter = id.back();
    const int expected = row.channel == S ? (letter == 'E'   ? 3
                                             : letter == 'W' ? 5
                                                             : 6)
                                          : (letter == 'E'   ? 0
                                             : letter == 'W' ? 10
                                             : letter == 'I' ? 20
                                                             : 30);
    EXPECT_EQ(m.level, expected) << "letter " << letter;
  }
}

#pragma GCC diagnostic ignored "-Wformat-nonliteral"
template <typename... A>
std::string Fill(WdtMsgId msg, A... args) {
  char out[512];
  std::snprintf(out, sizeof out, WDT_GetMessage(msg).text, args...);
  return out;
}

TEST(Catalogue, FormatsTakeTheirArgumentsInOrder) {
  const struct {
    std::string got, want;
  } cases[] = {
      {Fill(ZELKW_013_E, "Main", "WDT_WatchdogReadConfig()"),
       "Main : The function WDT_WatchdogReadConfig() is failed."},
      {Fill(ZELKW_029_K, "WDT_ExecCommand", "sending", 0x24),
       "WDT_ExecCommand : sending the command (0x24) to hardware."},
      {Fill(ZELKW_034_K, "WDT_ExecCommand", 3, 0x7),
       "WDT_ExecCommand : The value of data[3] is 0x07."},
      {Fill(ZELKW_037_E, "WDT_ExecCommand", "send", -1, 22),
       "WDT_ExecCommand : Failed to send IPMI command. The return value is -1 and error number "
       "is 22."},
      {Fill(ZELKW_042_I, "Main", "WDT_LoggerThread"),
       "Main : WDT_LoggerThread thread created successfully."},
      {Fill(ZELKW_052_K, "WDT_LogXMLvalues", "TimeoutInterval", 1200),
       "WDT_LogXMLvalues : Value of TimeoutInterval in the settings XML is 1200."},
      {Fill(ZELKW_053_K, "WDT_LogXMLvalues", "LogName", "qvsmwdt"),
       "WDT_LogXMLvalues : Value of LogName in the settings XML is qvsmwdt."},
      {Fill(ZELKW_058_E, 17), "Skipped to output 17 messages."},
      {Fill(ZELKW_068_K, "WDT_LogXMLvalues", "TimeoutInterval", 90),
       "WDT_LogXMLvalues : The TimeoutInterval value is adjusted to 90."},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

}  // namespace
