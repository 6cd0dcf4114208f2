// Prints a shared trace ring from its oldest record to its newest and, when
// following, keeps printing what the writers add, moving from file to file
// as they do. Each trace file is read through one reader instance.
#pragma once

#include <signal.h>

#include <functional>
#include <string>

#include "reader_api.h"
#include "ring_state.h"

namespace follow {

struct FollowSettings {
  bool follow = false;  // keep going after the newest record
  int pollMs = 50;      // pause when there is nothing new
  // Without follow: how long a busy lock or an unreadable record may delay
  // the dump before it gives up.
  int patienceMs = 5000;
};

class RingFollower {
 public:
  // out receives the ring's bytes; notice receives messages for the operator.
  using Output = std::function<bool(const char* bytes, size_t length)>;
  using Notice = std::function<void(const std::string& message)>;

  RingFollower(const ReaderApi& api, const RingPaths& paths, Output out, Notice notice);
  ~RingFollower();
  RingFollower(const RingFollower&) = delete;
  RingFollower& operator=(const RingFollower&) = delete;

  // Returns 0 when done (or stopped through *stop), 2 when the ring cannot
  // be read, 3 when the output fails.
  int Run(const FollowSettings& settings, const volatile sig_atomic_t* stop);

  // Overruns seen: the writers wrapped round into the file being read.
  int overruns() const { return overruns_; }

 private:
  enum class Step { kProgress, kIdle, kFileDone, kFailed, kOutputFailed };

  int OldestFile(mptt::MngRecord* state);
  bool OpenFile(int n);
  void CloseFile();
  Step ReadSome(const mptt::MngRecord& state);
  bool Emit(const char* bytes, size_t length);
  bool FlushPending();
  void Sleep(int ms);

  ReaderApi api_;
  RingPaths paths_;
  Output out_;
  Notice notice_;
  VESK2_MptTrap_t* inst_ = nullptr;
  int file_ = 0;             // file being read
  bool writerLeft_ = false;  // the writers were seen in another file since file_ was opened
  bool missing_ = false;     // file_ does not exist (yet)
  // Bytes read after the last line end: held back until their line is
  // complete, so that a restart after an overrun cannot leave half a record.
  std::string pending_;
  int overruns_ = 0;
  std::string lastNotice_;
};

}  // namespace follow
