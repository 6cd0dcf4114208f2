#include "ring_follower.h"

#include <time.h>

#include <vector>

#include "vesk2_trace_format.h"

namespace follow {
namespace {

constexpr long kChunk = 64 * 1024;

int NextFile(int n, int count) { return n >= count ? 1 : n + 1; }

std::string ErrorText(int code) {
  switch (code) {
    case VESK2_MPTT_E_OPEN:
      return "cannot be opened";
    case VESK2_MPTT_E_MAP:
      return "cannot be mapped";
    case VESK2_MPTT_E_NOT_FOUND:
      return "does not exist";
    case VESK2_MPTT_E_STAT:
      return "status unreadable";
    case VESK2_MPTT_E_LOCK:
      return "management file stays locked by the writers";
    case VESK2_MPTT_E_RECORD:
      return "management record is not valid";
    default:
      return "reader error " + std::to_string(code);
  }
}

}  // namespace

RingFollower::RingFollower(const ReaderApi& api, const RingPaths& paths, Output out, Notice notice)
    : api_(api), paths_(paths), out_(std::move(out)), notice_(std::move(notice)) {}

RingFollower::~RingFollower() { CloseFile(); }

void RingFollower::Sleep(int ms) {
  struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&ts, nullptr);
}

// Passes on whole lines only; the rest waits for the next bytes.
bool RingFollower::Emit(const char* bytes, size_t length) {
  pending_.append(bytes, length);
  const size_t nl = pending_.rfind('\n');
  if (nl == std::string::npos) return true;
  const bool ok = out_(pending_.data(), nl + 1);
  pending_.erase(0, nl + 1);
  return ok;
}

// At the end of a file's data everything read so far is complete.
bool RingFollower::FlushPending() {
  if (pending_.empty()) return true;
  const bool ok = out_(pending_.data(), pending_.size());
  pending_.clear();
  return ok;
}

bool RingFollower::OpenFile(int n) {
  CloseFile();
  pending_.clear();  // only a restart leaves bytes here: their line was overwritten
  file_ = n;
  writerLeft_ = false;
  missing_ = false;
  const std::string path = TraceFilePath(paths_, n);
  if (ReaderManagementPath(paths_, n) != paths_.mngFile) {
    const std::string text = path + ": skipped, the reader would take " +
                             ReaderManagementPath(paths_, n) + " for its management file";
    if (text != lastNotice_) notice_(text);
    lastNotice_ = text;
    missing_ = true;
    return true;
  }
  inst_ = api_.createInstance(path.c_str());
  if (inst_ == nullptr) {
    notice_(path + ": no memory for a reader instance");
    return false;
  }
  int rc = api_.openManagementFile(inst_);
  if (rc == 0) rc = api_.open(inst_);
  if (rc == VESK2_MPTT_E_NOT_FOUND) {
    missing_ = true;  // a ring prepared file by file: this one is not there yet
    return true;
  }
  if (rc != 0) {
    notice_(path + ": " + ErrorText(rc));
    return false;
  }
  return true;
}

void RingFollower::CloseFile() {
  if (inst_ == nullptr) return;
  api_.close(inst_);
  api_.closeManagementFile(inst_);
  if (api_.deleteInstance(inst_) != 0) {
    notice_(TraceFilePath(paths_, file_) + ": reader instance could not be closed cleanly");
  }
  inst_ = nullptr;
}

// One step on the current file: read what is new, or notice that the file
// is finished. state is the record as seen before asking for the data end:
// once the writers are elsewhere, the data end asked for afterwards is final.
RingFollower::Step RingFollower::ReadSome(const mptt::MngRecord& state) {
  const bool writerHere = state.curFile == file_;
  if (missing_) {
    // Writers create a ring's files one by one: look again, and give up on
    // the file only once the writers are elsewhere.
    const bool left = writerLeft_;
    if (!OpenFile(file_)) return Step::kFailed;
    writerLeft_ = left;
    if (missing_) return writerHere ? Step::kIdle : Step::kFileDone;
  }
  if (!writerHere) writerLeft_ = true;
  const long end = api_.getCurrentOffset(inst_);
  if (end < 0) {
    const int code = api_.getLastError(inst_);
    api_.clearError(inst_);
    const std::string text = TraceFilePath(paths_, file_) + ": " + ErrorText(code);
    if (text != lastNotice_) notice_(text);
    lastNotice_ = text;
    return Step::kFailed;
  }
  lastNotice_.clear();
  const long pos = api_.tell(inst_);
  if (end < pos) {
    // Data end behind the read position: the writers came round into this
    // file and wrote less than it held.
    ++overruns_;
    notice_(TraceFilePath(paths_, file_) +
            ": the writers wrapped round into this file while it was read; records were lost");
    OpenFile(file_);
    return Step::kProgress;
  }
  if (end == pos) {
    if (writerHere) return Step::kIdle;
    return FlushPending() ? Step::kFileDone : Step::kOutputFailed;
  }

  std::vector<char> buf(static_cast<size_t>(end - pos < kChunk ? end - pos : kChunk));
  const long n = api_.read(inst_, buf.data(), static_cast<long>(buf.size()));
  if (n <= 0) return Step::kIdle;
  // The bytes count only if the writers did not come back into this file
  // while they were copied.
  mptt::MngRecord after;
  int err = 0;
  if (ReadRingState(paths_, &after, &err) == StateResult::kOk) {
    if (after.curFile != file_) {
      writerLeft_ = true;
    } else if (writerLeft_) {
      ++overruns_;
      notice_(TraceFilePath(paths_, file_) +
              ": the writers wrapped round into this file while it was read; records were lost");
      OpenFile(file_);
      return Step::kProgress;
    }
  }
  return Emit(buf.data(), static_cast<size_t>(n)) ? Step::kProgress : Step::kOutputFailed;
}

// The oldest file that holds data: files after the current one come first,
// but a file that no writer has reached yet (missing, or its end byte at
// offset 0) holds nothing and would only be taken over by the writers'
// next switch while this follower waits in it. Chosen again if the writers
// moved on meanwhile.
int RingFollower::OldestFile(mptt::MngRecord* state) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    int oldest = state->curFile;
    for (int i = 1; i < state->fileNum; ++i) {
      const int n = (state->curFile + i - 1) % state->fileNum + 1;
      if (HasData(paths_, n)) {
        oldest = n;
        break;
      }
    }
    mptt::MngRecord now;
    int err = 0;
    if (ReadRingState(paths_, &now, &err) != StateResult::kOk ||
        (now.curFile == state->curFile && now.fileNum == state->fileNum)) {
      return oldest;
    }
    *state = now;
  }
  return state->curFile;
}

int RingFollower::Run(const FollowSettings& settings, const volatile sig_atomic_t* stop) {
  mptt::MngRecord state;
  int err = 0;
  int waited = 0;
  bool told = false;
  for (;;) {
    const StateResult r = ReadRingState(paths_, &state, &err);
    if (r == StateResult::kOk) break;
    if (!settings.follow && (r != StateResult::kInvalid || waited >= settings.patienceMs)) {
      notice_(paths_.mngFile + (r == StateResult::kMissing ? ": no such management file"
                                : r == StateResult::kInvalid
                                    ? ": not a valid management record"
                                    : ": cannot be read (errno " + std::to_string(err) + ")"));
      return 2;
    }
    if (!told) notice_(paths_.mngFile + ": waiting for the ring to appear");
    told = true;
    if (stop != nullptr && *stop) return 0;
    Sleep(settings.pollMs);
    waited += settings.pollMs;
  }

  if (!OpenFile(OldestFile(&state))) return 2;
  waited = 0;
  for (;;) {
    // Stopped between two chunks: the held-back part of a line is dropped.
    if (stop != nullptr && *stop) return 0;
    mptt::MngRecord now;
    if (ReadRingState(paths_, &now, &err) == StateResult::kOk) {
      if (now.curFile == file_ && writerLeft_ && !missing_) {
        ++overruns_;
        notice_(TraceFilePath(paths_, file_) +
                ": the writers wrapped round into this file while it was read; records were lost");
        if (!OpenFile(file_)) return 2;
      }
      state = now;
    }
    const Step step = ReadSome(state);
    switch (step) {
      case Step::kProgress:
        waited = 0;
        continue;
      case Step::kOutputFailed:
        return 3;
      case Step::kFileDone:
        if (!OpenFile(NextFile(file_, state.fileNum))) return 2;
        waited = 0;
        continue;
      case Step::kIdle:
        if (!settings.follow) return FlushPending() ? 0 : 3;
        break;
      case Step::kFailed:
        if (!settings.follow && waited >= settings.patienceMs) return 2;
        break;
    }
    Sleep(settings.pollMs);
    waited += settings.pollMs;
  }
}

}  // namespace follow
