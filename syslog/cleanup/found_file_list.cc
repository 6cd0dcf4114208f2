#include "cleanup/found_file_list.h"

#include <cstring>
#include <new>

namespace vesk_sys {

int VESKFindFileInfo_vesksys::compareFileTime(const VESKFindFileInfo_vesksys& other) const {
  // A plain 32-bit difference would flip its sign for times far apart.
  return fileTime < other.fileTime ? -1 : (fileTime > other.fileTime ? 1 : 0);
}

void VESKFindFileList_vesksys::addElement(const char* path, long fileTime) {
  auto* entry = new (std::nothrow) VESKFindFileInfo_vesksys;
  if (entry == nullptr) return;
  entry->fileTime = fileTime;
  std::strncpy(entry->filePath, path, kPathBufferSize - 1);
  entry->filePath[kPathBufferSize - 1] = '\0';
  VESKFindFileInfo_vesksys** link = &head_;
  while (*link != nullptr && entry->compareFileTime(**link) < 0) link = &(*link)->next;
  entry->next = *link;
  *link = entry;
  ++count_;
}

void VESKFindFileList_vesksys::clear() {
  while (head_ != nullptr) {
    VESKFindFileInfo_vesksys* next = head_->next;
    delete head_;
    head_ = next;
  }
  count_ = 0;
}

}  // namespace vesk_sys
