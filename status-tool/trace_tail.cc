#include "trace_tail.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <vector>

namespace {

constexpr int kMaxPages = 16;         // the most files the daemon keeps
constexpr size_t kLongestPath = 249;  // the daemon's own limit
constexpr off_t kChunk = 64 * 1024;

struct RingFile {
  std::string path;
  int number;
  struct timespec mtime;
  off_t size;
};

bool Newer(const RingFile& a, const RingFile& b) {
  if (a.mtime.tv_sec != b.mtime.tv_sec) return a.mtime.tv_sec > b.mtime.tv_sec;
  if (a.mtime.tv_nsec != b.mtime.tv_nsec) return a.mtime.tv_nsec > b.mtime.tv_nsec;
  return a.number > b.number;  // the trace library's own tie rule
}

// A file's header block: the system line and the column line.
bool IsHeader(const std::string& line) {
  return line.compare(0, 5, "**** ") == 0 || line.compare(0, 15, "     yyyy/mm/dd") == 0;
}

// Up to `want` record lines from the end of the file, oldest first. Reads
// only the tail: a trace file may be gigabytes long.
std::vector<std::string> LastRecords(const std::string& path, off_t size, size_t want,
                                     std::string* problem) {
  std::vector<std::string> records;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *problem = "cannot read " + path + ": " + strerror(errno);
    return records;
  }
  off_t span = std::min(size, kChunk);
  for (;;) {
    std::string tail(static_cast<size_t>(span), '\0');
    ssize_t got = pread(fd, &tail[0], tail.size(), size - span);
    if (got < 0) {
      *problem = "cannot read " + path + ": " + strerror(errno);
      break;
    }
    tail.resize(static_cast<size_t>(got));
    std::vector<std::string> lines;
    size_t start = 0;
    // A window that does not begin the file starts inside a line: drop it.
    if (size - span > 0) {
      size_t first = tail.find('\n');
      start = first == std::string::npos ? tail.size() : first + 1;
    }
    while (start < tail.size()) {
      size_t end = tail.find('\n', start);
      std::string line = tail.substr(start, end == std::string::npos ? end : end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty() && !IsHeader(line)) lines.push_back(line);
      if (end == std::string::npos) break;
      start = end + 1;
    }
    if (lines.size() >= want || span == size) {
      size_t skip = lines.size() > want ? lines.size() - want : 0;
      records.assign(lines.begin() + static_cast<long>(skip), lines.end());
      break;
    }
    span = std::min(size, span * 4);
  }
  close(fd);
  return records;
}

}  // namespace

std::string TracePrefix(const SettingsState& settings, const std::string& log_dir) {
  std::string path = !settings.log_name.empty() && settings.log_name[0] == '/'
                         ? settings.log_name
                         : log_dir + "/" + settings.log_name;
  if (path.size() > kLongestPath) path = log_dir + "/" + settings.default_log_name;
  return path;
}

TraceState TailTrace(const std::string& prefix, size_t count) {
  TraceState t;
  t.prefix = prefix;
  std::vector<RingFile> files;
  for (int n = 1; n <= kMaxPages; ++n) {
    RingFile f{prefix + std::to_string(n) + ".log", n, {}, 0};
    struct stat st;
    if (stat(f.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    f.mtime = st.st_mtim;
    f.size = st.st_size;
    files.push_back(f);
  }
  if (files.empty()) {
    t.problem = "no trace file " + prefix + "N.log";
    return t;
  }
  std::sort(files.begin(), files.end(), Newer);
  t.newest_file = files.front().path;
  std::deque<std::string> kept;
  for (const RingFile& f : files) {
    if (kept.size() >= count) break;
    std::vector<std::string> more = LastRecords(f.path, f.size, count - kept.size(), &t.problem);
    kept.insert(kept.begin(), more.begin(), more.end());
    if (!t.problem.empty()) break;
  }
  t.lines.assign(kept.begin(), kept.end());
  return t;
}

std::string CompactTraceLine(const std::string& record) {
  // Record columns: time at 5-27, message id at 68-88, text from 90.
  if (record.size() <= 90 || record[4] != ' ' || record[89] != ' ') return record;
  std::string id = record.substr(68, 21);
  id.erase(id.find_last_not_of(' ') + 1);
  std::string text = record.substr(90);
  if (text.compare(0, 1, "[") == 0) {
    size_t between = text.find("][");
    size_t end = between == std::string::npos ? between : text.find("] ", between);
    if (end != std::string::npos) text.erase(0, end + 2);
  }
  size_t suffix = text.rfind(" FileName: ");
  if (suffix != std::string::npos && text.find(", LineNumber: ", suffix) != std::string::npos)
    text.erase(suffix);
  return record.substr(5, 23) + " " + id + (id.empty() ? "" : " ") + text;
}
