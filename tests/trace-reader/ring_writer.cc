#include "ring_writer.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "vesk2_trace_format.h"

namespace tw::test {
namespace {

void MakeDirs(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0777);
  }
}

std::string DirOf(const std::string& prefix) {
  const size_t s = prefix.rfind('/');
  return s == std::string::npos ? "." : prefix.substr(0, s);
}

std::string Padded(const std::string& s, size_t width) {
  std::string r = s.substr(0, width);
  r.resize(width, ' ');
  return r;
}

}  // namespace

std::string RingTracePath(const std::string& prefix, int n) {
  char buf[VESK2_PATH_MAX + 16];
  snprintf(buf, sizeof buf, VESK2_TRACE_FILE_FMT, prefix.c_str(), n);
  return buf;
}

std::string RingMngPath(const std::string& prefix) {
  const size_t s = prefix.rfind('/');
  const std::string base = s == std::string::npos ? prefix : prefix.substr(s + 1);
  char buf[2 * VESK2_PATH_MAX + 16];
  snprintf(buf, sizeof buf, VESK2_MNG_FILE_FMT, DirOf(prefix).c_str(), base.c_str());
  return buf;
}

RingWriter::RingWriter(const RingShape& shape)
    : shape_(shape),
      mngPath_(RingMngPath(shape.prefix)),
      mode_(shape.option | VESK2_MODE_UNUSED_BITS),
      fileSize_(shape.fileSize),
      fileNum_(shape.fileNum),
      mapSize_(shape.fileSize) {}

RingWriter::~RingWriter() { Close(); }

bool RingWriter::Fail(const std::string& what) {
  error_ = what + ": " + strerror(errno);
  return false;
}

bool RingWriter::Lock() {
  if (mode_ & VESK2_MODE_NO_LOCK) return true;
  if (lockDepth_++ > 0) return true;
  for (int i = 0; i < lockAttempts_; ++i) {
    if (lockf(mngFd_, F_TLOCK, 0) == 0) return true;
    usleep(1000);
  }
  --lockDepth_;
  errno = EAGAIN;
  return Fail("lock of " + mngPath_);
}

void RingWriter::Unlock() {
  if (mode_ & VESK2_MODE_NO_LOCK) return;
  if (--lockDepth_ == 0) lockf(mngFd_, F_ULOCK, 0);
}

void RingWriter::ReadRecord(State* st) {
  st->fileSize = mng_[VESK2_MNG_W_FILE_SIZE];
  st->fileNum = static_cast<int32_t>(mng_[VESK2_MNG_W_FILE_NUM]);
  st->offset = mng_[VESK2_MNG_W_OFFSET];
  st->curFile = static_cast<int32_t>(mng_[VESK2_MNG_W_CUR_FILE]);
  st->mode = mng_[VESK2_MNG_W_MODE];
  mode_ &= st->mode;
}

// Creates file n, or completes it to the mapping size in fill mode: an end
// byte and mark at the end of what is there, then spaces.
bool RingWriter::PrepareFile(int n, bool force) {
  const std::string path = RingTracePath(shape_.prefix, n);
  struct stat st;
  const bool exists = stat(path.c_str(), &st) == 0;
  const bool fill = (mode_ & VESK2_MODE_NO_FILL) == 0;
  if (exists && !force && !(fill && st.st_size < mapSize_)) return true;
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return Fail("open " + path);
  off_t end = lseek(fd, 0, SEEK_END);
  std::string tail;
  if (!exists) {
    tail.push_back(static_cast<char>(VESK2_EOD_BYTE));
    tail += VESK2_EOD_MARK;
  }
  if (fill && end + static_cast<off_t>(tail.size()) < mapSize_) {
    tail.resize(static_cast<size_t>(mapSize_ - end), ' ');
  }
  const bool ok = write(fd, tail.data(), tail.size()) == static_cast<ssize_t>(tail.size());
  close(fd);
  return ok || Fail("write " + path);
}

bool RingWriter::MapCurrent(int n) {
  UnmapCurrent();
  const std::string path = RingTracePath(shape_.prefix, n);
  if (!PrepareFile(n, false)) return false;
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return Fail("open " + path);
  struct stat st;
  fstat(fd, &st);
  if (st.st_size < mapSize_ && pwrite(fd, "", 1, mapSize_ - 1) != 1) {
    close(fd);
    return Fail("extend " + path);
  }
  void* m = mmap(nullptr, mapSize_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  if (m == MAP_FAILED) return Fail("mmap " + path);
  map_ = static_cast<unsigned char*>(m);
  mapLen_ = mapSize_;
  mappedFile_ = n;
  return true;
}

void RingWriter::UnmapCurrent() {
  if (map_ != nullptr) munmap(map_, mapLen_);
  map_ = nullptr;
  mappedFile_ = 0;
}

std::string RingWriter::ProcessLine() const {
  char buf[96];
  snprintf(buf, sizeof buf, "**** %s %08X %010d %04d %08X\r\n",
           Padded(shape_.appName, VESK2_APP_NAME_LEN).c_str(), static_cast<unsigned>(getpid()),
           static_cast<int>(shape_.fileSize), shape_.fileNum, shape_.option);
  return buf;
}

std::string RingWriter::SystemAndColumnLines() const {
  std::string s = "**** " + Padded("Linux 6.1.0 x86_64 test", 61) + Padded("testhost", 17) +
                  Padded("TZ=UTC", 32) + " " + "2026/12/08 01:02:03.004" + "\r\n";
  s += "     yyyy/mm/dd hh:mm:ss.sss" + std::string(22, ' ') + "pid" + std::string(6, ' ') + "tid" +
       std::string(6, ' ') + "message-id" + std::string(12, ' ') + "message(LANG=C)\r\n";
  return s;
}

bool RingWriter::Open() {
  MakeDirs(DirOf(shape_.prefix) + "/" VESK2_MMAP_DIR_NAME);
  struct stat st;
  const bool existed = stat(mngPath_.c_str(), &st) == 0;
  mngFd_ = open(mngPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (mngFd_ < 0) return Fail("open " + mngPath_);
  if (!Lock()) return false;
  fstat(mngFd_, &st);
  const bool fresh = !existed && st.st_size == 0;
  if (st.st_size < VESK2_MNG_FILE_SIZE) {
    std::vector<char> zeros(VESK2_MNG_FILE_SIZE - st.st_size, 0);
    if (pwrite(mngFd_, zeros.data(), zeros.size(), st.st_size) !=
        static_cast<ssize_t>(zeros.size())) {
      Unlock();
      return Fail("extend " + mngPath_);
    }
  }
  void* m = mmap(nullptr, VESK2_MNG_FILE_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, mngFd_, 0);
  if (m == MAP_FAILED) {
    Unlock();
    return Fail("mmap " + mngPath_);
  }
  mng_ = static_cast<uint32_t*>(m);
  const bool valid = !fresh && memcmp(mng_, VESK2_MNG_ID, 4) == 0 &&
                     mng_[VESK2_MNG_W_FILE_SIZE] >= VESK2_MNG_MIN_FILE_SIZE &&
                     mng_[VESK2_MNG_W_FILE_SIZE] <= VESK2_MNG_MAX_FILE_SIZE &&
                     mng_[VESK2_MNG_W_FILE_NUM] >= 1 && mng_[VESK2_MNG_W_FILE_NUM] <= 64 &&
                     mng_[VESK2_MNG_W_CUR_FILE] >= 1 &&
                     mng_[VESK2_MNG_W_CUR_FILE] <= mng_[VESK2_MNG_W_FILE_NUM];
  int cur = 1;
  if (valid) {
    mode_ &= mng_[VESK2_MNG_W_MODE];
    const bool larger = (shape_.option & VESK2_MODE_KEEP_LARGER) != 0;
    const uint32_t size = mng_[VESK2_MNG_W_FILE_SIZE];
    const int num = static_cast<int>(mng_[VESK2_MNG_W_FILE_NUM]);
    fileSize_ = larger && shape_.fileSize > size ? shape_.fileSize : size;
    fileNum_ = larger && shape_.fileNum > num ? shape_.fileNum : num;
    mapSize_ = fileSize_;
    cur = static_cast<int>(mng_[VESK2_MNG_W_CUR_FILE]);
  } else {
    memcpy(mng_, VESK2_MNG_ID, 4);
    mng_[VESK2_MNG_W_BYTE_ORDER] = VESK2_MNG_BYTE_ORDER;
    mng_[VESK2_MNG_W_FILE_SIZE] = fileSize_;
    mng_[VESK2_MNG_W_FILE_NUM] = static_cast<uint32_t>(fileNum_);
    mng_[VESK2_MNG_W_OFFSET] = 0;
    mng_[VESK2_MNG_W_CUR_FILE] = 1;
    mng_[VESK2_MNG_W_MODE] = VESK2_MNG_MODE_UNSET;
    mng_[VESK2_MNG_W_LOCK_TYPE] = VESK2_MNG_LOCK_LOCKF;
  }
  // Every file of the ring, the current one last, unless only the current one.
  if ((mode_ & VESK2_MODE_CURRENT_ONLY) == 0) {
    for (int i = 1; i <= fileNum_; ++i) {
      if (!PrepareFile((cur + i - 1) % fileNum_ + 1, false)) return Unlock(), false;
    }
  }
  if (!MapCurrent(cur)) return Unlock(), false;
  if (valid) {
    mng_[VESK2_MNG_W_BYTE_ORDER] = VESK2_MNG_BYTE_ORDER;
    mng_[VESK2_MNG_W_FILE_SIZE] = fileSize_;
    mng_[VESK2_MNG_W_FILE_NUM] = static_cast<uint32_t>(fileNum_);
    mng_[VESK2_MNG_W_LOCK_TYPE] = VESK2_MNG_LOCK_LOCKF;
  }
  State state;
  ReadRecord(&state);
  mng_[VESK2_MNG_W_MODE] = mode_;
  std::string header;
  if ((shape_.option & VESK2_MODE_NO_PROC_LINE) == 0) {
    header = ProcessLine() + SystemAndColumnLines();
  } else if (state.offset == 0 && (mode_ & VESK2_MODE_NO_HEADER) == 0) {
    header = SystemAndColumnLines();
  }
  const bool ok = Write(header, &state, true);
  Unlock();
  return ok;
}

bool RingWriter::Put(const std::string& bytes) {
  if (mng_ == nullptr) {
    errno = EBADF;
    return Fail("put without an open ring");
  }
  if (!Lock()) return false;
  State state;
  ReadRecord(&state);
  const bool ok = Write(bytes, &state, false);
  Unlock();
  return ok;
}

bool RingWriter::Write(const std::string& bytes, State* st, bool header) {
  if (bytes.empty()) return true;
  const long len = static_cast<long>(bytes.size());
  fileNum_ = st->fileNum;
  bool changed = false;
  if (st->fileSize != fileSize_ || st->curFile != mappedFile_) {
    fileSize_ = st->fileSize;
    mapSize_ = fileSize_;  // an enlarged file was only for the record that needed it
    changed = true;
  }
  if (st->offset + VESK2_EOD_TOTAL_LEN + len <= st->fileSize) {
    if (changed && !MapCurrent(st->curFile)) return false;
  } else {
    const int next = st->curFile >= st->fileNum ? 1 : st->curFile + 1;
    const bool headerDue = !header && (mode_ & VESK2_MODE_NO_HEADER) == 0;
    const long room = VESK2_EOD_TOTAL_LEN + len + (headerDue ? VESK2_HEADER_RESERVE : 0);
    mapSize_ = room > static_cast<long>(st->fileSize) ? room : st->fileSize;
    mng_[VESK2_MNG_W_CUR_FILE] = static_cast<uint32_t>(next);
    mng_[VESK2_MNG_W_OFFSET] = 0;
    st->curFile = next;
    st->offset = 0;
    if (!MapCurrent(next)) return false;
    if (headerDue && !Write(SystemAndColumnLines(), st, true)) return false;
  }
  // The offset goes first; the lock keeps readers from seeing it early.
  mng_[VESK2_MNG_W_OFFSET] = st->offset + static_cast<uint32_t>(len);
  memcpy(map_ + st->offset, bytes.data(), bytes.size());
  map_[st->offset + len] = VESK2_EOD_BYTE;
  memcpy(map_ + st->offset + len + 1, VESK2_EOD_MARK, VESK2_EOD_MARK_LEN);
  st->offset += static_cast<uint32_t>(len);
  return true;
}

void RingWriter::Close() {
  UnmapCurrent();
  if (mng_ != nullptr) munmap(mng_, VESK2_MNG_FILE_SIZE);
  mng_ = nullptr;
  if (mngFd_ >= 0) close(mngFd_);
  mngFd_ = -1;
  lockDepth_ = 0;
}

bool WriteRawRecord(const std::string& mngPath, const char id[4], const uint32_t words[7],
                    bool swapped) {
  uint32_t file[VESK2_MNG_FILE_SIZE / 4] = {};
  memcpy(file, id, 4);
  for (int i = 0; i < 7; ++i) file[i + 1] = swapped ? __builtin_bswap32(words[i]) : words[i];
  const int fd = open(mngPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const bool ok = pwrite(fd, file, sizeof file, 0) == static_cast<ssize_t>(sizeof file);
  close(fd);
  return ok;
}

namespace {

std::string ReadWholeFile(const std::string& path) {
  std::string s;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return s;
  char buf[65536];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) s.append(buf, static_cast<size_t>(n));
  close(fd);
  return s;
}

}  // namespace

// The ring's data as the format defines it: files from the oldest to the
// current one, each up to its end byte.
std::string RingDataOldestFirst(const std::string& prefix) {
  const std::string mng = ReadWholeFile(RingMngPath(prefix));
  if (mng.size() < VESK2_MNG_FILE_SIZE) return "<no management file>";
  VESK_MANAGEMENT_DATA rec;
  memcpy(&rec, mng.data(), sizeof rec);
  std::string all;
  for (int i = 1; i <= rec.lFileNum; ++i) {
    const int n = (rec.lCurFile + i - 1) % rec.lFileNum + 1;
    const std::string f = ReadWholeFile(RingTracePath(prefix, n));
    size_t end = 0;
    while (end < f.size() && !(f[end] == VESK2_EOD_BYTE &&
                               (end == 0 || (end >= 2 && f.compare(end - 2, 2, "\r\n") == 0)))) {
      ++end;
    }
    all += f.substr(0, end);
  }
  return all;
}

}  // namespace tw::test
