#include "bmc/bmc_sim_client.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "bmc/bmc_sim_state.h"

namespace tw::test {
namespace bs = tw::bmcsim;
namespace {

bs::State* AsState(void* p) { return static_cast<bs::State*>(p); }

// Holds the simulation's lock for the life of the object.
class Lock {
 public:
  explicit Lock(const std::string& dir) : fd_(bs::LockState(dir.c_str())) {
    if (fd_ < 0) throw std::runtime_error("cannot lock the simulated BMC in " + dir);
  }
  ~Lock() { bs::UnlockState(fd_); }

 private:
  int fd_;
};

// "12.000000345" (seconds) as nanoseconds.
int64_t ParseSeconds(const std::string& text) {
  bool negative = !text.empty() && text[0] == '-';
  std::string t = negative ? text.substr(1) : text;
  size_t dot = t.find('.');
  int64_t sec = std::stoll(t.substr(0, dot));
  int64_t ns = 0;
  if (dot != std::string::npos) {
    std::string frac = (t.substr(dot + 1) + "000000000").substr(0, 9);
    ns = std::stoll(frac);
  }
  int64_t v = sec * 1000000000 + ns;
  return negative ? -v : v;
}

std::vector<uint8_t> ParseHex(const std::string& text) {
  std::vector<uint8_t> out;
  if (text == "-") return out;
  std::stringstream in(text);
  std::string byte;
  while (std::getline(in, byte, ':'))
    out.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
  return out;
}

}  // namespace

bool ParseBmcEvent(const std::string& line, BmcEvent* event) {
  std::istringstream in(line);
  std::string seq, op, field;
  if (!(in >> seq >> op)) return false;
  BmcEvent e;
  try {
    e.seq = std::stoll(seq);
    if (op == "open")
      e.op = BmcEvent::Op::kOpen;
    else if (op == "send")
      e.op = BmcEvent::Op::kSend;
    else if (op == "recv")
      e.op = BmcEvent::Op::kRecv;
    else if (op == "close")
      e.op = BmcEvent::Op::kClose;
    else
      return false;
    while (in >> field) {
      size_t eq = field.find('=');
      if (eq == std::string::npos) return false;
      std::string key = field.substr(0, eq), value = field.substr(eq + 1);
      if (key == "wall")
        e.wall_ns = ParseSeconds(value);
      else if (key == "real")
        e.real_ns = ParseSeconds(value);
      else if (key == "virt")
        e.virt_ns = ParseSeconds(value);
      else if (key == "pid")
        e.pid = std::stoi(value);
      else if (key == "tid")
        e.tid = std::stoi(value);
      else if (key == "fd")
        e.fd = std::stoi(value);
      else if (key == "err")
        e.err = std::stoi(value);
      else if (key == "netfn")
        e.netfn = std::stoi(value, nullptr, 16);
      else if (key == "cmd")
        e.cmd = std::stoi(value, nullptr, 16);
      else if (key == "msgid")
        e.msgid = std::stol(value);
      else if (key == "data")
        e.data = ParseHex(value);
      else if (key == "cc")
        e.cc = value == "-" ? -1 : std::stoi(value, nullptr, 16);
      else if (key == "fault")
        e.fault = value;
    }
  } catch (const std::exception&) {
    return false;
  }
  *event = e;
  return true;
}

BmcSim::BmcSim(const std::string& dir, int scale, bool fresh) : dir_(dir) {
  state_ = bs::MapState(dir.c_str(), scale);
  if (state_ == nullptr) throw std::runtime_error("cannot map the simulated BMC in " + dir);
  if (!fresh) return;
  Lock lock(dir_);
  bs::Initialise(AsState(state_), scale);
  std::ofstream(dir_ + "/" + bs::kLogFile, std::ios::trunc);
}

BmcSim BmcSim::Create(const std::string& dir, int scale) { return BmcSim(dir, scale, true); }

BmcSim::BmcSim(const std::string& dir) : BmcSim(dir, 1, false) {}

BmcSim::BmcSim(BmcSim&& other) noexcept : dir_(std::move(other.dir_)), state_(other.state_) {
  other.state_ = nullptr;
}

BmcSim::~BmcSim() { bs::UnmapState(AsState(state_)); }

int BmcSim::scale() const { return static_cast<int>(AsState(state_)->scale); }

void BmcSim::SetFault(BmcFault fault, uint8_t cmd, int64_t delay_ms, int count) {
  Lock lock(dir_);
  bs::State* s = AsState(state_);
  s->fault = static_cast<int64_t>(fault);
  s->fault_cmd = cmd;
  s->fault_param_ms = delay_ms;
  s->fault_count = count;
}

void BmcSim::FailOpen(int err, int count) {
  Lock lock(dir_);
  AsState(state_)->open_errno = err;
  AsState(state_)->open_count = count;
}

void BmcSim::LoseSettings() {
  Lock lock(dir_);
  bs::LoseSettings(AsState(state_));
}

std::vector<BmcEvent> BmcSim::Events() const {
  std::vector<BmcEvent> events;
  std::ifstream in(dir_ + "/" + bs::kLogFile);
  std::string line;
  BmcEvent e;
  while (std::getline(in, line))
    if (ParseBmcEvent(line, &e)) events.push_back(e);
  return events;
}

std::vector<BmcEvent> BmcSim::Requests(int cmd) const {
  std::vector<BmcEvent> sends;
  for (const BmcEvent& e : Events())
    if (e.op == BmcEvent::Op::kSend && (cmd < 0 || e.cmd == cmd)) sends.push_back(e);
  return sends;
}

BmcTimerState BmcSim::Timer() const {
  Lock lock(dir_);
  bs::State* s = AsState(state_);
  int64_t now = bs::VirtualNs(*s);
  bs::Advance(s, now);
  const bs::Timer& t = s->timer;
  BmcTimerState out;
  out.ever_set = t.ever_set != 0;
  out.running = t.running != 0;
  out.use = static_cast<int>(t.use);
  out.action = static_cast<int>(t.action);
  out.pretimeout = static_cast<int>(t.pretimeout);
  out.flags = static_cast<int>(t.flags);
  out.initial = static_cast<int>(t.initial);
  out.present = static_cast<int>(bs::PresentCountdown(*s, now));
  out.left_ms = t.running ? (t.start_ns + t.initial * 100000000 - now) / 1000000 : 0;
  out.expiries = t.expiries;
  out.last_action = static_cast<int>(t.last_action);
  out.last_expiry_ns = t.expiries > 0 ? t.last_expiry_ns : -1;
  out.pretimeouts = t.pretimeouts;
  out.sets = t.sets;
  out.resets = t.resets;
  return out;
}

int64_t BmcSim::VirtualNowNs() const { return bs::VirtualNs(*AsState(state_)); }

bool BmcSim::WaitForRequests(int cmd, size_t n, int timeout_ms) const {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (Requests(cmd).size() >= n) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string BmcSim::Preload() {
  std::string runtime = TW_BMC_SIM_RUNTIME;
  return runtime.empty() ? std::string(TW_BMC_SIM_LIB) : runtime + " " + TW_BMC_SIM_LIB;
}

std::vector<std::string> BmcSim::Environment() const {
  return {"LD_PRELOAD=" + Preload(), "TW_BMC_SIM_DIR=" + dir_,
          "TW_BMC_SIM_SCALE=" + std::to_string(scale())};
}

}  // namespace tw::test
