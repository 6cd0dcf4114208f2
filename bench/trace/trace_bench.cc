// 1,000,000 puts of 100-byte texts into a 4 MiB x 4 ring against one
// write(2) per record to an O_APPEND file; a put filtered out by its level;
// malloc calls counted on the put path.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "vesk2_trace.h"

// Every malloc of the process, the library's included, passes through here.
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
static std::atomic<long> g_allocs{0};
extern "C" void* malloc(size_t n) {
  g_allocs.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(n);
}
extern "C" void* calloc(size_t a, size_t b) {
  g_allocs.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(a, b);
}
extern "C" void* realloc(void* p, size_t n) {
  g_allocs.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, n);
}

namespace {

constexpr long kRecords = 1000000;
const std::string kText(100, 't');

std::string BenchDir() {
  const char* base = std::getenv("TRACE_BENCH_DIR");
  std::string tmpl = std::string(base != nullptr ? base : "/tmp") + "/trace-bench-XXXXXX";
  if (mkdtemp(tmpl.data()) == nullptr) std::abort();
  return tmpl;
}

void RemoveRing(const std::string& prefix, int files) {
  for (int i = 1; i <= files; ++i) unlink((prefix + std::to_string(i) + ".log").c_str());
}

// A 4 MiB x 4 single-process ring in a directory of its own, its
// instance warmed up (the thread's record is made by the first put);
// removed again at the end of the benchmark.
class BenchRing {
 public:
  explicit BenchRing(benchmark::State& state) : dir_(BenchDir()), prefix_(dir_ + "/ring") {
    tagVESK_LOGFILE_SPEC spec = {4L << 20, 4, prefix_.c_str()};
    if (ZELKWSYM_CreateInstance(&obj_, &spec, "bench") != 0) {
      state.SkipWithError("CreateInstance failed");
      obj_ = nullptr;
      return;
    }
    ZELKWSYM_PutInstanceWithId(obj_, 0, "ZELKW-000-I", "warm-up");
  }
  ~BenchRing() {
    if (obj_ != nullptr) ZELKWSYM_DeleteInstance(obj_);
    RemoveRing(prefix_, 4);
    rmdir(dir_.c_str());
  }
  VESKTraceObject* get() const { return obj_; }

 private:
  std::string dir_;
  std::string prefix_;
  VESKTraceObject* obj_ = nullptr;
};

void BM_InstancePut(benchmark::State& state) {
  BenchRing ring(state);
  VESKTraceObject* obj = ring.get();
  if (obj == nullptr) return;
  long allocs = g_allocs.load();
  for (auto _ : state) {
    if (ZELKWSYM_PutInstanceWithId(obj, 0, "ZELKW-001-I", kText.c_str()) != 0) {
      state.SkipWithError("put failed");
      break;
    }
  }
  state.counters["allocs_in_loop"] = static_cast<double>(g_allocs.load() - allocs);
  state.counters["records_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_InstancePut)->Iterations(kRecords)->Unit(benchmark::kNanosecond)->UseRealTime();

// The put's own work: the record is built in full, but the file route is
// switched off (file threshold -1), so nothing reaches the kernel.
void BM_InstancePutNotWritten(benchmark::State& state) {
  BenchRing ring(state);
  VESKTraceObject* obj = ring.get();
  if (obj == nullptr) return;
  ZELKWSYM_SetInstanceFileThreshold(obj, -1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(ZELKWSYM_PutInstanceWithId(obj, 0, "ZELKW-001-I", kText.c_str()));
  }
}
BENCHMARK(BM_InstancePutNotWritten);

// The same 192-byte records, one write(2) each, to an O_APPEND file: the
// limit of a design that writes each record with one system call. With
// truncate_every > 0 the file is emptied every that many bytes, as a ring
// empties a reused file (its own file, not a rotation of several).
void WriteLoop(benchmark::State& state, size_t truncate_every) {
  std::string dir = BenchDir();
  std::string path = dir + "/plain.log";
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    state.SkipWithError("open failed");
    return;
  }
  std::string record = std::string(90, 'h') + kText + "\r\n";
  size_t written = 0;
  for (auto _ : state) {
    if (truncate_every > 0 && written > truncate_every) {
      if (ftruncate(fd, 0) != 0) break;
      written = 0;
    }
    ssize_t n = write(fd, record.data(), record.size());
    if (n != static_cast<ssize_t>(record.size())) {
      state.SkipWithError("write failed");
      break;
    }
    written += static_cast<size_t>(n);
  }
  state.counters["records_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  close(fd);
  unlink(path.c_str());
  rmdir(dir.c_str());
}

void BM_WriteLoop(benchmark::State& state) { WriteLoop(state, 0); }
BENCHMARK(BM_WriteLoop)->Iterations(kRecords)->Unit(benchmark::kNanosecond)->UseRealTime();

void BM_WriteLoopTruncating(benchmark::State& state) { WriteLoop(state, 4u << 20); }
BENCHMARK(BM_WriteLoopTruncating)
    ->Iterations(kRecords)
    ->Unit(benchmark::kNanosecond)
    ->UseRealTime();

// The least any put of this record format does: read the clock, copy the
// caller's text into the record, one write(2). No columns, no checks. With
// ring set, into four 4 MiB files used in turn and emptied on reuse (all
// kept open, as the ring keeps them): what the file format itself costs.
void LeastPut(benchmark::State& state, bool ring) {
  std::string dir = BenchDir();
  const int files = ring ? 4 : 1;
  int fds[4] = {-1, -1, -1, -1};
  for (int i = 0; i < files; ++i) {
    std::string path = dir + "/least" + std::to_string(i) + ".log";
    fds[i] = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (fds[i] < 0) {
      state.SkipWithError("open failed");
      return;
    }
  }
  alignas(64) char record[192];
  std::memset(record, 'h', sizeof record);
  record[190] = '\r';
  record[191] = '\n';
  int current = 0;
  size_t written = 0;
  for (auto _ : state) {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    std::memcpy(record + 5, &tv, sizeof tv);
    const char* text = kText.c_str();
    std::memcpy(record + 90, text, strnlen(text, 4095));
    benchmark::DoNotOptimize(record);
    if (ring && written > (4u << 20)) {
      current = (current + 1) % files;
      if (ftruncate(fds[current], 0) != 0) {
        state.SkipWithError("ftruncate failed");
        break;
      }
      written = 0;
    }
    if (write(fds[current], record, sizeof record) != static_cast<ssize_t>(sizeof record)) {
      state.SkipWithError("write failed");
      break;
    }
    written += sizeof record;
  }
  state.counters["records_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  for (int i = 0; i < files; ++i) {
    close(fds[i]);
    unlink((dir + "/least" + std::to_string(i) + ".log").c_str());
  }
  rmdir(dir.c_str());
}

void BM_StampCopyWriteLoop(benchmark::State& state) { LeastPut(state, false); }
BENCHMARK(BM_StampCopyWriteLoop)->Iterations(kRecords)->Unit(benchmark::kNanosecond)->UseRealTime();

void BM_StampCopyWriteRing(benchmark::State& state) { LeastPut(state, true); }
BENCHMARK(BM_StampCopyWriteRing)->Iterations(kRecords)->Unit(benchmark::kNanosecond)->UseRealTime();

void BM_FilteredPut(benchmark::State& state) {
  std::string dir = BenchDir();
  std::string prefix = dir + "/filtered";
  tagVESK_LOGFILE_SPEC spec = {4096, 1, prefix.c_str()};
  if (ZELKWSYM_Initialize(&spec, "bench") != 0) {
    state.SkipWithError("Initialize failed");
    return;
  }
  long allocs = g_allocs.load();
  for (auto _ : state) {
    benchmark::DoNotOptimize(ZELKWSYM_PutWithId(10, "ZELKW-001-I", kText.c_str()));
  }
  state.counters["allocs_in_loop"] = static_cast<double>(g_allocs.load() - allocs);
  ZELKWSYM_Finalize();
  RemoveRing(prefix, 1);
  rmdir(dir.c_str());
}
BENCHMARK(BM_FilteredPut);

}  // namespace

BENCHMARK_MAIN();
