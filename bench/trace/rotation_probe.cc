// How a ring of four 4 MiB files that are emptied on reuse costs on the file
// system below, without the library: 1,000,000 appends of 192 bytes, moving
// to the next file when one is full, with three ways to empty a reused file:
//   truncate  - close the full file, reopen the next one, ftruncate it to 0
//               (what the single-process ring does);
//   unlink    - close the full file, unlink the next one and create it anew;
//   keepopen  - keep all four descriptors open and ftruncate the next one.
// Usage: rotation_probe truncate|unlink|keepopen [DIR]   (DIR default /tmp)
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr size_t kFileSize = 4 << 20;
constexpr size_t kRecord = 192;
constexpr int kFiles = 4;
constexpr long kRecords = 1000000;

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s truncate|unlink|keepopen [DIR]\n", argv[0]);
    return 2;
  }
  const std::string mode = argv[1];
  const std::string dir = argc > 2 ? argv[2] : "/tmp";
  if (mode != "truncate" && mode != "unlink" && mode != "keepopen") {
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
  }
  auto name = [&](int i) { return dir + "/rotation-probe-" + std::to_string(i) + ".log"; };
  for (int i = 0; i < kFiles; ++i) unlink(name(i).c_str());
  const int flags = O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC;
  int kept[kFiles] = {-1, -1, -1, -1};

  auto open_file = [&](int i, bool reuse) -> int {
    if (mode == "keepopen") {
      if (kept[i] < 0) {
        kept[i] = open(name(i).c_str(), flags, 0644);
      } else if (ftruncate(kept[i], 0) != 0) {
        return -1;
      }
      return kept[i];
    }
    if (mode == "unlink" && reuse) unlink(name(i).c_str());
    int fd = open(name(i).c_str(), flags, 0644);
    if (mode == "truncate" && reuse && fd >= 0 && ftruncate(fd, 0) != 0) return -1;
    return fd;
  };

  char record[kRecord];
  std::memset(record, 'x', sizeof record);
  int current = 0;
  int fd = open_file(0, false);
  size_t size = 0;
  bool wrapped = false;
  const auto start = std::chrono::steady_clock::now();
  for (long n = 0; n < kRecords && fd >= 0; ++n) {
    if (size + kRecord > kFileSize) {
      if (mode != "keepopen") close(fd);
      current = (current + 1) % kFiles;
      wrapped = wrapped || current == 0;
      fd = open_file(current, wrapped);
      size = 0;
    }
    if (write(fd, record, kRecord) != static_cast<ssize_t>(kRecord)) fd = -1;
    size += kRecord;
  }
  const auto end = std::chrono::steady_clock::now();
  if (fd < 0) {
    std::perror("rotation_probe");
    return 1;
  }
  std::printf("%s: %.0f ns per record\n", mode.c_str(),
              std::chrono::duration<double, std::nano>(end - start).count() / kRecords);
  for (int i = 0; i < kFiles; ++i) unlink(name(i).c_str());
  return 0;
}
