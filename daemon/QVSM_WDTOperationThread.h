// The operation thread: arms the BMC watchdog timer, refreshes it at a fixed
// interval, shortens the interval while the BMC does not answer, and stops
// the timer when the main thread interrupts it. Its commands go through the
// Linux IPMI driver's /dev/ipmi0.
#pragma once

#include <stdint.h>
#include <time.h>

#include <atomic>

// Thread entry; created by the main thread with default attributes.
void* WDTOperationThread(void* unused);

// Set while the operation thread runs its set-and-reset cycle, so that the
// main thread sends an interrupt request only where somebody will take it.
extern std::atomic<int> g_vOpThreadInCycle;

class CWDTOperationThread {
 public:
  static const int kResponseCapacity = 272;

  CWDTOperationThread();
  ~CWDTOperationThread();
  CWDTOperationThread(const CWDTOperationThread&) = delete;
  CWDTOperationThread& operator=(const CWDTOperationThread&) = delete;

  // Device handling and the one request/response exchange.
  int WDT_WatchdogInit();
  void WDT_WatchdogClose();
  // Sends `command` (network function Application) with `requestLength`
  // bytes and takes the BMC's answer into `response` (`*responseLength`:
  // capacity in, received length out). 0 when the completion code is 0.
  int WDT_ExecCommand(uint8_t command, uint16_t requestLength, const uint8_t* request,
                      uint16_t* responseLength, uint8_t* response);
  // Set Watchdog Timer with the settings in force (arm) or with no action
  // and no countdown (stop). 0 or -1.
  int WDT_WatchdogStart(bool arm);
  // Reset Watchdog Timer. 0 or -1.
  int WDT_WatchdogReset();

  // One set-and-reset cycle, until the main thread interrupts it. 0, or -1
  // on an exception.
  int WDT_PerformSetReset();
  // Stops the timer, retrying as the last cycle's settings allow.
  void WDT_StopBmcAtExit();

 private:
  struct Cycle;
  int SetOrReset(uint8_t command, uint16_t length, const uint8_t* data);
  void Shorten(Cycle& cycle, clock_t before);
  int ReceiveAnswer(struct ipmi_recv* recv);

  int m_nDevice;
  long m_lMessageId;
  int m_nMaximumRetryTime;
  int m_nMinimumInterval;
  long m_lTicksPerSecond;
};
