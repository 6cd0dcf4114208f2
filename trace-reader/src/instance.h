// The reader instance behind the opaque VESK2_MptTrap_t handle, and the
// internal steps the entry points are built from.
#pragma once

#include <stdint.h>

#include "vesk2_trace_reader.h"

struct VESK2_MptTrap {
  char* mngPath;                  // derived management path, capacity strlen(tracePath) + 4
  char* tracePath;                // copy of the creation argument
  int mngFd;                      // -1 when closed
  int traceFd;                    // -1 when closed
  const uint32_t* mngRecord;      // read-only mapping of the 64-byte management file
  const unsigned char* traceMap;  // read-only mapping of the trace file
  unsigned char mngPathKnown;     // 1 once mngPath was derived and opened
  int fileNumber;                 // number of this trace file within its ring
  int lockBlockTime;              // stored only
  int lockSleepTime;              // ms between lock attempts
  int lockRetryTimes;             // lock attempts in all
  int lastError;
  unsigned char isOpen;
  long mapLength;  // bytes mapped from the trace file
  long position;   // read position
  long dataEnd;    // end of valid data as last worked out
  // Bytes of the trace file known to exist behind the mapping. The mapping
  // may be longer than the file (an empty file mapped at the ring's size);
  // touching a page past the end of a file raises SIGBUS, so every access
  // stays below this and refreshes it only when it needs more.
  long fileLength;
  // The management file is known to hold all 64 bytes (files only grow, so
  // once is enough; an empty one just created by a writer must not be read).
  unsigned char mngComplete;
};

namespace mptt {

// Largest mapping of one trace file.
constexpr long kMaxMap = 16L * 1024 * 1024;

// Sets inst->lastError (or the thread's library error for null) and returns code.
int Fail(VESK2_MptTrap* inst, int code);
int FailNull();
void SetLibraryError(int code);
int LibraryError();

// Trace file mapping (trace_map.cc).
int MapTrace(VESK2_MptTrap* inst);
int UnmapTrace(VESK2_MptTrap* inst);
// Largest end <= want whose bytes can be touched in the mapping.
long AccessibleEnd(VESK2_MptTrap* inst, long want);

// Management file (mng_file.cc).
int OpenManagement(VESK2_MptTrap* inst);
int CloseManagement(VESK2_MptTrap* inst);
// Copies words [first, first + count) of the mapped record; false when the
// file does not hold the whole record yet.
bool SnapshotRecord(VESK2_MptTrap* inst, uint32_t raw[8], int first, int count);
int LockManagement(VESK2_MptTrap* inst);
int UnlockManagement(VESK2_MptTrap* inst);

}  // namespace mptt

#define MPTT_API extern "C" __attribute__((visibility("default")))
