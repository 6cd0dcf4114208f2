// Matching files found by a clean-up scan, kept newest first.
#pragma once

#include <cstddef>

namespace vesk_sys {

// The platform's path maximum (4096) and a NUL.
inline constexpr size_t kPathBufferSize = 4097;

struct VESKFindFileInfo_vesksys {
  long fileTime;  // last modification, seconds since the epoch
  char filePath[kPathBufferSize];
  VESKFindFileInfo_vesksys* next;

  // Negative, zero or positive as this entry is older than, as old as or
  // newer than the other.
  int compareFileTime(const VESKFindFileInfo_vesksys& other) const;
};

class VESKFindFileList_vesksys {
 public:
  VESKFindFileList_vesksys() = default;
  ~VESKFindFileList_vesksys() { clear(); }
  VESKFindFileList_vesksys(const VESKFindFileList_vesksys&) = delete;
  VESKFindFileList_vesksys& operator=(const VESKFindFileList_vesksys&) = delete;

  // Inserts before the first entry that is as old or older, so among equal
  // times the file found later comes first. A file whose entry cannot be
  // allocated is simply not listed.
  void addElement(const char* path, long fileTime);
  void clear();

  const VESKFindFileInfo_vesksys* head() const { return head_; }
  size_t count() const { return count_; }

 private:
  VESKFindFileInfo_vesksys* head_ = nullptr;
  size_t count_ = 0;
};

}  // namespace vesk_sys
