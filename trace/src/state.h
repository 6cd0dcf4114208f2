// Process-wide state of the library and the instance object.
#pragma once

#include <cstdint>

#include "policy.h"
#include "ring.h"
#include "thread_record.h"
#include "vesk2_trace.h"

namespace vesk {

struct ThresholdRecord {
  char szMarker[8];  // "ID_VESK"
  Word iLogLevel;
  Word iFileThreshold;
  Word iShmThreshold;
  int32_t iReserved;
};

extern ThresholdRecord ZELKWSYM_Threshold;
// Wait (ms) and retries for the global shared ring, then for shared instances.
extern int32_t ZELKWSYM_LockValue[4];
extern Word ZELKWSYM_iTickType;
extern char VESK2_szAppName[17];
extern char VESK2_szProcessId[10];
extern RecordCounter VESK2_iMsgCount;
extern VeskRing* VESK2_pLogFile;       // global single-process ring
extern VeskRing* VESK2_pMultiLogFile;  // global shared ring
extern void* VESK2_pMMap;              // memory-map object: never created
extern std::atomic<int> VESK2_iIsInitialized;
extern int cs_iInitCallCount;

// Takes one reference of the global state (under the library lock).
void VESK_InitializeGrobalVar();
// Drops one; the last one destroys the global file objects.
void VESK_UninitializeGrobalVar();

// Application name cut or space-padded to 16 characters, NUL at 17.
void CopyAppName(char* dst17, const char* name);

// Spec validation; false (code 1 for the caller to set) on any failure.
bool VESK_CheckArgument(uint32_t option, const tagVESK_LOGFILE_SPEC* spec, bool shared);

}  // namespace vesk

// The handle of the public interface.
struct VESKTraceObject {
  char szId[4];  // "LIVE" while valid, "DEAD" after deletion
  vesk::VeskRing* pLogFile;
  vesk::VeskRing* pMultiLogFile;
  char szAppName[17];
  vesk::Word iLogLevel;
  vesk::Word iFileThreshold;
  vesk::Word iShmThreshold;

  bool isInvalid() const {
    return szId[0] != 'L' || szId[1] != 'I' || szId[2] != 'V' || szId[3] != 'E';
  }
  vesk::VeskRing* ring() const { return pLogFile != nullptr ? pLogFile : pMultiLogFile; }
};
