// The watchdog timer model on its own, at chosen virtual times: command
// semantics, completion codes, countdown, expiry and pre-timeout.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bmc/bmc_sim_state.h"

namespace tw::bmcsim {
namespace {

using Bytes = std::vector<uint8_t>;

std::string Hex(const Bytes& b) {
  std::string s;
  char x[4];
  for (uint8_t v : b) {
    snprintf(x, sizeof x, "%02x ", v);
    s += x;
  }
  return s;
}

// One request at a virtual time (ms) and the exact response expected.
struct Step {
  int64_t at_ms;
  uint8_t netfn;
  uint8_t cmd;
  Bytes data;
  Bytes want;
  const char* what;
};

void Play(State* s, const std::vector<Step>& steps) {
  for (const Step& step : steps) {
    int64_t now = step.at_ms * 1000000;
    Advance(s, now);
    uint8_t response[kMaxResponse] = {};
    int n = Execute(s, now, step.netfn, step.cmd, step.data.data(), step.data.size(), response);
    Bytes got(response, response + n);
    EXPECT_EQ(Hex(step.want), Hex(got)) << step.what << " at " << step.at_ms << " ms";
  }
}

const Bytes kArm1200 = {0x04, 0x01, 0x00, 0x10, 0xe0, 0x2e};  // hard reset, 1200 s
const Bytes kStop = {0x04, 0x00, 0x00, 0x10, 0x00, 0x00};

TEST(BmcModel, SetResetGetSemantics) {
  State s;
  Initialise(&s, 1);
  Play(
      &s,
      {
          {0, 6, 0x22, {}, {0x80}, "Reset before any Set"},
          {0, 6, 0x25, {}, {0, 0, 0, 0, 0, 0, 0, 0, 0}, "Get before any Set"},
          {0, 6, 0x24, {0x04, 0x01, 0x00, 0x10, 0xe0}, {0xc7}, "Set with 5 bytes"},
          {0, 6, 0x24, {0x04, 0x01, 0x00, 0x10, 0xe0, 0x2e, 0}, {0xc7}, "Set with 7 bytes"},
          {0, 6, 0x24, {0x00, 0x01, 0x00, 0x10, 0xe0, 0x2e}, {0xcc}, "Set with timer use 0"},
          {0, 6, 0x24, {0x06, 0x01, 0x00, 0x10, 0xe0, 0x2e}, {0xcc}, "Set with timer use 6"},
          {0, 6, 0x24, {0x04, 0x04, 0x00, 0x10, 0xe0, 0x2e}, {0xcc}, "Set with action 4"},
          {0, 6, 0x24, {0x04, 0x41, 0x00, 0x10, 0xe0, 0x2e}, {0xcc}, "Set with pre-timeout 4"},
          {0, 6, 0x22, {}, {0x80}, "Reset after rejected Sets only"},
          {0, 6, 0x24, kArm1200, {0x00}, "arming Set"},
          {0, 6, 0x25, {}, {0, 0x04, 0x01, 0, 0, 0xe0, 0x2e, 0xe0, 0x2e}, "Get after Set: stopped"},
          {1000, 6, 0x22, {}, {0x00}, "Reset starts the countdown"},
          {2500, 6, 0x25, {}, {0, 0x44, 0x01, 0, 0, 0xe0, 0x2e, 0xd1, 0x2e}, "running 1.5 s"},
          {3000, 6, 0x24, {0x44, 0x02, 0x00, 0x00, 0x64, 0x00}, {0x00}, "don't-stop Set, running"},
          {3250, 6, 0x25, {}, {0, 0x44, 0x02, 0, 0, 0x64, 0, 0x62, 0}, "new countdown runs"},
          {4000, 6, 0x24, {0x04, 0x02, 0x00, 0x00, 0x64, 0x00}, {0x00}, "plain Set stops"},
          {4100, 6, 0x25, {}, {0, 0x04, 0x02, 0, 0, 0x64, 0, 0x64, 0}, "stopped, countdown loaded"},
          {4200, 6, 0x24, {0x44, 0x02, 0x00, 0x00, 0x32, 0x00}, {0x00}, "don't-stop Set, stopped"},
          {9900, 6, 0x25, {}, {0, 0x04, 0x02, 0, 0, 0x32, 0, 0x32, 0}, "stays stopped"},
          {9900, 6, 0x23, {}, {0xc1}, "unknown command"},
          {9900, 0x0a, 0x24, kArm1200, {0xc1}, "other network function"},
          {9900, 6, 0x22, {0x00}, {0xc7}, "Reset with data"},
          {9900, 6, 0x25, {0x00}, {0xc7}, "Get with data"},
      });
  EXPECT_EQ(0, s.timer.expiries) << "no countdown ran out";
  EXPECT_EQ(1, s.timer.resets);
  EXPECT_EQ(4, s.timer.sets);
}

TEST(BmcModel, ExpiryActionsAndFlags) {
  State s;
  Initialise(&s, 1);
  Play(&s,
       {
           {0, 6, 0x24, {0x04, 0x01, 0x00, 0x10, 0x64, 0x00}, {0x00}, "arm 10 s, hard reset"},
           {0, 6, 0x22, {}, {0x00}, "start"},
           {9999, 6, 0x25, {}, {0, 0x44, 0x01, 0, 0, 0x64, 0, 0x01, 0}, "1 ms left"},
           {10000, 6, 0x25, {}, {0, 0x04, 0x01, 0, 0x10, 0x64, 0, 0, 0}, "expired: SMS/OS flag"},
       });
  EXPECT_EQ(1, s.timer.expiries);
  EXPECT_EQ(1, s.timer.last_action);
  EXPECT_EQ(10000000000, s.timer.last_expiry_ns) << "expiry at the deadline, not when seen";
  Play(
      &s,
      {
          {20000, 6, 0x24, {0x04, 0x03, 0x00, 0x00, 0x0a, 0x00}, {0x00}, "power cycle, keep flags"},
          {20000, 6, 0x25, {}, {0, 0x04, 0x03, 0, 0x10, 0x0a, 0, 0x0a, 0}, "flag kept"},
          {20000, 6, 0x22, {}, {0x00}, "start 1 s"},
          {25000, 6, 0x24, {0x03, 0x00, 0x00, 0x10, 0x00, 0x00}, {0x00}, "use OS loader, clear"},
          {25000, 6, 0x25, {}, {0, 0x03, 0x00, 0, 0, 0, 0, 0, 0}, "flag cleared"},
          {25000, 6, 0x22, {}, {0x00}, "zero countdown"},
          {25000, 6, 0x25, {}, {0, 0x03, 0x00, 0, 0x08, 0, 0, 0, 0}, "expired at once"},
      });
  EXPECT_EQ(3, s.timer.expiries);
  EXPECT_EQ(0, s.timer.last_action) << "action none still times out and sets its flag";
}

TEST(BmcModel, PretimeoutFiresBeforeExpiry) {
  State s;
  Initialise(&s, 1);
  Play(&s, {{0, 6, 0x24, {0x04, 0x21, 0x03, 0x10, 0x64, 0x00}, {0x00}, "NMI 3 s before reset"},
            {0, 6, 0x22, {}, {0x00}, "start"}});
  Advance(&s, 6999000000);
  EXPECT_EQ(0, s.timer.pretimeouts) << "pre-timeout before its time";
  Advance(&s, 7000000000);
  EXPECT_EQ(1, s.timer.pretimeouts);
  EXPECT_EQ(0, s.timer.expiries);
  Advance(&s, 10000000000);
  EXPECT_EQ(1, s.timer.pretimeouts);
  EXPECT_EQ(1, s.timer.expiries);
}

TEST(BmcModel, LostSettingsAnswerResetWith0x80) {
  State s;
  Initialise(&s, 1);
  Play(&s, {{0, 6, 0x24, kArm1200, {0x00}, "arm"}, {0, 6, 0x22, {}, {0x00}, "start"}});
  LoseSettings(&s);
  Play(&s, {{100, 6, 0x22, {}, {0x80}, "Reset after the BMC lost its settings"},
            {100, 6, 0x25, {}, {0, 0, 0, 0, 0, 0, 0, 0, 0}, "nothing set, nothing runs"},
            {100, 6, 0x24, kStop, {0x00}, "Set again"},
            {100, 6, 0x22, {}, {0x00}, "Reset accepted again"}});
}

}  // namespace
}  // namespace tw::bmcsim
