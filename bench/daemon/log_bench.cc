// LogTrace from producer threads against the least it can cost: one
// snprintf of the same finished line plus an uncontended mutex pair. Also
// with the logger thread stalled inside a write, where producers must still
// return at that cost (the ring drops its oldest entry and counts), and the
// allocations per call, counted by wrapping malloc.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <pthread.h>
#include <sys/time.h>

#include <cstdio>
#include <cstdlib>

#include "QVSM_ErrorLogging.h"
#include "QVSM_Globals.h"
#include "QVSM_LogRing.h"
#include "QVSM_WDTSettings.h"

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);

namespace {
thread_local unsigned long t_allocations = 0;
}

extern "C" void* malloc(size_t n) {
  ++t_allocations;
  return __libc_malloc(n);
}
extern "C" void* calloc(size_t n, size_t size) {
  ++t_allocations;
  return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, size_t n) {
  ++t_allocations;
  return __libc_realloc(p, n);
}

struct CWDTSettingsAccess {
  static void UseLog() {
    WdtSettingsLock s;
    CWDTSettings* settings = s.operator->();
    settings->m_nLogSize = 8;
    settings->m_nLogPages = 2;
    settings->m_nLogLevel = 30;
    std::snprintf(settings->m_szLogName, sizeof settings->m_szLogName, "%s", "/tmp/bench/t");
  }
};

namespace {

void (*g_stall)(int) = nullptr;

// The event log as the daemon runs it: libraries loaded, logger thread on.
void StartLog() {
  pthread_mutex_init(&g_mtxSettingsMutex, nullptr);
  CWDTSettingsAccess::UseLog();
  g_nXmlLogLevel = 30;
  if (g_objErrorLog.WDT_InitialiseLogFiles() != 0 || g_objErrorLog.WDT_StartLoggerThread() != 0) {
    std::fprintf(stderr, "event log did not start\n");
    std::exit(1);
  }
  g_stall = reinterpret_cast<void (*)(int)>(dlsym(RTLD_DEFAULT, "BenchStubStall"));
  if (g_stall == nullptr) std::exit(1);
}

void Count(benchmark::State& state, unsigned long allocations) {
  state.counters["allocs_per_call"] =
      benchmark::Counter(static_cast<double>(allocations) / static_cast<double>(state.iterations()),
                         benchmark::Counter::kAvgThreads);
}

void LogTraceLoop(benchmark::State& state) {
  const unsigned long before = t_allocations;
  for (auto _ : state) WDT_TRACE(ZELKW_052_K, "WDT_LogXMLvalues", "TimeoutInterval", 1200);
  Count(state, t_allocations - before);
  state.SetItemsProcessed(state.iterations());
}

void BM_LogTrace(benchmark::State& state) { LogTraceLoop(state); }

// The logger thread blocks in its write; the ring stays full from then on.
void BM_LogTraceLoggerStalled(benchmark::State& state) {
  if (state.thread_index() == 0) g_stall(1);
  LogTraceLoop(state);
  if (state.thread_index() == 0) {
    state.counters["ring_stored"] = WDT_LogBuffer().Stored();
    g_stall(0);
  }
}

pthread_mutex_t g_reference = PTHREAD_MUTEX_INITIALIZER;

// The same finished line in one snprintf, and a mutex pair nobody else takes.
void BM_SnprintfLinePlusMutex(benchmark::State& state) {
  pthread_mutex_t own = PTHREAD_MUTEX_INITIALIZER;
  pthread_mutex_t* mutex = state.threads() == 1 ? &g_reference : &own;
  char line[1024];
  struct timeval now {};
  gettimeofday(&now, nullptr);
  const unsigned long before = t_allocations;
  for (auto _ : state) {
    std::snprintf(line, sizeof line,
                  "[%s:%03d][%lx] %s : Value of %s in the settings XML is %d. FileName: %s, "
                  "LineNumber: %d.",
                  "2026-01-01 12:00:00", static_cast<int>(now.tv_usec / 1000),
                  static_cast<unsigned long>(pthread_self()), "WDT_LogXMLvalues", "TimeoutInterval",
                  1200, "log_bench.cc", __LINE__);
    benchmark::DoNotOptimize(line);
    pthread_mutex_lock(mutex);
    benchmark::ClobberMemory();
    pthread_mutex_unlock(mutex);
  }
  Count(state, t_allocations - before);
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_SnprintfLinePlusMutex)->Threads(1)->Threads(2);
BENCHMARK(BM_LogTrace)->Threads(1)->Threads(2);
BENCHMARK(BM_LogTraceLoggerStalled)->Threads(1)->Threads(2);

}  // namespace

int main(int argc, char** argv) {
  StartLog();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return g_objErrorLog.WDT_StopLogging() == 0 ? 0 : 1;
}
