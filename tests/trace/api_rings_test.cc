// Single-process rings under real paths: file choice at open, header
// blocks, switching and truncation, the lock against a second writer, and
// file permissions.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include "test_util.h"

namespace tracetest {
namespace {

constexpr size_t kRecord = 200;
const std::string kText = Text(kRecord - 92, 'r');  // a 200-byte record

class Rings : public TraceTest {
 protected:
  void SetUp() override { dir_ = NewDir("rings"); }
  void TearDown() override {
    TraceTest::TearDown();
    setenv("LANG", "C", 1);
  }
  std::string dir_;
};

TEST_F(Rings, FirstStartWritesOneHeaderBlock) {
  unsetenv("TZ");
  unsetenv("LANG");
  Spec s(dir_ + "/sub/dir/first", 4096, 3);
  ASSERT_EQ(ZELKWSYM_Initialize(s.get(), "first"), 0) << Hex(Last().code);
  EXPECT_FALSE(Exists(s.File(2)));
  auto lines = Lines(ReadFile(s.File(1)));
  ASSERT_EQ(lines.size(), 2u);
  const std::string& sys = lines[0];
  EXPECT_EQ(sys.size() + 2, 141u) << "system line: " << sys;
  EXPECT_EQ(sys.substr(0, 5), "**** ");
  EXPECT_EQ(sys[65], ' ') << "OS text is cut to 60 and padded to 61";
  EXPECT_EQ(sys.substr(83, 33), "TZ=Unknown" + std::string(22, ' ') + " ");
  EXPECT_EQ(sys[120], '/') << sys.substr(116);
  EXPECT_EQ(lines[1], "     yyyy/mm/dd hh:mm:ss.sss" + std::string(22, ' ') + "pid" +
                          std::string(6, ' ') + "tid" + std::string(6, ' ') + "message-id" +
                          std::string(12, ' ') + "message(LANG=Unknown)");
  EXPECT_EQ(FileMode(s.File(1)), 0666) << "new files are not narrowed by the umask";
  EXPECT_EQ(FileMode(dir_ + "/sub/dir"), 0777);
}

TEST_F(Rings, TimeZoneAndLanguageTexts) {
  setenv("TZ", "Europe/Somewhere-With-A-Very-Long-Name", 1);
  setenv("LANG", "xx_YY.UTF-8", 1);
  Spec s(dir_ + "/tz", 4096, 1);
  ASSERT_EQ(ZELKWSYM_Initialize(s.get(), "tz"), 0);
  auto lines = Lines(ReadFile(s.File(1)));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(83, 32), "TZ=Europe/Somewhere-With-A-Very-");
  EXPECT_EQ(lines[1].substr(90), "message(LANG=xx_YY.UTF-8)");
  unsetenv("TZ");
}

TEST_F(Rings, RestartAppendsBelowTheLimitElseStartsTheNextFileEmpty) {
  Spec s(dir_ + "/re", 4096, 3);
  ASSERT_EQ(ZELKWSYM_Initialize(s.get(), "re"), 0);
  ASSERT_EQ(ZELKWSYM_PutWithId(0, "A", "one"), 0);
  ASSERT_EQ(ZELKWSYM_Finalize(), 0);
  // An older file 2 left from an earlier round of the ring.
  WriteFile(s.File(2), "stale content of an old ring\r\n");
  struct utimbuf old = {1000000000, 1000000000};
  ASSERT_EQ(utime(s.File(2).c_str(), &old), 0);
  ASSERT_EQ(ZELKWSYM_Initialize(s.get(), "re"), 0);
  ASSERT_EQ(ZELKWSYM_PutWithId(0, "A", "two"), 0);
  EXPECT_EQ(HeaderBlocks(s.File(1)), 2) << "a restart appends a header block";
  EXPECT_EQ(Records(s.File(1)).size(), 2u);
  // Fill file 1 past its limit, then restart: file 2 is emptied and used.
  while (FileSize(s.File(1)) < 4096) ASSERT_EQ(ZELKWSYM_PutWithId(0, "A", kText.c_str()), 0);
  ASSERT_EQ(ZELKWSYM_Finalize(), 0);
  ASSERT_EQ(ZELKWSYM_Initialize(s.get(), "re"), 0);
  EXPECT_EQ(HeaderBlocks(s.File(2)), 1);
  EXPECT_EQ(ReadFile(s.File(2)).find("stale"), std::string::npos) << "file 2 was truncated";
  EXPECT_TRUE(Records(s.File(2)).empty());
}

TEST_F(Rings, FilesAreUsedInTurnAndEmptiedOnReuse) {
  Spec s(dir_ + "/turn", 4096, 3);
  VESKTraceObject* obj = nullptr;
  ASSERT_EQ(ZELKWSYM_CreateInstance(&obj, s.get(), "turn"), 0);
  std::vector<int> order;
  long sizes[4] = {0, 0, 0, 0};
  for (int i = 0; i < 80; ++i) {
    long before[4];
    for (int f = 1; f <= 3; ++f) before[f] = FileSize(s.File(f));
    ASSERT_EQ(ZELKWSYM_PutInstanceWithId(obj, 0, "SEQ", kText.c_str()), 0) << Hex(Last().code);
    int grown = 0;
    for (int f = 1; f <= 3; ++f) {
      long now = FileSize(s.File(f));
      if (now != before[f]) grown = f;
      sizes[f] = now;
    }
    ASSERT_NE(grown, 0) << "record " << i << " reached no file";
    if (order.empty() || order.back() != grown) {
      if (!order.empty()) {
        long finished = before[order.back()];
        EXPECT_GE(finished, 4097) << "file " << order.back() << " was left too early";
        EXPECT_LE(finished, 4296) << "file " << order.back() << " ran past one record over";
        EXPECT_EQ(HeaderBlocks(s.File(grown)), 1) << "a reused file starts empty";
        EXPECT_EQ(Records(s.File(grown)).size(), 1u);
      }
      order.push_back(grown);
    }
  }
  ASSERT_GE(order.size(), 4u);
  for (size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(order[i], static_cast<int>(i % 3) + 1) << "position " << i << " of the file order";
  }
  (void)sizes;
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);
}

TEST_F(Rings, SecondWriterOfTheSameRingIsRefused) {
  Spec s(dir_ + "/lock", 4096, 2);
  VESKTraceObject* first = nullptr;
  ASSERT_EQ(ZELKWSYM_CreateInstance(&first, s.get(), "first"), 0);
  VESKTraceObject* second = nullptr;
  EXPECT_EQ(ZELKWSYM_CreateInstance(&second, s.get(), "second"), -1);
  EXPECT_ERROR(0x13000016);
  EXPECT_EQ(second, nullptr);
  // The refused attempt must not have dropped the first object's lock:
  // another process is still kept out.
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // Drop the inherited copy of the instance first: only the parent's lock
    // may keep this process out.
    ZELKWSYM_DeleteInstance(first);
    int r = ZELKWSYM_Initialize(s.get(), "child");
    uint32_t code = ZELKWSYM_GetLastError(nullptr);
    _exit(r == -1 && code == 0x06000016 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "a second process opening the held ring must fail with 0x06000016";
  EXPECT_EQ(ZELKWSYM_PutInstanceWithId(first, 0, "A", "still writing"), 0);
  EXPECT_EQ(ZELKWSYM_DeleteInstance(first), 0);
  EXPECT_EQ(ZELKWSYM_CreateInstance(&second, s.get(), "second"), 0) << "free again";
  EXPECT_EQ(ZELKWSYM_DeleteInstance(second), 0);
  EXPECT_EQ(Records(s.File(1)).size(), 1u);
}

TEST_F(Rings, RefusedWriterDoesNotEmptyTheHeldFile) {
  // One file past its limit: a newcomer would start that same file again,
  // emptying it, if it truncated before it had the lock.
  Spec s(dir_ + "/held", 4096, 1);
  VESKTraceObject* first = nullptr;
  ASSERT_EQ(ZELKWSYM_CreateInstance(&first, s.get(), "first"), 0);
  while (FileSize(s.File(1)) <= 4096) {
    ASSERT_EQ(ZELKWSYM_PutInstanceWithId(first, 0, "A", kText.c_str()), 0);
  }
  const long size = FileSize(s.File(1));
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ZELKWSYM_DeleteInstance(first);  // the inherited copy
    VESKTraceObject* second = nullptr;
    int r = ZELKWSYM_CreateInstance(&second, s.get(), "second");
    _exit(r == -1 && ZELKWSYM_GetLastError(nullptr) == 0x13000016 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "expected 0x13000016";
  EXPECT_EQ(FileSize(s.File(1)), size) << "the refused writer emptied the held file";
  EXPECT_EQ(ZELKWSYM_DeleteInstance(first), 0);
}

TEST_F(Rings, GlobalPermissionsOnExistingAndLaterFiles) {
  Spec s(dir_ + "/perm", 4096, 3);
  ASSERT_EQ(ZELKWSYM_Initialize(s.get(), "perm"), 0);
  while (!Exists(s.File(2))) ASSERT_EQ(ZELKWSYM_PutWithId(0, "A", kText.c_str()), 0);
  EXPECT_EQ(ZELKWSYM_ChFileAttr(0644), 0);
  EXPECT_EQ(FileMode(s.File(1)), 0644);
  EXPECT_EQ(FileMode(s.File(2)), 0644);
  while (!Exists(s.File(3))) ASSERT_EQ(ZELKWSYM_PutWithId(0, "A", kText.c_str()), 0);
  EXPECT_EQ(FileMode(s.File(3)), 0644) << "files created later get the mode too";
  EXPECT_EQ(ZELKWSYM_ChFileAttr(0), 0);
  EXPECT_EQ(FileMode(s.File(1)), 0600) << "owner read and write are always added";
  EXPECT_EQ(ZELKWSYM_ChFileAttr(010000), -1);
  EXPECT_ERROR(0x25000001);
  EXPECT_EQ(FileMode(s.File(1)), 0600);
}

TEST_F(Rings, InstancePermissions) {
  Spec s(dir_ + "/iperm", 4096, 2);
  VESKTraceObject* obj = nullptr;
  ASSERT_EQ(ZELKWSYM_CreateInstance(&obj, s.get(), "iperm"), 0);
  EXPECT_EQ(ZELKWSYM_ChInstanceFileAttr(obj, 0640), 0);
  EXPECT_EQ(FileMode(s.File(1)), 0640);
  while (!Exists(s.File(2))) ASSERT_EQ(ZELKWSYM_PutInstanceLine(obj, 0, kText.c_str()), 0);
  EXPECT_EQ(FileMode(s.File(2)), 0640);
  EXPECT_EQ(ZELKWSYM_ChInstanceFileAttr(obj, 4096), -1);
  EXPECT_ERROR(0x26000001);
  EXPECT_EQ(ZELKWSYM_InstanceFileBufferFlush(obj), 0);
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);
  alignas(16) unsigned char fake[256] = {'D', 'E', 'A', 'D'};
  auto* dead = reinterpret_cast<VESKTraceObject*>(fake);
  EXPECT_EQ(ZELKWSYM_ChInstanceFileAttr(dead, 0640), -1);
  EXPECT_ERROR(0x2600000B);
  EXPECT_EQ(ZELKWSYM_DeleteInstance(dead), -1);
  EXPECT_ERROR(0x1400000B);
  EXPECT_EQ(ZELKWSYM_InstanceFileBufferFlush(dead), -1);
  EXPECT_ERROR(0x1800000B);
}

TEST_F(Rings, InstancesAndGlobalRingLiveSideBySide) {
  Spec g(dir_ + "/g", 4096, 1);
  Spec a(dir_ + "/a", 4096, 1);
  ASSERT_EQ(ZELKWSYM_Initialize(g.get(), "global"), 0);
  VESKTraceObject* obj = nullptr;
  ASSERT_EQ(ZELKWSYM_CreateInstance(&obj, a.get(), "inst"), 0);
  ASSERT_EQ(ZELKWSYM_Finalize(), 0);
  EXPECT_EQ(ZELKWSYM_PutInstanceWithId(obj, 0, "A", "after finalize"), 0)
      << "instances do not depend on the global ring";
  EXPECT_EQ(ZELKWSYM_PutWithId(0, "A", "global gone"), -1);
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);
  EXPECT_EQ(Records(a.File(1)).size(), 1u);
  EXPECT_TRUE(Records(g.File(1)).empty());
}

}  // namespace
}  // namespace tracetest

namespace tracetest {
namespace {

// A finished file's descriptor is kept for the lap that reuses it; whatever
// happened to the file at its path meanwhile, the ring writes to the path.
TEST_F(Rings, FinishedFilesAreUnlockedAndReusedByTheirPath) {
  Spec s(dir_ + "/kept", 4096, 2);
  VESKTraceObject* obj = nullptr;
  ASSERT_EQ(ZELKWSYM_CreateInstance(&obj, s.get(), "kept"), 0);
  // Puts records until the ring has just started `file`: its header block
  // and one record, nothing else.
  auto putUntilGrows = [&](int file) {
    for (int i = 0; i < 60; ++i) {
      ASSERT_EQ(ZELKWSYM_PutInstanceWithId(obj, 0, "SEQ", kText.c_str()), 0) << Hex(Last().code);
      const std::string content = ReadFile(s.File(file));
      if (HeaderBlocks(s.File(file)) == 1 && Records(s.File(file)).size() == 1u &&
          content.find("old content") == std::string::npos) {
        return;
      }
    }
    FAIL() << "the ring never started file " << file << " afresh";
  };
  putUntilGrows(2);
  // File 1 is finished: no longer locked, so another process may test it.
  int fd = open(s.File(1).c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  pid_t pid = fork();
  if (pid == 0) _exit(lockf(fd, F_TEST, 0) == 0 ? 0 : 1);
  int status = -1;
  waitpid(pid, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the finished file is still locked";
  close(fd);

  // An operator removes file 1; the next lap creates it again at its path.
  ASSERT_EQ(unlink(s.File(1).c_str()), 0);
  putUntilGrows(1);
  EXPECT_EQ(HeaderBlocks(s.File(1)), 1);
  EXPECT_EQ(Records(s.File(1)).size(), 1u) << "records went into the removed file";

  // File 2 is replaced by another file; the lap writes into the new one.
  WriteFile(s.File(2) + ".new", "old content\n");
  ASSERT_EQ(rename((s.File(2) + ".new").c_str(), s.File(2).c_str()), 0);
  putUntilGrows(2);
  EXPECT_EQ(Records(s.File(2)).size(), 1u);
  EXPECT_EQ(ReadFile(s.File(2)).find("old content"), std::string::npos) << "not emptied";
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);
}

}  // namespace
}  // namespace tracetest
