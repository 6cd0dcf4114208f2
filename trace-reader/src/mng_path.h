// Management file path from a trace file path: dir/<name><N>.log is read
// with dir/mmap/<name>.mm, N being the file's number in the ring.
#pragma once

#include <stddef.h>

namespace mptt {

// True when the path is longer than 4 characters, ends in ".log" and has a
// decimal digit just before it.
bool HasTraceFileForm(const char* path, size_t len);

// Writes the management path that results from taking the last `digits`
// (1 or 2) characters before ".log" as the file number, and the number.
// Returns false when those characters do not form a number of 1..9 (one
// digit) or 1..64 (two digits). out needs len + 4 bytes.
bool ManagementPathFor(const char* path, size_t len, int digits, char* out, int* number);

}  // namespace mptt
