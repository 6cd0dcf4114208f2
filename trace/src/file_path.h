// Creating the directory chain in front of a ring's files.
#pragma once

#include <cstddef>

namespace vesk {

// Makes sure the directory part of path (up to its last "/") exists,
// creating missing directories with mode 0777. Returns 0, or -1 with code 1
// (null path), 17 (a component is not a directory) or 21 (mkdir failed).
// tolerant: a failing mkdir is fine when the directory exists afterwards
// (another process made it meanwhile).
int checkFilePath(const char* path, bool tolerant = false);

// Same for a directory path itself.
int isPathExisting(const char* dir, bool tolerant = false);

// Builds "%s%d.log" into out (size bytes); false when it does not fit.
bool generateTraceFileName(char* out, size_t size, const char* prefix, long number);

}  // namespace vesk
