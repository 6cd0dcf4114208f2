// Replacing a data document without ever writing it in place: the new
// content goes to a temporary file, the old content to a backup file, and a
// rename puts the new file in place.
#pragma once

#include <cstdint>
#include <string>

#include "ved_read.h"

// Serialises updates of the documents of one directory between processes:
// an exclusive flock on the directory itself, held for the object's
// lifetime, so that two updates cannot interleave their reads, temporary
// files and renames and lose one of them. The configuration library locks
// documents, never directories, so this cannot deadlock with it. When the
// directory cannot be locked the update goes on unserialised, as before.
class VedDirectoryLock {
 public:
  explicit VedDirectoryLock(const std::string& document);
  ~VedDirectoryLock();
  VedDirectoryLock(const VedDirectoryLock&) = delete;
  VedDirectoryLock& operator=(const VedDirectoryLock&) = delete;

 private:
  int fd_ = -1;
};

struct VedReplacePaths {
  std::string document;
  std::string temporary;  // the document's path ending in "tmp" instead
  std::string backup;     // ending in "old" instead
};

// The temporary and backup paths: the last three characters of the document
// path replaced by "tmp" and "old". ERR_OUT_OF_RANGE when the path is longer
// than 4,095 bytes; ERR_INVALID when it is too short, or when either path
// would fall outside the document's directory or name the document itself.
uint32_t VedReplacePathsFor(const std::string& document, VedReplacePaths* paths);

// Writes updated to the temporary path and flushes it to disk, writes
// previous to the backup path, renames the temporary file over the document
// and flushes the directory. Stops at the first failure with its message on
// standard error ("don't write file" or "don't copy file") and its code; the
// document is then untouched.
uint32_t VedReplaceDocument(const VedReplacePaths& paths, vop_config_t* updated,
                            vop_config_t* previous);
