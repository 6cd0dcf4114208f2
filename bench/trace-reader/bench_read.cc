// ZELKWSYM_MpttRead over a 16 MiB trace file against plain memcpy of the
// same amount, in the same chunk sizes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "vesk2_trace_format.h"
#include "vesk2_trace_reader.h"

namespace {

constexpr long kFileSize = 16L * 1024 * 1024;

// A ring of one 16 MiB file whose writer stands just before its end.
struct Ring {
  std::string dir;
  std::string trace;
  Ring() {
    char tmpl[] = "/tmp/tw-reader-bench-XXXXXX";
    dir = mkdtemp(tmpl);
    mkdir((dir + "/mmap").c_str(), 0777);
    trace = dir + "/bench1.log";
    const long end = kFileSize - VESK2_EOD_TOTAL_LEN;
    std::string line(99, 'x');
    line += "\r\n";
    std::string data;
    data.reserve(kFileSize);
    while (static_cast<long>(data.size() + line.size()) <= end) data += line;
    data.resize(end, ' ');
    data.push_back(static_cast<char>(VESK2_EOD_BYTE));
    data += VESK2_EOD_MARK;
    int fd = open(trace.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())) abort();
    close(fd);
    uint32_t mng[16] = {};
    memcpy(mng, VESK2_MNG_ID, 4);
    mng[VESK2_MNG_W_BYTE_ORDER] = VESK2_MNG_BYTE_ORDER;
    mng[VESK2_MNG_W_FILE_SIZE] = kFileSize;
    mng[VESK2_MNG_W_FILE_NUM] = 1;
    mng[VESK2_MNG_W_OFFSET] = static_cast<uint32_t>(end);
    mng[VESK2_MNG_W_CUR_FILE] = 1;
    mng[VESK2_MNG_W_MODE] = 0xFFFFFFC0u;
    mng[VESK2_MNG_W_LOCK_TYPE] = 1;
    fd = open((dir + "/mmap/bench.mm").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (write(fd, mng, sizeof mng) != static_cast<ssize_t>(sizeof mng)) abort();
    close(fd);
  }
  ~Ring() { std::filesystem::remove_all(dir); }
};

Ring& TheRing() {
  static Ring ring;
  return ring;
}

void BM_MpttRead(benchmark::State& state) {
  const long chunk = state.range(0);
  VESK2_MptTrap_t* r = ZELKWSYM_MpttCreateInstance(TheRing().trace.c_str());
  if (ZELKWSYM_MpttOpenManagementFile(r) != 0 || ZELKWSYM_MpttOpen(r) != 0) {
    state.SkipWithError("reader could not open the ring");
    return;
  }
  const long end = ZELKWSYM_MpttGetCurrentOffset(r);
  std::vector<char> buf(chunk);
  long total = 0;
  for (auto _ : state) {
    ZELKWSYM_MpttSeek(r, 0, VESK2_MPTT_SEEK_SET);
    long n;
    while ((n = ZELKWSYM_MpttRead(r, buf.data(), chunk)) > 0) total += n;
    benchmark::DoNotOptimize(buf.data());
  }
  if (total != end * static_cast<long>(state.iterations())) state.SkipWithError("short read");
  state.SetBytesProcessed(total);
  ZELKWSYM_MpttClose(r);
  ZELKWSYM_MpttCloseManagementFile(r);
  ZELKWSYM_MpttDeleteInstance(r);
}

void BM_Memcpy(benchmark::State& state) {
  const long chunk = state.range(0);
  const long end = kFileSize - VESK2_EOD_TOTAL_LEN;
  std::vector<char> src(kFileSize, 'x');
  std::vector<char> buf(chunk);
  long total = 0;
  for (auto _ : state) {
    for (long pos = 0; pos < end; pos += chunk) {
      const long n = end - pos < chunk ? end - pos : chunk;
      memcpy(buf.data(), src.data() + pos, n);
      benchmark::ClobberMemory();
      total += n;
    }
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetBytesProcessed(total);
}

// The cost of asking how far the writers have got (lock, six words, unlock).
void BM_GetCurrentOffset(benchmark::State& state) {
  VESK2_MptTrap_t* r = ZELKWSYM_MpttCreateInstance(TheRing().trace.c_str());
  if (ZELKWSYM_MpttOpenManagementFile(r) != 0) {
    state.SkipWithError("reader could not open the ring");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(ZELKWSYM_MpttGetCurrentOffset(r));
  ZELKWSYM_MpttCloseManagementFile(r);
  ZELKWSYM_MpttDeleteInstance(r);
}

BENCHMARK(BM_Memcpy)->Arg(4096)->Arg(64 * 1024)->Arg(1 << 20);
BENCHMARK(BM_MpttRead)->Arg(4096)->Arg(64 * 1024)->Arg(1 << 20);
BENCHMARK(BM_GetCurrentOffset);

}  // namespace

BENCHMARK_MAIN();
