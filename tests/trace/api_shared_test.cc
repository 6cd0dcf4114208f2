// Shared rings: file preparation, the management record, switching and
// oversized records, joining writers, lock failures, a replaced or damaged
// management file.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "harness/foreign_lock.h"
#include "test_util.h"
#include "vesk2_trace_format.h"

namespace tracetest {
namespace {

const std::string kEod = std::string(1, '\x1A') + VESK2_EOD_MARK;

VESK_MANAGEMENT_DATA Mng(const std::string& path) {
  VESK_MANAGEMENT_DATA r;
  std::memset(&r, 0, sizeof r);
  std::string bytes = ReadFile(path);
  if (bytes.size() >= sizeof r) std::memcpy(&r, bytes.data(), sizeof r);
  return r;
}

// The data of a shared trace file: everything before its end byte.
std::string Data(const std::string& file) {
  std::string c = ReadFile(file);
  for (size_t i = 0; i < c.size(); ++i) {
    if (c[i] == '\x1A' && (i == 0 || (i >= 2 && c[i - 2] == '\r' && c[i - 1] == '\n'))) {
      return c.substr(0, i);
    }
  }
  return c;
}

std::vector<std::string> DataRecords(const std::string& file) {
  std::vector<std::string> out;
  for (auto& l : Lines(Data(file))) {
    if (l.rfind("**** ", 0) == 0 || l.rfind("     yyyy", 0) == 0) continue;
    out.push_back(l);
  }
  return out;
}

class Shared : public TraceTest {
 protected:
  void SetUp() override { dir_ = NewDir("shared"); }
  std::string dir_;
};

TEST_F(Shared, FirstOpenPreparesTheRing) {
  Spec s(dir_ + "/t/a", 4096, 3);
  ASSERT_EQ(ZELKWSYM_InitializeM(s.get(), "sharedapp", 0), 0) << Hex(Last().code);
  const std::string mng = dir_ + "/t/mmap/a.mm";
  ASSERT_EQ(FileSize(mng), 64);
  for (int f = 1; f <= 3; ++f) EXPECT_EQ(FileSize(s.File(f)), 4096) << "file " << f;
  for (int f = 2; f <= 3; ++f) {
    std::string c = ReadFile(s.File(f));
    EXPECT_EQ(c.substr(0, 48), kEod) << "file " << f << " starts with the end mark";
    EXPECT_EQ(c.find_first_not_of(' ', 48), std::string::npos) << "then spaces only";
  }
  auto rec = Mng(mng);
  EXPECT_EQ(std::string(rec.szId, 4), "VESK");
  EXPECT_EQ(rec.ulByteOrder, VESK2_MNG_BYTE_ORDER);
  EXPECT_EQ(rec.ulFileSize, 4096u);
  EXPECT_EQ(rec.lFileNum, 3);
  EXPECT_EQ(rec.lCurFile, 1);
  EXPECT_EQ(rec.ulMode, 0xFFFFFFC0u);
  EXPECT_EQ(rec.ulLockType, 1u);
  EXPECT_EQ(ReadFile(mng).substr(32), std::string(32, '\0'));
  std::string data = Data(s.File(1));
  EXPECT_EQ(rec.ulOffset, data.size()) << "the end byte stands right after the header";
  auto lines = Lines(data);
  ASSERT_EQ(lines.size(), 3u);
  char proc[64];
  std::snprintf(proc, sizeof proc, "**** %-16s %s %010d %04d %08X", "sharedapp",
                ProcessId().c_str(), 4096, 3, 0);
  EXPECT_EQ(lines[0], proc);
  EXPECT_EQ(lines[0].size() + 2, 57u);
  EXPECT_EQ(lines[1].size() + 2, 141u);
  EXPECT_EQ(lines[2].substr(0, 28), "     yyyy/mm/dd hh:mm:ss.sss");
  EXPECT_EQ(ReadFile(s.File(1)).substr(data.size(), 48), kEod);
}

TEST_F(Shared, RecordsAppendAndMoveOnToTheNextFile) {
  Spec s(dir_ + "/r", 4096, 2);
  ASSERT_EQ(ZELKWSYM_InitializeM(s.get(), "r", 0), 0);
  const std::string mng = dir_ + "/mmap/r.mm";
  const std::string text = Text(108, 'q');  // 200-byte records
  int n = 0;
  while (Mng(mng).lCurFile == 1) {
    ASSERT_EQ(ZELKWSYM_PutWithId(0, "ID", (std::to_string(n++) + text).c_str()), 0)
        << Hex(Last().code);
    ASSERT_LT(n, 100);
  }
  auto first = DataRecords(s.File(1));
  auto second = DataRecords(s.File(2));
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(first.size() + 1, static_cast<size_t>(n));
  EXPECT_EQ(second[0].substr(90, std::to_string(n - 1).size()), std::to_string(n - 1));
  EXPECT_LE(Data(s.File(1)).size() + 48, 4096u) << "file 1 kept room for its end mark";
  auto lines = Lines(Data(s.File(2)));
  ASSERT_EQ(lines.size(), 3u) << "a switch writes system and column line, then the record";
  EXPECT_EQ(lines[0].size() + 2, 141u);
  EXPECT_EQ(Mng(mng).ulOffset, Data(s.File(2)).size());
  // Back to file 1: its old content after the new end mark stays.
  while (Mng(mng).lCurFile == 2) ASSERT_EQ(ZELKWSYM_PutWithId(0, "ID", text.c_str()), 0);
  EXPECT_EQ(FileSize(s.File(1)), 4096);
  EXPECT_EQ(DataRecords(s.File(1)).size(), 1u);
}

TEST_F(Shared, OversizedRecordGetsAnExtendedFile) {
  Spec s(dir_ + "/big", 4096, 2);
  ASSERT_EQ(ZELKWSYM_InitializeM(s.get(), "big", 0), 0);
  std::string text = Text(4095, 'B');
  ASSERT_EQ(ZELKWSYM_PutWithId(0, "ID", text.c_str()), 0) << Hex(Last().code);
  auto recs = DataRecords(s.File(2));
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].substr(90), text);
  EXPECT_GE(FileSize(s.File(2)), static_cast<long>(Data(s.File(2)).size() + 48));
  EXPECT_EQ(ZELKWSYM_PutWithId(0, "ID", "after"), 0);
  EXPECT_EQ(DataRecords(s.File(1)).back().substr(90), "after");
}

// Runs fn in a child process; true when it exited with 0.
template <typename Fn>
bool InChild(Fn fn) {
  pid_t pid = fork();
  if (pid == 0) _exit(fn() ? 0 : 1);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(Shared, ProcessesShareOneRing) {
  Spec s(dir_ + "/j", 4096, 3);
  ASSERT_EQ(ZELKWSYM_InitializeM(s.get(), "parent", 0), 0);
  ASSERT_EQ(ZELKWSYM_PutWithId(0, "ID", "from parent 1"), 0);
  EXPECT_TRUE(InChild([&] {
    ZELKWSYM_Finalize();  // the inherited global ring belongs to the parent
    Spec own(dir_ + "/j", 8192, 5);
    VESKTraceObject* obj = nullptr;
    if (ZELKWSYM_CreateInstanceM(&obj, own.get(), "child", 0) != 0) return false;
    bool ok = ZELKWSYM_PutInstanceWithId(obj, 0, "ID", "from child") == 0;
    return ZELKWSYM_DeleteInstance(obj) == 0 && ok;
  }));
  ASSERT_EQ(ZELKWSYM_PutWithId(0, "ID", "from parent 2"), 0);
  auto lines = Lines(Data(s.File(1)));
  std::vector<std::string> texts;
  int procLines = 0;
  for (auto& l : lines) {
    if (l.rfind("**** ", 0) == 0 && l.size() + 2 == 57) ++procLines;
    if (l.size() > 90 && l.substr(68, 2) == "ID") texts.push_back(l.substr(90));
  }
  EXPECT_EQ(procLines, 2) << "the joining process appends its own process line";
  EXPECT_EQ(texts, (std::vector<std::string>{"from parent 1", "from child", "from parent 2"}));
  auto rec = Mng(dir_ + "/mmap/j.mm");
  EXPECT_EQ(rec.ulFileSize, 4096u) << "without bit 0x01 the recorded size stays";
  EXPECT_EQ(rec.lFileNum, 3);
}

TEST_F(Shared, KeepLargerEnlargesAndModesIntersect) {
  Spec s(dir_ + "/k", 4096, 2);
  VESKTraceObject* a = nullptr;
  ASSERT_EQ(ZELKWSYM_CreateInstanceM(&a, s.get(), "a", 0x01 | 0x04 | 0x08), 0);
  EXPECT_TRUE(InChild([&] {
    Spec own(dir_ + "/k", 8192, 3);
    VESKTraceObject* b = nullptr;
    if (ZELKWSYM_CreateInstanceM(&b, own.get(), "b", 0x01 | 0x08) != 0) return false;
    return ZELKWSYM_DeleteInstance(b) == 0;
  }));
  auto rec = Mng(dir_ + "/mmap/k.mm");
  EXPECT_EQ(rec.ulFileSize, 8192u);
  EXPECT_EQ(rec.lFileNum, 3);
  EXPECT_EQ(rec.ulMode, 0xFFFFFFC0u | 0x01 | 0x08) << "0x04 was dropped by the second writer";
  EXPECT_EQ(ZELKWSYM_DeleteInstance(a), 0);
}

TEST_F(Shared, RebuildFromTraceFilesGivesWarning) {
  Spec s(dir_ + "/w", 4096, 2);
  ASSERT_EQ(ZELKWSYM_InitializeM(s.get(), "w", 0), 0);
  ASSERT_EQ(ZELKWSYM_PutWithId(0, "ID", "before"), 0);
  ASSERT_EQ(ZELKWSYM_Finalize(), 0);
  unlink((dir_ + "/mmap/w.mm").c_str());
  EXPECT_EQ(ZELKWSYM_InitializeM(s.get(), "w", 0), 3);
  EXPECT_ERROR(0x2700001D);
  ASSERT_EQ(ZELKWSYM_PutWithId(0, "ID", "after"), 0);
  auto recs = DataRecords(s.File(1));
  ASSERT_EQ(recs.size(), 2u) << "writing continued behind the old data";
  EXPECT_EQ(recs[0].substr(90), "before");
  EXPECT_EQ(recs[1].substr(90), "after");
}

TEST_F(Shared, ShortManagementFileIsExtendedAndRebuilt) {
  Spec s(dir_ + "/m", 4096, 2);
  ASSERT_EQ(ZELKWSYM_InitializeM(s.get(), "m", 0), 0);
  ASSERT_EQ(ZELKWSYM_PutWithId(0, "ID", "one"), 0);
  ASSERT_EQ(ZELKWSYM_Finalize(), 0);
  const std::string mng = dir_ + "/mmap/m.mm";
  WriteFile(mng, Text(20, 'z'));
  EXPECT_EQ(ZELKWSYM_InitializeM(s.get(), "m", 0), 0);
  EXPECT_EQ(FileSize(mng), 64);
  auto rec = Mng(mng);
  EXPECT_EQ(std::string(rec.szId, 4), "VESK");
  EXPECT_EQ(rec.lCurFile, 1);
  ASSERT_EQ(ZELKWSYM_PutWithId(0, "ID", "two"), 0);
  auto recs = DataRecords(s.File(1));
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[1].substr(90), "two");
  EXPECT_EQ(ReadFile(mng).substr(20, 12).find('z'), std::string::npos);
}

TEST_F(Shared, ReplacedManagementFileStopsTheWriter) {
  Spec s(dir_ + "/x", 4096, 2);
  ASSERT_EQ(ZELKWSYM_InitializeM(s.get(), "x", 0), 0);
  unlink((dir_ + "/mmap/x.mm").c_str());
  EXPECT_EQ(ZELKWSYM_PutWithId(0, "ID", "lost?"), -1);
  EXPECT_ERROR(0x0900001D);
  WriteFile(dir_ + "/mmap/x.mm", std::string(64, '\0'));
  EXPECT_EQ(ZELKWSYM_PutWithId(0, "ID", "again"), -1);
  EXPECT_ERROR(0x0900001D);
}

TEST_F(Shared, LockHeldElsewhereGivesCode22) {
  Spec s(dir_ + "/l", 4096, 2);
  ASSERT_EQ(ZELKWSYM_InitializeM(s.get(), "l", 0), 0);
  tw::test::ForeignLock lock(dir_ + "/mmap/l.mm");
  ASSERT_TRUE(lock.locked());
  EXPECT_EQ(ZELKWSYM_SetLockRetryTimes(1), 20);
  EXPECT_EQ(ZELKWSYM_PutWithId(0, "ID", "blocked"), -1);
  EXPECT_ERROR(0x09000016);
  EXPECT_EQ(ZELKWSYM_SetLockRetryTimes(3), 1);
  EXPECT_EQ(ZELKWSYM_GetLockRetryTimes(), 3);
  EXPECT_EQ(ZELKWSYM_PutWithId(0, "ID", "blocked again"), -1);
  EXPECT_ERROR(0x09000016);
  lock.Release();
  EXPECT_EQ(ZELKWSYM_PutWithId(0, "ID", "free"), 0);
  auto recs = DataRecords(s.File(1));
  ASSERT_EQ(recs.size(), 1u) << "refused records are not written";
  EXPECT_EQ(recs[0].substr(90), "free");
  ZELKWSYM_SetLockRetryTimes(20);
}

TEST_F(Shared, WriterWithoutLockStartsLockingWhenAnotherJoins) {
  Spec s(dir_ + "/nl", 4096, 2);
  VESKTraceObject* free = nullptr;
  ASSERT_EQ(ZELKWSYM_CreateInstanceM(&free, s.get(), "free", 0x10), 0);
  EXPECT_EQ(ZELKWSYM_SetInstanceLockRetryTimes(free, 1), 20);
  const std::string mng = dir_ + "/mmap/nl.mm";
  int ready[2], release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  pid_t pid = fork();
  if (pid == 0) {
    // Joins without bit 0x10, then holds the lock for the parent to find.
    ZELKWSYM_DeleteInstance(free);
    VESKTraceObject* locking = nullptr;
    char c = ZELKWSYM_CreateInstanceM(&locking, s.get(), "locking", 0) == 0 ? 'y' : 'n';
    int fd = open(mng.c_str(), O_RDWR);
    if (lockf(fd, F_LOCK, 0) != 0) c = 'n';
    (void)!write(ready[1], &c, 1);
    (void)!read(release[0], &c, 1);
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  EXPECT_EQ(Mng(mng).ulMode & 0x10u, 0u) << "the shared mode lost the no-lock bit";
  EXPECT_EQ(ZELKWSYM_PutInstanceWithId(free, 0, "ID", "must wait for the lock"), -1);
  EXPECT_ERROR(0x16000016);
  (void)!write(release[1], &c, 1);
  waitpid(pid, nullptr, 0);
  EXPECT_EQ(ZELKWSYM_PutInstanceWithId(free, 0, "ID", "now locked"), 0) << Hex(Last().code);
  EXPECT_EQ(ZELKWSYM_DeleteInstance(free), 0);
  for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

TEST_F(Shared, DamagedRecordIsRebuiltOnTheNextWrite) {
  Spec s(dir_ + "/dmg", 4096, 2);
  ASSERT_EQ(ZELKWSYM_InitializeM(s.get(), "dmg", 0), 0);
  ASSERT_EQ(ZELKWSYM_PutWithId(0, "ID", "first"), 0);
  const std::string mng = dir_ + "/mmap/dmg.mm";
  int fd = open(mng.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  const char zeros[32] = {0};
  ASSERT_EQ(pwrite(fd, zeros, sizeof zeros, 0), 32);  // same file, record wiped
  close(fd);
  ASSERT_EQ(ZELKWSYM_PutWithId(0, "ID", "second"), 0) << Hex(Last().code);
  auto rec = Mng(mng);
  EXPECT_EQ(std::string(rec.szId, 4), "VESK");
  auto recs = DataRecords(s.File(1));
  ASSERT_EQ(recs.size(), 2u) << "writing went on behind the data found in the files";
  EXPECT_EQ(recs[0].substr(90), "first");
  EXPECT_EQ(recs[1].substr(90), "second");
  EXPECT_EQ(rec.ulOffset, Data(s.File(1)).size());
}

TEST_F(Shared, OptionAndLockValueCalls) {
  Spec s(dir_ + "/o", 4096, 1);
  EXPECT_EQ(ZELKWSYM_InitializeM(s.get(), "o", 64), -1);
  EXPECT_ERROR(0x27000001);
  Spec big(dir_ + "/o", 16777217, 1);
  EXPECT_EQ(ZELKWSYM_InitializeM(big.get(), "o", 0), -1);
  Spec many(dir_ + "/o", 4096, 65);
  EXPECT_EQ(ZELKWSYM_InitializeM(many.get(), "o", 0), -1);
  ASSERT_EQ(ZELKWSYM_InitializeM(s.get(), "o", 63), 0) << Hex(Last().code);
  EXPECT_EQ(ZELKWSYM_SetLockWaitTime(5), 1);
  EXPECT_EQ(ZELKWSYM_GetLockWaitTime(), 5);
  ZELKWSYM_SetLockWaitTime(1);
  EXPECT_EQ(ZELKWSYM_FileBufferFlush(), 0);
  EXPECT_EQ(ZELKWSYM_ChFileAttr(0640), 0);
  EXPECT_EQ(FileMode(s.File(1)), 0640);
  EXPECT_EQ(FileMode(dir_ + "/mmap/o.mm"), 0640);
  EXPECT_EQ(FileMode(dir_ + "/mmap"), 0750);
  VESKTraceObject* obj = nullptr;
  Spec is(dir_ + "/inst", 4096, 2);
  ASSERT_EQ(ZELKWSYM_CreateInstanceM(&obj, is.get(), "inst", 0), 0);
  EXPECT_EQ(ZELKWSYM_SetInstanceLockRetryTimes(obj, 7), 20);
  EXPECT_EQ(ZELKWSYM_GetInstanceLockRetryTimes(obj), 7);
  EXPECT_EQ(ZELKWSYM_PutInstanceWithId(obj, 0, "ID", "inst"), 0);
  EXPECT_EQ(ZELKWSYM_InstanceFileBufferFlush(obj), 0);
  EXPECT_EQ(DataRecords(is.File(1)).size(), 1u);
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);
}

TEST_F(Shared, NoFillCreatesSparseFiles) {
  Spec s(dir_ + "/sp", 1 << 20, 2);
  ASSERT_EQ(ZELKWSYM_InitializeM(s.get(), "sp", 0x02), 0);
  EXPECT_EQ(FileSize(s.File(1)), 1 << 20);
  EXPECT_EQ(FileSize(s.File(2)), 48) << "other files get only their end mark";
  std::string c = ReadFile(s.File(1));
  EXPECT_EQ(c.back(), '\0') << "extended with zero bytes, not spaces";
}

TEST_F(Shared, ConcurrentProcessesInterleaveWholeRecords) {
  Spec s(dir_ + "/mp", 262144, 8);
  constexpr int kProcs = 3, kEach = 2000;
  std::vector<pid_t> pids;
  for (int p = 0; p < kProcs; ++p) {
    pid_t pid = fork();
    if (pid == 0) {
      // A writer descheduled while it holds the lock must not make the
      // others give up on a loaded machine.
      ZELKWSYM_SetInstanceLockRetryTimes(nullptr, 5000);
      VESKTraceObject* obj = nullptr;
      if (ZELKWSYM_CreateInstanceM(&obj, s.get(), "mp", 0) < 0) _exit(2);
      for (int i = 0; i < kEach; ++i) {
        std::string t = "p" + std::to_string(p) + " " + std::to_string(i);
        if (ZELKWSYM_PutInstanceWithId(obj, 0, "MP", t.c_str()) != 0) _exit(3);
      }
      _exit(ZELKWSYM_DeleteInstance(obj) == 0 ? 0 : 4);
    }
    pids.push_back(pid);
  }
  for (pid_t pid : pids) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "writer process exit status " << WEXITSTATUS(status);
  }
  // 6000 records of about 100 bytes and the header blocks fit in the ring
  // without reuse: every record once, each writer's in order.
  auto rec = Mng(dir_ + "/mmap/mp.mm");
  std::vector<int> next(kProcs, 0);
  for (int f = 1; f <= rec.lCurFile; ++f) {
    for (auto& r : DataRecords(s.File(f))) {
      ASSERT_GT(r.size(), 92u) << r;
      int p = r[91] - '0';
      ASSERT_TRUE(p >= 0 && p < kProcs) << r;
      EXPECT_EQ(r.substr(93), std::to_string(next[p]++)) << "file " << f << ": " << r;
    }
  }
  for (int p = 0; p < kProcs; ++p) EXPECT_EQ(next[p], kEach) << "writer " << p;
}

TEST_F(Shared, ThreadsWriteWholeRecords) {
  if (!kThreadSafe) GTEST_SKIP() << "single-threaded build";
  Spec s(dir_ + "/th", 1 << 20, 2);
  VESKTraceObject* obj = nullptr;
  ASSERT_EQ(ZELKWSYM_CreateInstanceM(&obj, s.get(), "th", 0), 0);
  std::vector<std::thread> threads;
  for (int w = 0; w < 4; ++w) {
    threads.emplace_back([&, w] {
      for (int i = 0; i < 500; ++i) {
        std::string t = "w" + std::to_string(w) + " " + std::to_string(i);
        EXPECT_EQ(ZELKWSYM_PutInstanceWithId(obj, 0, "T", t.c_str()), 0);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);
  std::vector<int> next(4, 0);
  for (auto& r : DataRecords(s.File(1))) {
    int w = r[91] - '0';
    ASSERT_TRUE(w >= 0 && w < 4) << r;
    EXPECT_EQ(r.substr(93), std::to_string(next[w]++)) << r;
  }
  for (int w = 0; w < 4; ++w) EXPECT_EQ(next[w], 500);
}

}  // namespace
}  // namespace tracetest
