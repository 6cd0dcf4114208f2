// The simulated BMC's shared state: one small file in the simulation
// directory, mapped by the preloaded double in every process of the daemon
// and by the test. Its layout is the same in 32- and 64-bit processes (only
// 64-bit integers, no pthread objects), so a 64-bit test can drive a 32-bit
// daemon. Writers serialise with flock on a freshly opened descriptor, never
// one kept open: the daemon closes descriptors behind our back.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace tw::bmcsim {

constexpr char kStateFile[] = "state";
constexpr char kLogFile[] = "requests.log";
constexpr int64_t kMagic = 0x4d49534342575454;  // "TTWBCSIM"
constexpr int64_t kVersion = 1;

// What the BMC (or the driver in front of it) does wrong, set by the test.
enum Fault : int64_t {
  kFaultNone = 0,
  kFaultSilent = 1,  // the request is lost: no response is ever queued
  kFaultBusy = 2,    // completion code 0xC0, the command is not executed
  kFaultLose = 3,    // the BMC lost its timer settings just before the command
  kFaultLate = 4,    // the response is queued only param_ms (virtual) later
  kFaultBlock = 5,   // the send ioctl blocks param_ms (virtual) first
};

constexpr uint8_t kNetFnApp = 0x06;
constexpr uint8_t kCmdResetWatchdog = 0x22;
constexpr uint8_t kCmdSetWatchdog = 0x24;
constexpr uint8_t kCmdGetWatchdog = 0x25;

constexpr uint8_t kCcOk = 0x00;
constexpr uint8_t kCcNotInitialised = 0x80;  // Reset before any accepted Set
constexpr uint8_t kCcBusy = 0xC0;
constexpr uint8_t kCcInvalidCommand = 0xC1;
constexpr uint8_t kCcBadLength = 0xC7;
constexpr uint8_t kCcBadField = 0xCC;

constexpr int kMaxResponse = 16;

struct Timer {
  int64_t ever_set;     // a Set was accepted since the BMC last lost its settings
  int64_t running;      // the countdown runs
  int64_t use;          // byte 1 as set, without the don't-stop bit
  int64_t action;       // byte 2
  int64_t pretimeout;   // byte 3, seconds
  int64_t flags;        // expiration flags
  int64_t initial;      // initial countdown, 100 ms units
  int64_t present;      // present countdown while stopped, 100 ms units
  int64_t start_ns;     // virtual time the running countdown (re)started
  int64_t pre_done;     // the pre-timeout of this countdown has fired
  int64_t expiries;     // timeouts since the simulation was created
  int64_t last_action;  // timeout action of the last expiry, -1 before any
  int64_t last_expiry_ns;
  int64_t pretimeouts;  // pre-timeout interrupts delivered
  int64_t last_pretimeout_ns;
  int64_t sets;    // accepted Set commands
  int64_t resets;  // accepted Reset commands
};

struct State {
  int64_t magic;
  int64_t version;
  int64_t scale;           // virtual seconds per real second
  int64_t origin_mono_ns;  // CLOCK_MONOTONIC at creation: virtual time 0
  int64_t next_seq;        // sequence number of the next log line
  int64_t fault;           // Fault
  int64_t fault_cmd;       // command the fault applies to; 0 = every command
  int64_t fault_param_ms;  // delay of kFaultLate and kFaultBlock, virtual ms
  int64_t fault_count;     // matching requests left; 0 = until changed
  int64_t open_errno;      // open of /dev/ipmi0 fails with this; 0 = opens
  int64_t open_count;      // failing opens left; 0 = until changed
  Timer timer;
  int64_t reserved[32];
};
static_assert(sizeof(State) == 8 * (11 + 17 + 32), "same layout in 32- and 64-bit processes");
static_assert(offsetof(State, timer) == 88, "same layout in 32- and 64-bit processes");

// Moves the timer to virtual time now: fires a due pre-timeout and expiry.
void Advance(State* s, int64_t now_ns);

// Executes one request at virtual time now (after Advance); writes the
// response (completion code first) and returns its length.
int Execute(State* s, int64_t now_ns, uint8_t netfn, uint8_t cmd, const uint8_t* data, size_t len,
            uint8_t* response);

// The BMC lost its settings (as after its own reset): no Set ever accepted.
void LoseSettings(State* s);

// Present countdown in 100 ms units at virtual time now (rounded up).
int64_t PresentCountdown(const State& s, int64_t now_ns);

// Fresh state: no Set, no fault, origin at the current monotonic time.
void Initialise(State* s, int64_t scale);

// ---- the file -------------------------------------------------------------

// Maps dir/state read-write, creating and initialising it with the scale when
// it is missing or not a state file. nullptr on failure.
State* MapState(const char* dir, int64_t scale_if_new);
void UnmapState(State* s);

// Exclusive lock over the state and the log; -1 on failure.
int LockState(const char* dir);
void UnlockState(int lock);

int64_t MonotonicNs();
int64_t RealtimeNs();
// Virtual ns since the origin; real ns since the origin in *real when set.
int64_t VirtualNs(const State& s, int64_t* real = nullptr);

// Appends one line to dir/requests.log (opened for this write only).
void AppendLog(const char* dir, const char* line, size_t len);

}  // namespace tw::bmcsim
