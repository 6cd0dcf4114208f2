// The BMC watchdog timer as the BMC itself reports it: one IPMI Get Watchdog
// Timer (network function 0x06, command 0x25) through the IPMI driver. This
// is the only command the tool sends; it never sets, resets or stops the timer.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "status.h"

// Opens `device`, sends Get Watchdog Timer and waits a bounded time for the
// matching answer. Never fails: problem says what went wrong.
BmcState ProbeBmc(const char* device);

// ProbeBmc, and where the answer lacks the running bit but shows a countdown
// part-way down, a second answer a second later: some BMCs (QEMU's simulator
// among them) report the timer use byte as it was set, without that bit, and
// a countdown that moves says the timer runs all the same.
BmcState ProbeBmcTimer(const char* device);
// True when `later`, asked after `first`, shows the countdown moving.
bool CountdownMoved(const BmcState& first, const BmcState& later);

// Fills the timer fields from a response (completion code first); false,
// with problem set, when it is an error or too short.
bool DecodeGetWatchdogTimer(const uint8_t* response, size_t length, BmcState* bmc);

// Names of the IPMI codes in a Get Watchdog Timer answer.
const char* TimerUseName(int use);              // bits 2:0 of byte 1
const char* TimeoutActionName(int action);      // bits 2:0 of byte 2
const char* PretimeoutInterruptName(int kind);  // bits 6:4 of byte 2
const char* CompletionCodeName(int code);
