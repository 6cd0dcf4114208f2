// The test's side of the simulated BMC: creates the simulation directory,
// switches faults while the daemon runs, reads the request log and the timer,
// and gives the environment that preloads the double into the daemon.
//
//   tw::test::BmcSim bmc = tw::test::BmcSim::Create("/tmp/bmc-sim", 20);
//   StartDaemon(bmc.Environment());            // LD_PRELOAD, TW_BMC_SIM_DIR, ...
//   ASSERT_TRUE(bmc.WaitForRequests(tw::test::kBmcSet, 1, 10000));
//   bmc.SetFault(tw::test::BmcFault::kSilent, tw::test::kBmcReset);
//   auto log = bmc.Requests();                 // every open, send, receive, close
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace tw::test {

constexpr uint8_t kBmcReset = 0x22;
constexpr uint8_t kBmcSet = 0x24;
constexpr uint8_t kBmcGet = 0x25;

enum class BmcFault {
  kNone = 0,
  kSilent = 1,        // no response is ever queued
  kBusy = 2,          // completion code 0xC0, the command is not executed
  kLoseSettings = 3,  // the BMC forgets its Set just before the command (Reset then 0x80)
  kLate = 4,          // the response is queued delay_ms (virtual) after the send
  kBlock = 5,         // the send ioctl blocks delay_ms (virtual) first
};

// One line of the request log.
struct BmcEvent {
  enum class Op { kOpen, kSend, kRecv, kClose };
  int64_t seq = 0;
  Op op = Op::kSend;
  int64_t wall_ns = 0;  // CLOCK_REALTIME
  int64_t real_ns = 0;  // real time since the simulation's origin
  int64_t virt_ns = 0;  // virtual time since the origin (real × scale)
  int pid = 0;
  int tid = 0;
  int fd = -1;
  int err = 0;     // errno of a failed open or receive
  int netfn = -1;  // send: the request's; recv: the response's
  int cmd = -1;
  long msgid = -1;
  std::vector<uint8_t> data;  // send: request bytes; recv: response bytes (cc first)
  int cc = -1;                // completion code answered; -1 none (silent)
  std::string fault = "-";    // fault applied to this request
};

struct BmcTimerState {
  bool ever_set = false;
  bool running = false;
  int use = 0;          // as set, without the don't-stop bit
  int action = 0;       // byte 2 as set
  int pretimeout = 0;   // seconds
  int flags = 0;        // expiration flags
  int initial = 0;      // 100 ms units
  int present = 0;      // 100 ms units, now
  int64_t left_ms = 0;  // virtual ms before expiry; 0 when stopped
  int64_t expiries = 0;
  int last_action = -1;         // timeout action of the last expiry; -1 none yet
  int64_t last_expiry_ns = -1;  // virtual time of the last expiry
  int64_t pretimeouts = 0;
  int64_t sets = 0;    // accepted Set commands
  int64_t resets = 0;  // accepted Reset commands
};

class BmcSim {
 public:
  // Creates the directory if needed and starts a fresh simulation in it:
  // virtual time 0 now, no Set, no fault, empty log. Do this while no
  // preloaded process runs: their clock jumps with the origin.
  static BmcSim Create(const std::string& dir, int scale);
  // Attaches to an existing simulation.
  explicit BmcSim(const std::string& dir);
  ~BmcSim();
  BmcSim(BmcSim&& other) noexcept;
  BmcSim(const BmcSim&) = delete;
  BmcSim& operator=(const BmcSim&) = delete;
  BmcSim& operator=(BmcSim&&) = delete;

  const std::string& dir() const { return dir_; }
  int scale() const;

  // The fault applies to requests of `cmd` (0: every command), to the next
  // `count` of them (0: until changed); delay_ms is in virtual time.
  void SetFault(BmcFault fault, uint8_t cmd = 0, int64_t delay_ms = 0, int count = 0);
  void ClearFault() { SetFault(BmcFault::kNone); }
  // Opens of /dev/ipmi0 fail with err (ENOENT, EACCES...) for the next
  // `count` opens (0: until changed); err 0 lets them succeed.
  void FailOpen(int err, int count = 0);
  // As after a reset of the BMC itself: the timer forgets its Set.
  void LoseSettings();

  std::vector<BmcEvent> Events() const;                // the whole log
  std::vector<BmcEvent> Requests(int cmd = -1) const;  // sends, of one command or all
  BmcTimerState Timer() const;
  int64_t VirtualNowNs() const;

  // Waits until the log holds at least n sends of cmd (-1: any), polling;
  // false on timeout (real milliseconds).
  bool WaitForRequests(int cmd, size_t n, int timeout_ms) const;

  // LD_PRELOAD value for a program of this build tree: the sanitizer runtime
  // first when the tree is sanitized, then the double.
  static std::string Preload();
  // The environment entries the daemon needs: LD_PRELOAD, TW_BMC_SIM_DIR,
  // TW_BMC_SIM_SCALE.
  std::vector<std::string> Environment() const;

 private:
  BmcSim(const std::string& dir, int scale, bool fresh);
  std::string dir_;
  void* state_ = nullptr;
};

// Parses one log line; false when it is not one.
bool ParseBmcEvent(const std::string& line, BmcEvent* event);

}  // namespace tw::test
