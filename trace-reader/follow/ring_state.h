// Where a shared ring's files are, and a quick look at its management record
// (which file is current), taken without the writers' lock: only a hint for
// choosing files, never used to decide how far a file's data goes.
#pragma once

#include <string>

#include "mng_record.h"

namespace follow {

struct RingPaths {
  std::string prefix;
  std::string mngFile;
};

// Derives the ring's names from its path prefix as the writers do.
RingPaths PathsForPrefix(const std::string& prefix);

// Trace file n of the ring.
std::string TraceFilePath(const RingPaths& paths, int n);

// The management file that the reader library will choose for trace file n
// (it takes a one-digit number first). Differs from paths.mngFile only when
// another ring's management file shadows this one.
std::string ReaderManagementPath(const RingPaths& paths, int n);

// True when trace file n exists and its data does not end at offset 0.
bool HasData(const RingPaths& paths, int n);

enum class StateResult { kOk, kMissing, kUnreadable, kInvalid };

// Reads the 64-byte management file and decodes its record.
StateResult ReadRingState(const RingPaths& paths, mptt::MngRecord* out, int* error);

}  // namespace follow
