// Backups of single-process and shared rings, and deletion of old log
// files by age and by count.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include "harness/foreign_lock.h"
#include "test_util.h"

namespace tracetest {
namespace {

class Maintenance : public TraceTest {
 protected:
  void SetUp() override { dir_ = NewDir("maint"); }
  std::string dir_;
};

void SetMtime(const std::string& path, time_t t) {
  struct utimbuf u = {t, t};
  ASSERT_EQ(utime(path.c_str(), &u), 0) << path;
}

TEST_F(Maintenance, SingleRingBackupIsOldestFirstAndKeepsTheLock) {
  Spec s(dir_ + "/b", 4096, 4);
  ASSERT_EQ(ZELKWSYM_Initialize(s.get(), "b"), 0);
  const std::string pad = Text(100, 'b');
  int seq = 0;
  // Fill files 1..4, wrap to 1 and go on into 2. Only sizes are looked at:
  // opening a file the ring writes, in this process, would drop its lock.
  std::vector<int> order;
  int recordsInCurrent = 0;
  while (!(order.size() >= 6 && recordsInCurrent == 3)) {
    long before[5];
    for (int f = 1; f <= 4; ++f) before[f] = FileSize(s.File(f));
    ASSERT_EQ(ZELKWSYM_PutWithId(0, "ID", (std::to_string(seq++) + " " + pad).c_str()), 0);
    for (int f = 1; f <= 4; ++f) {
      if (FileSize(s.File(f)) == before[f]) continue;
      if (order.empty() || order.back() != f) {
        order.push_back(f);
        recordsInCurrent = 0;
      }
      ++recordsInCurrent;
    }
    ASSERT_LT(seq, 1000);
  }
  ASSERT_EQ(order, (std::vector<int>{1, 2, 3, 4, 1, 2}));
  const std::string target = dir_ + "/backup/dir/copy.log";
  ASSERT_EQ(ZELKWSYM_TraceBackup(target.c_str()), 0) << Hex(Last().code);
  pid_t pid = fork();
  if (pid == 0) {
    // Drop the inherited copy of the ring first: only the parent's lock
    // may keep this process out.
    ZELKWSYM_Finalize();
    VESKTraceObject* other = nullptr;
    int r = ZELKWSYM_CreateInstance(&other, s.get(), "other");
    uint32_t code = ZELKWSYM_GetLastError(nullptr);
    if (r == -1 && code == 0x13000016) _exit(0);
    std::fprintf(stderr, "child: result %d, error word %s\n", r, Hex(code).c_str());
    _exit(1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "after a backup the ring must still be locked against another process (0x13000016)";
  EXPECT_EQ(ReadFile(target),
            ReadFile(s.File(3)) + ReadFile(s.File(4)) + ReadFile(s.File(1)) + ReadFile(s.File(2)))
      << "files 3, 4, 1, 2 in that order";
  int last = -1;
  for (auto& r : Records(target)) {
    int n = std::stoi(r.substr(90));
    EXPECT_GT(n, last) << "records out of order in the backup";
    last = n;
  }
  EXPECT_EQ(last, seq - 1);
  EXPECT_EQ(ZELKWSYM_TraceBackupM(target.c_str(), 8), -1);
  EXPECT_ERROR(0x31000001);
}

TEST_F(Maintenance, SharedRingBackupCopiesDataOnly) {
  Spec s(dir_ + "/sh", 4096, 2);
  VESKTraceObject* obj = nullptr;
  ASSERT_EQ(ZELKWSYM_CreateInstanceM(&obj, s.get(), "sh", 0), 0);
  for (int i = 0; i < 25; ++i) {
    ASSERT_EQ(ZELKWSYM_PutInstanceWithId(obj, 0, "ID", (std::to_string(i) + Text(100)).c_str()), 0);
  }
  for (int mode : {0, 16}) {
    const std::string target = dir_ + "/shcopy" + std::to_string(mode) + ".log";
    ASSERT_EQ(ZELKWSYM_InstanceTraceBackupM(obj, target.c_str(), mode), 0) << Hex(Last().code);
    std::string copy = ReadFile(target);
    EXPECT_EQ(copy.find('\x1A'), std::string::npos) << "end marks are not copied";
    auto recs = Records(target);
    ASSERT_EQ(recs.size(), 25u) << "mode " << mode;
    EXPECT_EQ(recs.front().substr(90, 1), "0");
    EXPECT_EQ(recs.back().substr(90, 2), "24");
  }
  EXPECT_EQ(ZELKWSYM_InstanceTraceBackup(nullptr, "/tmp/x"), -1);
  EXPECT_ERROR(0x19000001);
  EXPECT_EQ(ZELKWSYM_InstanceTraceBackupM(obj, "/tmp/x", 1), -1);
  EXPECT_ERROR(0x32000001);
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);
  EXPECT_EQ(ZELKWSYM_TraceBackup("/tmp/x"), -1) << "no global ring";
  EXPECT_EQ(Last().code & 0xFF000000u, 0x0E000000u) << Hex(Last().code);
}

TEST_F(Maintenance, ClearArgumentsAndMissingDirectory) {
  EXPECT_EQ(ZELKWSYM_LogFileClear((dir_ + "/*.log").c_str(), 3, 1), -1);
  EXPECT_ERROR(0x0C000001);
  EXPECT_EQ(ZELKWSYM_LogFileClear((dir_ + "/*.log").c_str(), 1, -1), -1);
  EXPECT_ERROR(0x0C000001);
  EXPECT_EQ(ZELKWSYM_LogFileClear(nullptr, 1, 1), -1);
  EXPECT_ERROR(0x0C000001);
  EXPECT_EQ(ZELKWSYM_LogFileClear((dir_ + "/none/*.log").c_str(), 2, 1), -1);
  EXPECT_ERROR(0x0C00000D);
  EXPECT_EQ(Last().detail, static_cast<uint32_t>(ENOENT));
}

TEST_F(Maintenance, ClearByCountKeepsTheNewest) {
  for (int i = 0; i < 5; ++i) {
    WriteFile(dir_ + "/f" + std::to_string(i) + ".log", "x");
    SetMtime(dir_ + "/f" + std::to_string(i) + ".log", 1000000000 + i * 100);
  }
  mkdir((dir_ + "/sub.log").c_str(), 0755);
  WriteFile(dir_ + "/other.txt", "x");
  SetMtime(dir_ + "/other.txt", 1);
  EXPECT_EQ(ZELKWSYM_LogFileClear((dir_ + "/*.log").c_str(), 2, 5), 0);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(Exists(dir_ + "/f" + std::to_string(i) + ".log"));
  EXPECT_EQ(ZELKWSYM_LogFileClear((dir_ + "/*.log").c_str(), 2, 3), 0);
  EXPECT_FALSE(Exists(dir_ + "/f0.log"));
  EXPECT_FALSE(Exists(dir_ + "/f1.log"));
  for (int i = 2; i < 5; ++i) EXPECT_TRUE(Exists(dir_ + "/f" + std::to_string(i) + ".log")) << i;
  EXPECT_EQ(ZELKWSYM_LogFileClear((dir_ + "/*.log").c_str(), 2, 0), 0);
  for (int i = 2; i < 5; ++i) EXPECT_FALSE(Exists(dir_ + "/f" + std::to_string(i) + ".log")) << i;
  EXPECT_TRUE(Exists(dir_ + "/sub.log")) << "directories are never deleted";
  EXPECT_TRUE(Exists(dir_ + "/other.txt")) << "not matching";
}

TEST_F(Maintenance, ClearByAgeSparesLockedAndOwnFiles) {
  const time_t old = time(nullptr) - 3600;
  for (const char* n : {"/a.log", "/b.log", "/locked.log"}) {
    WriteFile(dir_ + n, "x");
    SetMtime(dir_ + n, old);
  }
  WriteFile(dir_ + "/new.log", "x");
  // Another process holds a lock on one file.
  tw::test::ForeignLock lock(dir_ + "/locked.log");
  // This process's own ring writes ring1.log; an old time must not get it
  // deleted, nor its lock dropped.
  Spec s(dir_ + "/ring", 4096, 2);
  ASSERT_EQ(ZELKWSYM_Initialize(s.get(), "own"), 0);
  SetMtime(s.File(1), old);
  EXPECT_EQ(ZELKWSYM_LogFileClear((dir_ + "/*.log").c_str(), 1, 60), 0) << Hex(Last().code);
  EXPECT_FALSE(Exists(dir_ + "/a.log"));
  EXPECT_FALSE(Exists(dir_ + "/b.log"));
  EXPECT_TRUE(Exists(dir_ + "/new.log")) << "younger than the age";
  EXPECT_TRUE(Exists(dir_ + "/locked.log")) << "another process holds a lock on it";
  EXPECT_TRUE(Exists(s.File(1))) << "this process's ring writes it";
  lock.Release();
  EXPECT_EQ(ZELKWSYM_LogFileClear((dir_ + "/*.log").c_str(), 1, 0), 0);
  EXPECT_FALSE(Exists(dir_ + "/locked.log"));
  EXPECT_FALSE(Exists(dir_ + "/new.log")) << "age 0 takes every file not in the future";
  EXPECT_TRUE(Exists(s.File(1)));
}

}  // namespace
}  // namespace tracetest
