#include "bmc_probe.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/ipmi.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

constexpr uint8_t kNetFnApp = 0x06;
constexpr uint8_t kGetWatchdogTimer = 0x25;
// The answer may take the kernel's own retries on a busy interface (it then
// answers 0xC3 itself, after about five seconds): wait a little longer.
constexpr int kReceiveAttempts = 60;
constexpr long kReceivePauseNs = 100L * 1000 * 1000;

// A different id from anything a long-lived daemon would use first.
long MessageId() { return 0x7a000000L | (getpid() & 0xffffff); }

std::string Hex(int value) {
  char text[8];
  snprintf(text, sizeof text, "0x%02X", value & 0xff);
  return text;
}

std::string OpenProblem(const char* device, int err) {
  std::string why = std::string("cannot open ") + device + ": " + strerror(err);
  if (err == ENOENT || err == ENXIO || err == ENODEV)
    why +=
        " (is the IPMI driver loaded? modprobe ipmi_si ipmi_devintf; a host without a BMC has "
        "none)";
  else if (err == EACCES || err == EPERM)
    why += " (run as root)";
  return why;
}

}  // namespace

const char* TimerUseName(int use) {
  static const char* const kNames[] = {"reserved", "BIOS FRB2", "BIOS/POST", "OS load",
                                       "SMS/OS",   "OEM",       "reserved",  "reserved"};
  return kNames[use & 7];
}

const char* TimeoutActionName(int action) {
  static const char* const kNames[] = {"no action", "hard reset", "power down", "power cycle",
                                       "reserved",  "reserved",   "reserved",   "reserved"};
  return kNames[action & 7];
}

const char* PretimeoutInterruptName(int kind) {
  static const char* const kNames[] = {"none",     "SMI",      "NMI",      "messaging interrupt",
                                       "reserved", "reserved", "reserved", "reserved"};
  return kNames[kind & 7];
}

const char* CompletionCodeName(int code) {
  switch (code) {
    case 0x00:
      return "success";
    case 0xC0:
      return "node busy";
    case 0xC1:
      return "command not supported";
    case 0xC3:
      return "timeout: the BMC did not answer the driver";
    case 0xC7:
      return "request data length invalid";
    case 0xCC:
      return "invalid data field in request";
    case 0xD5:
      return "command not supported in present state";
    case 0xFF:
      return "unspecified error";
    default:
      return "error";
  }
}

bool DecodeGetWatchdogTimer(const uint8_t* response, size_t length, BmcState* bmc) {
  if (length < 1) {
    bmc->problem = "the BMC answered Get Watchdog Timer with an empty message";
    return false;
  }
  bmc->completion_code = response[0];
  if (response[0] != 0) {
    bmc->problem = "the BMC refused Get Watchdog Timer: completion code " + Hex(response[0]) +
                   " (" + CompletionCodeName(response[0]) + ")";
    return false;
  }
  if (length < 9) {
    bmc->problem = "the BMC's answer to Get Watchdog Timer is " + std::to_string(length - 1) +
                   " bytes long, not 8";
    return false;
  }
  bmc->use_byte = response[1];
  bmc->actions_byte = response[2];
  bmc->pretimeout_s = response[3];
  bmc->expiration_flags = response[4];
  bmc->initial_100ms = response[5] | response[6] << 8;
  bmc->present_100ms = response[7] | response[8] << 8;
  bmc->answered = true;
  return true;
}

BmcState ProbeBmc(const char* device) {
  BmcState bmc;
  int fd = open(device, O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    bmc.problem = OpenProblem(device, errno);
    return bmc;
  }
  ipmi_system_interface_addr to = {};
  to.addr_type = IPMI_SYSTEM_INTERFACE_ADDR_TYPE;
  to.channel = IPMI_BMC_CHANNEL;
  to.lun = 0;
  ipmi_req req = {};
  req.addr = reinterpret_cast<unsigned char*>(&to);
  req.addr_len = sizeof to;
  req.msgid = MessageId();
  req.msg.netfn = kNetFnApp;
  req.msg.cmd = kGetWatchdogTimer;
  req.msg.data = nullptr;
  req.msg.data_len = 0;
  if (ioctl(fd, IPMICTL_SEND_COMMAND, &req) < 0) {
    bmc.problem =
        std::string("cannot send Get Watchdog Timer through ") + device + ": " + strerror(errno);
    close(fd);
    return bmc;
  }
  // Only our answer counts: the reply type, our id, the response network
  // function and our command. Anything else on this descriptor is skipped.
  bool matched = false;
  for (int attempt = 0; attempt < kReceiveAttempts && !matched; ++attempt) {
    uint8_t data[IPMI_MAX_MSG_LENGTH] = {};
    ipmi_addr from = {};
    ipmi_recv recv = {};
    recv.addr = reinterpret_cast<unsigned char*>(&from);
    recv.addr_len = sizeof from;
    recv.msg.data = data;
    recv.msg.data_len = sizeof data;
    int rc = ioctl(fd, IPMICTL_RECEIVE_MSG_TRUNC, &recv);
    if (rc < 0 && errno != EMSGSIZE) {
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        bmc.problem = std::string("cannot receive from ") + device + ": " + strerror(errno);
        break;
      }
      struct timespec pause = {0, kReceivePauseNs};
      nanosleep(&pause, nullptr);
      continue;
    }
    if (recv.recv_type != IPMI_RESPONSE_RECV_TYPE || recv.msgid != req.msgid ||
        recv.msg.netfn != (kNetFnApp | 1) || recv.msg.cmd != kGetWatchdogTimer) {
      continue;
    }
    matched = true;
    DecodeGetWatchdogTimer(data, recv.msg.data_len, &bmc);
  }
  close(fd);
  if (!matched && bmc.problem.empty()) {
    bmc.problem = "the BMC did not answer Get Watchdog Timer within " +
                  std::to_string(kReceiveAttempts / 10) + " s";
  }
  return bmc;
}

bool CountdownMoved(const BmcState& first, const BmcState& later) {
  return first.answered && later.answered && first.present_100ms > 0 &&
         later.present_100ms < first.present_100ms && first.initial_100ms == later.initial_100ms;
}

BmcState ProbeBmcTimer(const char* device) {
  BmcState first = ProbeBmc(device);
  if (!first.answered || first.running() || first.present_100ms <= 0 ||
      first.present_100ms >= first.initial_100ms)
    return first;
  usleep(1100 * 1000);
  BmcState later = ProbeBmc(device);
  if (!CountdownMoved(first, later)) return first;
  later.counting = true;
  return later;
}
