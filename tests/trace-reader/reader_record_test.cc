// The management record: byte orders, invalid records, the writers' lock.
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "trace-reader/reader_fixture.h"

namespace tw::test {
namespace {

class RecordTest : public ReaderTest {
 protected:
  void SetUp() override {
    ReaderTest::SetUp();
    WriteTrace(2, std::string(300, 'r') + "\r\n");
  }
  // Data end of file 2 for a record in which the writer is in file 2 at 123.
  long DataEnd(RecordWords w, bool swapped = false, const char* id = "VESK") {
    w.curFile = 2;
    w.offset = 123;
    WriteRecord(w, swapped, id);
    if (inst_ == nullptr && OpenMng(2) != 0) return -1000;
    return ZELKWSYM_MpttGetCurrentOffset(inst_);
  }
};

TEST_F(RecordTest, NativeAndSwappedByteOrders) {
  EXPECT_EQ(123, DataEnd({}));
  RecordWords w;
  w.byteOrder = VESK2_MNG_BYTE_ORDER;  // stored swapped: reads as 0x00BFBBEF
  EXPECT_EQ(123, DataEnd(w, true)) << "record of a writer of the other byte order";
  // No mark: native when that is valid, else swapped.
  w.byteOrder = 0;
  EXPECT_EQ(123, DataEnd(w, false));
  EXPECT_EQ(123, DataEnd(w, true));
  EXPECT_EQ(0, ZELKWSYM_MpttGetLastError(inst_));
}

TEST_F(RecordTest, SwappedModeWordDecidesAboutTheLock) {
  RecordWords w;
  w.mode = 0xFFFFFFC0u | VESK2_MODE_NO_LOCK;
  w.lockType = 7;  // checked only when the writers lock
  EXPECT_EQ(123, DataEnd(w, true));
  LockHolder holder(MngPath());
  ASSERT_TRUE(holder.held());
  EXPECT_EQ(123, DataEnd(w, true)) << "no lock needed with mode bit 0x10";
}

TEST_F(RecordTest, InvalidRecordsGiveCode29AtThatCallOnly) {
  struct Case {
    const char* what;
    RecordWords w;
    const char* id;
  } cases[] = {
      {"mark 1", With(&RecordWords::byteOrder, 1), "VESK"},
      {"id VESX", {}, "VESX"},
      {"65 files", With(&RecordWords::fileNum, 65), "VESK"},
      {"0 files", With(&RecordWords::fileNum, 0), "VESK"},
      {"size 4095", With(&RecordWords::fileSize, 4095), "VESK"},
      {"size 16 MiB + 1", With(&RecordWords::fileSize, 16777217), "VESK"},
      {"lock type 2", With(&RecordWords::lockType, 2), "VESK"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(-1, DataEnd(c.w, false, c.id)) << c.what;
    EXPECT_EQ(29, ZELKWSYM_MpttGetLastError(inst_)) << c.what;
    ZELKWSYM_MpttClearError(inst_);
    EXPECT_EQ(123, DataEnd({})) << "a valid record after " << c.what;
  }
  // The current file must lie in 1..lFileNum.
  RecordWords w;
  WriteRecord(With(&RecordWords::curFile, 0));
  EXPECT_EQ(-1, ZELKWSYM_MpttGetCurrentOffset(inst_));
  EXPECT_EQ(29, ZELKWSYM_MpttGetLastError(inst_));
  WriteRecord(With(&RecordWords::curFile, 4));
  EXPECT_EQ(-1, ZELKWSYM_MpttGetCurrentOffset(inst_));
  EXPECT_EQ(123, DataEnd(w)) << "after a current file out of range";
  // Limits themselves are valid.
  w.fileSize = 16777216;
  w.fileNum = 64;
  EXPECT_EQ(123, DataEnd(w));
  w.fileSize = 4096;
  w.lockType = 0;
  EXPECT_EQ(123, DataEnd(w));
}

TEST_F(RecordTest, HugeWriterOffsetNeverReadsBeyondTheFile) {
  RecordWords w;
  w.curFile = 2;
  w.offset = 0xFFFFFFF0u;
  WriteRecord(w);
  ASSERT_EQ(0, OpenMng(2));
  ASSERT_EQ(0, ZELKWSYM_MpttOpen(inst_));
  const long end = ZELKWSYM_MpttGetCurrentOffset(inst_);
  if (sizeof(long) == 4) {
    // Not representable as an offset: only a damaged record says so.
    EXPECT_EQ(-1, end);
    EXPECT_EQ(29, ZELKWSYM_MpttGetLastError(inst_));
  } else {
    EXPECT_EQ(0xFFFFFFF0L, end);
  }
  std::string all;
  char buf[1024];
  long n;
  while ((n = ZELKWSYM_MpttRead(inst_, buf, sizeof buf)) > 0) all.append(buf, n);
  EXPECT_EQ(sizeof(long) == 4 ? 0u : 4096u, all.size()) << "reads must stop at the mapping's end";
}

TEST_F(RecordTest, ManagementFileStillEmptyIsInvalidNotACrash) {
  // A writer has just created the file and not yet written its 64 bytes.
  ASSERT_TRUE(WriteFile(MngPath(), ""));
  ASSERT_EQ(0, OpenMng(2));
  EXPECT_EQ(-1, ZELKWSYM_MpttGetCurrentOffset(inst_));
  EXPECT_EQ(29, ZELKWSYM_MpttGetLastError(inst_));
  WriteRecord([] {
    RecordWords r;
    r.curFile = 2;
    r.offset = 77;
    return r;
  }());
  EXPECT_EQ(77, ZELKWSYM_MpttGetCurrentOffset(inst_));
}

TEST_F(RecordTest, ShortManagementFileOf20BytesIsInvalid) {
  RecordWords w;
  w.curFile = 2;
  WriteRecord(w);
  ASSERT_EQ(0, truncate(MngPath().c_str(), 20));
  ASSERT_EQ(0, OpenMng(2));
  EXPECT_EQ(-1, ZELKWSYM_MpttGetCurrentOffset(inst_));
  EXPECT_EQ(29, ZELKWSYM_MpttGetLastError(inst_));
}

double Since(const timespec& t0) {
  timespec t1;
  clock_gettime(CLOCK_MONOTONIC, &t1);
  return (t1.tv_sec - t0.tv_sec) * 1e3 + (t1.tv_nsec - t0.tv_nsec) / 1e6;
}

TEST_F(RecordTest, LockHeldByAnotherProcessGivesCode22AfterTheConfiguredAttempts) {
  ASSERT_EQ(123, DataEnd({}));
  LockHolder holder(MngPath());
  ASSERT_TRUE(holder.held()) << "the helper process could not lock " << MngPath();

  // Defaults: 20 attempts 1 ms apart, so at least 19 ms of waiting.
  timespec t0;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  EXPECT_EQ(-1, ZELKWSYM_MpttGetCurrentOffset(inst_));
  EXPECT_EQ(22, ZELKWSYM_MpttGetLastError(inst_));
  EXPECT_GE(Since(t0), 19.0) << "gave up before 19 waits of 1 ms";

  // 4 attempts 30 ms apart: at least 90 ms.
  ZELKWSYM_MpttSetLockRetryTimes(inst_, 4);
  ZELKWSYM_MpttSetLockSleepTime(inst_, 30);
  clock_gettime(CLOCK_MONOTONIC, &t0);
  EXPECT_EQ(-1, ZELKWSYM_MpttGetCurrentOffset(inst_));
  EXPECT_EQ(22, ZELKWSYM_MpttGetLastError(inst_));
  EXPECT_GE(Since(t0), 90.0) << "gave up before 3 waits of 30 ms";

  // One attempt: no wait at all (a long sleep time would show).
  ZELKWSYM_MpttSetLockRetryTimes(inst_, 1);
  ZELKWSYM_MpttSetLockSleepTime(inst_, 5000);
  clock_gettime(CLOCK_MONOTONIC, &t0);
  EXPECT_EQ(-1, ZELKWSYM_MpttGetCurrentOffset(inst_));
  EXPECT_LT(Since(t0), 4000.0) << "a single attempt waited";

  holder.Release();
  ZELKWSYM_MpttClearError(inst_);
  EXPECT_EQ(123, ZELKWSYM_MpttGetCurrentOffset(inst_)) << "lock free again";
  EXPECT_EQ(0, ZELKWSYM_MpttGetLastError(inst_));
}

TEST_F(RecordTest, LockReleasedDuringTheAttemptsIsTaken) {
  ASSERT_EQ(123, DataEnd({}));
  LockHolder holder(MngPath());
  ASSERT_TRUE(holder.held());
  ZELKWSYM_MpttSetLockRetryTimes(inst_, 5000);
  ZELKWSYM_MpttSetLockSleepTime(inst_, 1);
  // The reader polls in a child process while this one lets the lock go.
  const pid_t child = fork();
  if (child == 0) _exit(ZELKWSYM_MpttGetCurrentOffset(inst_) == 123 ? 0 : 1);
  usleep(50 * 1000);
  holder.Release();
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the polling reader did not get the lock once it was free (status " << status << ")";
}

}  // namespace
}  // namespace tw::test
