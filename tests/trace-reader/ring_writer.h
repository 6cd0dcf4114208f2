// A small writer of shared trace rings for the reader's tests. It lays the
// files out byte for byte as the trace library's writers do: management
// file with its record and lockf lock, trace files prepared at their full
// size (space-filled or sparse), process line and header blocks, records
// followed by the end byte and the end-of-data mark, and the move to the next
// file when a record does not fit.
#pragma once

#include <stdint.h>

#include <string>

namespace tw::test {

struct RingShape {
  std::string prefix;  // the ring's path prefix
  uint32_t fileSize = 4096;
  int fileNum = 3;
  uint32_t option = 0;  // mode bits as given by a writer, 0..63
  std::string appName = "ringtest";
};

std::string RingTracePath(const std::string& prefix, int n);
std::string RingMngPath(const std::string& prefix);

class RingWriter {
 public:
  explicit RingWriter(const RingShape& shape);
  ~RingWriter();
  RingWriter(const RingWriter&) = delete;
  RingWriter& operator=(const RingWriter&) = delete;

  // Creates or joins the ring and writes this process's header block.
  // False with error() set on failure.
  bool Open();
  // Appends one record (its bytes as they go into the file).
  bool Put(const std::string& bytes);
  void Close();

  const std::string& error() const { return error_; }
  // Attempts at the lock before a put gives up (1 ms apart).
  void set_lock_attempts(int n) { lockAttempts_ = n; }

 private:
  struct State {
    uint32_t fileSize;
    int32_t fileNum;
    uint32_t offset;
    int32_t curFile;
    uint32_t mode;
  };

  bool Lock();
  void Unlock();
  void ReadRecord(State* st);
  bool PrepareFile(int n, bool create);
  bool MapCurrent(int n);
  void UnmapCurrent();
  bool Write(const std::string& bytes, State* st, bool header);
  std::string SystemAndColumnLines() const;
  std::string ProcessLine() const;
  bool Fail(const std::string& what);

  RingShape shape_;
  std::string mngPath_;
  int mngFd_ = -1;
  uint32_t* mng_ = nullptr;
  int lockDepth_ = 0;
  int lockAttempts_ = 20000;
  uint32_t mode_;
  uint32_t fileSize_;  // in force (the record's)
  int fileNum_;
  long mapSize_;  // length the current file is extended to and mapped
  int mappedFile_ = 0;
  unsigned char* map_ = nullptr;
  long mapLen_ = 0;
  std::string error_;
};

// Writes the 64-byte management file directly with the given words (as
// uint32 values, stored in native or swapped byte order). For records no
// writer would produce.
bool WriteRawRecord(const std::string& mngPath, const char id[4], const uint32_t words[7],
                    bool swapped);

// The ring's data as the format defines it, read straight from the files:
// from the oldest file to the current one, each up to its end byte (the
// first 0x1A at offset 0 or after CR LF). Missing files count as empty.
std::string RingDataOldestFirst(const std::string& prefix);

}  // namespace tw::test
