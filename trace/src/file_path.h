// Creating the directory chain in front of a ring's files, naming the files
// and setting their modes.
#pragma once

#include <time.h>

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

// Whether a was modified before b. Whole seconds are too coarse: a ring
// whose files fill within one second would look like it ended at the
// highest-numbered file, and the writer would go on in the wrong place.
inline bool ModifiedBefore(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Sets the mode of a file just opened: fileAttr when one was set (-1: none);
// else 0666 for a file the open created, which the umask must not narrow
// (rings and backups are read and written by other users' processes).
void setOpenedFileMode(int fd, int fileAttr, bool existed);

// Builds "%s%d.log" into out (size bytes); false when it does not fit.
bool generateTraceFileName(char* out, size_t size, const char* prefix, long number);

}  // namespace vesk
