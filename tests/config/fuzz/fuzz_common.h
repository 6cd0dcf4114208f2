// Helpers shared by the fuzz targets: documents handed to the library as
// files without touching the disk.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

// An anonymous in-memory file reachable by path.
class MemFile {
 public:
  MemFile() : fd_(memfd_create("twfuzz", 0)) {
    if (fd_ < 0) abort();
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~MemFile() { close(fd_); }
  MemFile(const MemFile&) = delete;
  MemFile& operator=(const MemFile&) = delete;

  void Set(const void* data, size_t size) {
    if (ftruncate(fd_, 0) != 0 || pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size)) abort();
  }
  std::string Get() const {
    std::string out;
    char buf[4096];
    ssize_t n;
    off_t off = 0;
    while ((n = pread(fd_, buf, sizeof buf, off)) > 0) {
      out.append(buf, static_cast<size_t>(n));
      off += n;
    }
    return out;
  }
  const char* path() const { return path_.c_str(); }

 private:
  int fd_;
  std::string path_;
};
