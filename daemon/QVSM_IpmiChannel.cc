// The IPMI command channel of the operation thread: /dev/ipmi0, one
// request/response exchange, and the two watchdog commands.
#include <errno.h>
#include <fcntl.h>
#include <linux/ipmi.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include "QVSM_ErrorLogging.h"
#include "QVSM_Globals.h"
#include "QVSM_WDTOperationThread.h"
#include "QVSM_WDTSettings.h"

namespace {

const char kDevice[] = "/dev/ipmi0";
const unsigned char kNetFnApplication = 0x06;
const uint8_t kCmdSetWatchdogTimer = 0x24;
const uint8_t kCmdResetWatchdogTimer = 0x22;
const int kReceiveAttempts = 5;
const long kReceivePollNs = 100L * 1000 * 1000;
const unsigned kIoctlAlarmSeconds = 30;

#if defined(__i386__)
static_assert(IPMICTL_SEND_COMMAND == 0x8014690D, "32-bit request layout");
static_assert(IPMICTL_RECEIVE_MSG_TRUNC == 0xC018690B, "32-bit receive layout");
#endif
static_assert(sizeof(ipmi_system_interface_addr) == 8, "address length passed to the driver");

// The BMC itself, through the system interface.
ipmi_system_interface_addr BmcAddress() {
  ipmi_system_interface_addr addr;
  memset(&addr, 0, sizeof addr);
  addr.addr_type = IPMI_SYSTEM_INTERFACE_ADDR_TYPE;
  addr.channel = IPMI_BMC_CHANNEL;
  addr.lun = 0;
  return addr;
}

// 100 ms between receive attempts; a signal does not shorten it.
void PollPause() {
  timespec wait = {0, kReceivePollNs};
  timespec left;
  while (nanosleep(&wait, &left) != 0 && errno == EINTR) wait = left;
}

// One driver call with the 30 s alarm armed, flagged for the signal handler.
int GuardedIoctl(int fd, unsigned long request, void* arg) {
  alarm(kIoctlAlarmSeconds);
  g_vIoctlCallStarted = 1;
  int result = ioctl(fd, request, arg);
  int saved = errno;
  g_vIoctlCallStarted = 0;
  errno = saved;
  return result;
}

}  // namespace

int CWDTOperationThread::WDT_WatchdogInit() {
  try {
    WDT_TRACE(ZELKW_011_K, "WDT_WatchdogInit");
    m_nDevice = open(kDevice, O_RDWR | O_CLOEXEC);
    if (m_nDevice < 0) {
      WDT_TRACE(ZELKW_037_E, "WDT_WatchdogInit", "open", m_nDevice, errno);
      return -1;
    }
    WDT_TRACE(ZELKW_012_K, "WDT_WatchdogInit");
    return 0;
  } catch (...) {
    WDT_TRACE(ZELKW_015_E, "WDT_WatchdogInit");
    return -1;
  }
}

void CWDTOperationThread::WDT_WatchdogClose() {
  if (m_nDevice >= 0) close(m_nDevice);
  m_nDevice = -1;
}

// Takes the answer to the request with the current message id. A message
// with another id (a late answer to an earlier request that timed out) is
// dropped and the same attempt reads on; the driver fails with EAGAIN once
// nothing is queued.
int CWDTOperationThread::ReceiveAnswer(ipmi_recv* recv) {
  const int kMaxStale = 16;  // bounds the loop against a flood of stale answers
  for (int stale = 0;; ++stale) {
    recv->msg.data_len = kResponseCapacity;
    recv->addr_len = sizeof(ipmi_system_interface_addr);
    int result = GuardedIoctl(m_nDevice, IPMICTL_RECEIVE_MSG_TRUNC, recv);
    // TRUNC delivers an over-long message cut to the buffer, with EMSGSIZE.
    if (result < 0 && errno != EMSGSIZE) return result;
    if (recv->recv_type == IPMI_RESPONSE_RECV_TYPE && recv->msgid == m_lMessageId) return 0;
    if (stale == kMaxStale) {
      errno = EAGAIN;
      return -1;
    }
  }
}

int CWDTOperationThread::WDT_ExecCommand(uint8_t command, uint16_t requestLength,
                                         const uint8_t* request, uint16_t* responseLength,
                                         uint8_t* response) {
  try {
    WDT_TRACE(ZELKW_011_K, "WDT_ExecCommand");
    if (command == 0 || responseLength == nullptr || response == nullptr ||
        (requestLength > 0 && request == nullptr)) {
      WDT_TRACE(ZELKW_054_E, "WDT_ExecCommand");
      WDT_TRACE(ZELKW_012_K, "WDT_ExecCommand");
      return -1;
    }
    ipmi_system_interface_addr addr = BmcAddress();
    ipmi_req req;
    memset(&req, 0, sizeof req);
    req.addr = reinterpret_cast<unsigned char*>(&addr);
    req.addr_len = sizeof addr;
    req.msgid = m_lMessageId;
    req.msg.netfn = kNetFnApplication;
    req.msg.cmd = command;
    req.msg.data_len = requestLength;
    req.msg.data = const_cast<uint8_t*>(request);

    WDT_TRACE(ZELKW_029_K, "WDT_ExecCommand", "sending", command);
    WDT_TRACE(ZELKW_031_K, "WDT_ExecCommand", static_cast<unsigned>(m_lMessageId));
    WDT_TRACE(ZELKW_032_K, "WDT_ExecCommand", req.msg.netfn);
    WDT_TRACE(ZELKW_036_I, "WDT_ExecCommand", command);
    WDT_TRACE(ZELKW_033_K, "WDT_ExecCommand", requestLength);
    for (int i = 0; i < requestLength; ++i)
      WDT_TRACE(ZELKW_034_K, "WDT_ExecCommand", i, request[i]);

    int result = -1;
    bool ok = false;
    int sent = m_nDevice < 0 ? -1 : GuardedIoctl(m_nDevice, IPMICTL_SEND_COMMAND, &req);
    if (sent < 0) {
      WDT_TRACE(ZELKW_037_E, "WDT_ExecCommand", "send", sent, errno);
    } else {
      WDT_TRACE(ZELKW_030_K, "WDT_ExecCommand", sent);
      ipmi_system_interface_addr from = BmcAddress();
      ipmi_recv recv;
      memset(&recv, 0, sizeof recv);
      recv.addr = reinterpret_cast<unsigned char*>(&from);
      recv.msg.data = response;
      bool received = false;
      for (int attempt = 1; attempt <= kReceiveAttempts && !received; ++attempt) {
        PollPause();
        WDT_TRACE(ZELKW_029_K, "WDT_ExecCommand", "receiving", command);
        int got = m_nDevice < 0 ? -1 : ReceiveAnswer(&recv);
        if (got < 0) {
          WDT_TRACE(ZELKW_037_E, "WDT_ExecCommand", "receive the acknowledgement from", got, errno);
          WDT_TRACE(ZELKW_039_I, "WDT_ExecCommand", attempt);
        } else {
          received = true;
        }
      }
      if (!received) {
        WDT_TRACE(ZELKW_037_E, "WDT_ExecCommand", "receive the acknowledgement from", -1, errno);
      } else if (recv.msg.data_len == 0) {
        WDT_TRACE(ZELKW_116_E, "WDT_ExecCommand");
      } else {
        *responseLength = recv.msg.data_len;
        WDT_TRACE(ZELKW_035_K, "WDT_ExecCommand", recv.msg.data_len);
        for (int i = 0; i < recv.msg.data_len; ++i)
          WDT_TRACE(ZELKW_034_K, "WDT_ExecCommand", i, response[i]);
        ok = response[0] == 0;  // the completion code
      }
    }
    if (ok) result = 0;
    ++m_lMessageId;
    WDT_TRACE(ZELKW_012_K, "WDT_ExecCommand");
    return result;
  } catch (...) {
    WDT_TRACE(ZELKW_015_E, "WDT_ExecCommand");
    return -1;
  }
}

int CWDTOperationThread::SetOrReset(uint8_t command, uint16_t length, const uint8_t* data) {
  uint8_t response[kResponseCapacity];
  memset(response, 0, sizeof response);
  uint16_t responseLength = kResponseCapacity;
  if (WDT_ExecCommand(command, length, data, &responseLength, response) != 0) return -1;
  const char* op = command == kCmdSetWatchdogTimer ? "WDT_WatchdogStart" : "WDT_WatchdogReset";
  WDT_TRACE(ZELKW_035_K, op, responseLength);
  for (int i = 0; i < responseLength; ++i) WDT_TRACE(ZELKW_034_K, op, i, response[i]);
  WDT_TRACE(ZELKW_012_K, op);
  return 0;
}

int CWDTOperationThread::WDT_WatchdogStart(bool arm) {
  try {
    WDT_TRACE(ZELKW_011_K, "WDT_WatchdogStart");
    // Timer use SMS/OS with "don't stop" clear, so a running timer stops;
    // the SMS/OS expiration flag is cleared.
    uint8_t data[6] = {0x04, 0x00, 0x00, 0x10, 0x00, 0x00};
    if (arm) {
      int action, interval;
      {
        WdtSettingsLock settings;
        action = settings->WDT_GetActionOperation();
        interval = settings->WDT_GetWatchtimeout();
      }
      unsigned countdown = static_cast<unsigned>(interval) * 10;  // 100 ms units
      data[1] = static_cast<uint8_t>(action);
      data[4] = static_cast<uint8_t>(countdown & 0xFF);
      data[5] = static_cast<uint8_t>((countdown >> 8) & 0xFF);
    }
    return SetOrReset(kCmdSetWatchdogTimer, sizeof data, data);
  } catch (...) {
    WDT_TRACE(ZELKW_015_E, "WDT_WatchdogStart");
    return -1;
  }
}

int CWDTOperationThread::WDT_WatchdogReset() {
  try {
    WDT_TRACE(ZELKW_011_K, "WDT_WatchdogReset");
    return SetOrReset(kCmdResetWatchdogTimer, 0, nullptr);
  } catch (...) {
    WDT_TRACE(ZELKW_015_E, "WDT_WatchdogReset");
    return -1;
  }
}
