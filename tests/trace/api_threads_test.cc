// Several threads writing through one instance and the global ring at
// once (thread-safe builds), and per-thread error words.
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "test_util.h"

namespace tracetest {
namespace {

class Threads : public TraceTest {
 protected:
  void SetUp() override {
    if (!kThreadSafe) GTEST_SKIP() << "single-threaded build";
    dir_ = NewDir("threads");
  }
  std::string dir_;
};

// Every line of the ring is a whole record, each writer's sequence
// arrives complete, once, and in order, and the record counters within a
// file ascend (other rings' records may take numbers in between).
void ExpectIntactRing(const Spec& s, int files, const std::string& tag, int writers, int each) {
  std::map<int, int> next;
  for (int f = 1; f <= files; ++f) {
    if (!Exists(s.File(f))) continue;
    std::string content = ReadFile(s.File(f));
    ASSERT_EQ(content.substr(content.size() - 2), "\r\n");
    int previous = -1;
    for (auto& r : Records(s.File(f))) {
      ASSERT_EQ(r.size(), 90u + 40u) << "torn record: " << r;
      const int counter = std::stoi(r.substr(0, 4));
      if (previous >= 0) {
        const int step = (counter - previous + 10000) % 10000;
        ASSERT_TRUE(step >= 1 && step < 5000) << "counter " << counter << " after " << previous;
      }
      previous = counter;
      ASSERT_EQ(r.substr(90, tag.size()), tag) << r;
      int w = std::stoi(r.substr(90 + tag.size(), 2));
      int seq = std::stoi(r.substr(90 + tag.size() + 3, 6));
      ASSERT_EQ(seq, next[w]) << "writer " << w << " record out of order or lost";
      next[w] = seq + 1;
    }
  }
  for (int w = 0; w < writers; ++w) EXPECT_EQ(next[w], each) << "writer " << w;
}

std::string Payload(const std::string& tag, int w, int i) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s%02d %06d ", tag.c_str(), w, i);
  std::string s = buf;
  return s + Text(40 - s.size(), '.');
}

TEST_F(Threads, ConcurrentWritersKeepRecordsWhole) {
  Spec g(dir_ + "/g", 1 << 20, 4);
  Spec a(dir_ + "/i", 1 << 20, 4);
  ASSERT_EQ(ZELKWSYM_Initialize(g.get(), "global"), 0);
  VESKTraceObject* obj = nullptr;
  ASSERT_EQ(ZELKWSYM_CreateInstance(&obj, a.get(), "inst"), 0);
  constexpr int kWriters = 4, kEach = 1500;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&, w] {
      for (int i = 0; i < kEach; ++i) {
        if (ZELKWSYM_PutWithId(0, "G", Payload("G", w, i).c_str()) != 0) ++failures;
        if (ZELKWSYM_PutInstanceWithId(obj, 0, "I", Payload("I", w, i).c_str()) != 0) ++failures;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  ExpectIntactRing(g, 4, "G", kWriters, kEach);
  ExpectIntactRing(a, 4, "I", kWriters, kEach);
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);
}

TEST_F(Threads, SwitchingUnderConcurrentWriters) {
  Spec a(dir_ + "/sw", 4096, 16);
  VESKTraceObject* obj = nullptr;
  ASSERT_EQ(ZELKWSYM_CreateInstance(&obj, a.get(), "sw"), 0);
  std::vector<std::thread> threads;
  for (int w = 0; w < 3; ++w) {
    threads.emplace_back([&, w] {
      for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(ZELKWSYM_PutInstanceWithId(obj, 0, "S", Payload("S", w, i).c_str()), 0);
      }
    });
  }
  for (auto& t : threads) t.join();
  // 300 records of 132 bytes fill about ten 4 KiB files: nothing was reused.
  ExpectIntactRing(a, 16, "S", 3, 100);
  for (int f = 1; f <= 16; ++f) {
    if (!Exists(a.File(f))) continue;
    EXPECT_EQ(HeaderBlocks(a.File(f)), 1) << "file " << f;
  }
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);
}

void* PutForever(void* arg) {
  auto* obj = static_cast<VESKTraceObject*>(arg);
  for (;;) {
    ZELKWSYM_PutInstanceWithId(obj, 0, "C", "until cancelled");
    pthread_testcancel();
  }
  return nullptr;
}

TEST_F(Threads, CancelledWriterReleasesTheLock) {
  Spec s(dir_ + "/cancel", 1 << 20, 2);
  VESKTraceObject* obj = nullptr;
  ASSERT_EQ(ZELKWSYM_CreateInstance(&obj, s.get(), "cancel"), 0);
  pthread_t t;
  ASSERT_EQ(pthread_create(&t, nullptr, PutForever, obj), 0);
  usleep(20000);
  ASSERT_EQ(pthread_cancel(t), 0);
  void* result = nullptr;
  ASSERT_EQ(pthread_join(t, &result), 0);
  EXPECT_EQ(result, PTHREAD_CANCELED);
  // The cancellation is held off while the thread is inside the library
  // (mostly in write(2), holding the lock) and acts at its next own
  // cancellation point: no lock left behind (a hang here), no abort.
  EXPECT_EQ(ZELKWSYM_PutInstanceWithId(obj, 0, "C", "after the cancel"), 0);
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);
  for (int f = 1; f <= 2; ++f) {
    if (!Exists(s.File(f))) continue;
    std::string c = ReadFile(s.File(f));
    EXPECT_EQ(c.substr(c.size() - 2), "\r\n");
  }
}

// A cancellation already pending when the puts begin: puts that switch
// files reach open(2), close(2) and syslog(3), which are cancellation points.
// None may act inside the library; every put completes and the thread ends
// at its own next cancellation point.
struct PendingCancel {
  VESKTraceObject* obj = nullptr;
  std::atomic<bool> disabled{false};
  std::atomic<bool> cancelled{false};
  std::atomic<int> done{0};
  int puts = 0;
};

// Returns normally and is kept out of line: the frame that the
// cancellation unwinds must hold no locals of its own (ASan would report
// their poisoned stack when the thread ends).
[[gnu::noinline]] void PutAll(PendingCancel* p) {
  for (int i = 0; i < p->puts; ++i) {
    if (ZELKWSYM_PutInstanceWithId(p->obj, 0, "P", Payload("P", 0, i).c_str()) != 0) break;
    ++p->done;
  }
}

void* PutWithCancelPending(void* arg) {
  auto* p = static_cast<PendingCancel*>(arg);
  pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
  p->disabled = true;
  while (!p->cancelled) sched_yield();
  pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, nullptr);
  PutAll(p);
  pthread_testcancel();
  return nullptr;
}

void RunWithCancelPending(VESKTraceObject* obj, int puts) {
  PendingCancel p;
  p.obj = obj;
  p.puts = puts;
  pthread_t t;
  ASSERT_EQ(pthread_create(&t, nullptr, PutWithCancelPending, &p), 0);
  while (!p.disabled) sched_yield();
  ASSERT_EQ(pthread_cancel(t), 0);
  p.cancelled = true;
  void* result = nullptr;
  ASSERT_EQ(pthread_join(t, &result), 0);
  EXPECT_EQ(result, PTHREAD_CANCELED);
  EXPECT_EQ(p.done.load(), puts);
}

TEST_F(Threads, PendingCancellationWaitsForTheEndOfEachPut) {
  Spec single(dir_ + "/pend", 4096, 16);
  VESKTraceObject* obj = nullptr;
  ASSERT_EQ(ZELKWSYM_CreateInstance(&obj, single.get(), "pend"), 0);
  RunWithCancelPending(obj, 200);  // about seven switches
  ExpectIntactRing(single, 16, "P", 1, 200);
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);

  Spec shared(dir_ + "/pendm", 8192, 8);
  ASSERT_EQ(ZELKWSYM_CreateInstanceM(&obj, shared.get(), "pendm", 0), 0);
  RunWithCancelPending(obj, 200);
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);
}

TEST_F(Threads, EachThreadHasItsOwnErrorWord) {
  std::mutex m;
  std::condition_variable cv;
  int step = 0;
  auto waitFor = [&](int s) {
    std::unique_lock<std::mutex> l(m);
    cv.wait(l, [&] { return step >= s; });
  };
  auto advance = [&] {
    std::lock_guard<std::mutex> l(m);
    ++step;
    cv.notify_all();
  };
  uint32_t seenByA = 0, seenByB = 0, detailB = 99;
  ZELKWSYM_GetLogLevel();  // clears the main thread's word
  std::thread a([&] {
    ZELKWSYM_SetFileThreshold(2000);  // 0x04000001 in A's word
    advance();
    waitFor(2);
    seenByA = ZELKWSYM_GetLastError(nullptr);
  });
  std::thread b([&] {
    waitFor(1);
    ZELKWSYM_SetLogLevel(1001);  // 0x02000001 in B's word only
    seenByB = ZELKWSYM_GetLastError(&detailB);
    advance();
  });
  a.join();
  b.join();
  EXPECT_EQ(seenByA, 0x04000001u) << "thread A's error word was touched by thread B";
  EXPECT_EQ(seenByB, 0x02000001u);
  EXPECT_EQ(detailB, 0u);
  EXPECT_EQ(ZELKWSYM_GetLastError(nullptr), 0u) << "the main thread saw neither error";
}

}  // namespace
}  // namespace tracetest
