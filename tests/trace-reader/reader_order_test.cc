// Calling order, argument checks, lock settings and the management path.
#include <limits.h>
#include <string.h>
#include <unistd.h>

#include <functional>

#include "trace-reader/reader_fixture.h"

namespace tw::test {
namespace {

TEST(ReaderNullInstance, EveryEntryPointReportsCode1ThroughTheLibraryError) {
  ZELKWSYM_MpttClearError(nullptr);
  char buf[8];
  struct Case {
    const char* call;
    std::function<long()> run;
    long expected;
  } cases[] = {
      {"OpenManagementFile", [] { return ZELKWSYM_MpttOpenManagementFile(nullptr); }, 1},
      {"CloseManagementFile", [] { return ZELKWSYM_MpttCloseManagementFile(nullptr); }, 1},
      {"Open", [] { return ZELKWSYM_MpttOpen(nullptr); }, 1},
      {"Close", [] { return ZELKWSYM_MpttClose(nullptr); }, 1},
      {"GetCurrentOffset", [] { return ZELKWSYM_MpttGetCurrentOffset(nullptr); }, -1},
      {"Read", [&] { return ZELKWSYM_MpttRead(nullptr, buf, 8); }, 0},
      {"GetChar", [] { return static_cast<long>(ZELKWSYM_MpttGetChar(nullptr)); }, -1},
      {"GetLine", [&] { return ZELKWSYM_MpttGetLine(nullptr, buf, 8); }, 0},
      {"Seek", [] { return static_cast<long>(ZELKWSYM_MpttSeek(nullptr, 0, 0)); }, 1},
      {"Tell", [] { return ZELKWSYM_MpttTell(nullptr); }, -1},
      {"GetLockBlockTime", [] { return static_cast<long>(ZELKWSYM_MpttGetLockBlockTime(nullptr)); },
       -1},
      {"SetLockSleepTime",
       [] { return static_cast<long>(ZELKWSYM_MpttSetLockSleepTime(nullptr, 5)); }, -1},
      {"SetLockRetryTimes",
       [] { return static_cast<long>(ZELKWSYM_MpttSetLockRetryTimes(nullptr, 5)); }, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, c.run()) << c.call << " with a null instance";
    EXPECT_EQ(1, ZELKWSYM_MpttGetLastError(nullptr)) << c.call << " left no code 1";
    ZELKWSYM_MpttClearError(nullptr);
    EXPECT_EQ(0, ZELKWSYM_MpttGetLastError(nullptr)) << "ClearError(null) after " << c.call;
  }
  EXPECT_EQ(0, ZELKWSYM_MpttDeleteInstance(nullptr));
  EXPECT_EQ(nullptr, ZELKWSYM_MpttCreateInstance(nullptr));
  EXPECT_EQ(1, ZELKWSYM_MpttGetLastError(nullptr));
}

TEST_F(ReaderTest, EveryStateErrorOfTheCallingOrderGivesCode11) {
  RecordWords w;
  w.offset = 6;  // the writer is in file 1, behind "line\r\n"
  WriteRecord(w);
  WriteTrace(1, "line\r\n");
  inst_ = ZELKWSYM_MpttCreateInstance(TracePath(1).c_str());
  ASSERT_NE(nullptr, inst_);
  char buf[16];
  auto expect11 = [&](long got, long want, const char* what) {
    EXPECT_EQ(want, got) << what;
    EXPECT_EQ(11, ZELKWSYM_MpttGetLastError(inst_)) << what;
    ZELKWSYM_MpttClearError(inst_);
  };
  // Created: nothing is open.
  expect11(ZELKWSYM_MpttOpen(inst_), 11, "Open before OpenManagementFile");
  expect11(ZELKWSYM_MpttClose(inst_), 11, "Close before Open");
  expect11(ZELKWSYM_MpttCloseManagementFile(inst_), 11, "CloseManagementFile never opened");
  expect11(ZELKWSYM_MpttGetCurrentOffset(inst_), -1, "GetCurrentOffset before OpenManagementFile");
  expect11(ZELKWSYM_MpttRead(inst_, buf, 4), 0, "Read before Open");
  expect11(ZELKWSYM_MpttGetChar(inst_), -1, "GetChar before Open");
  expect11(ZELKWSYM_MpttGetLine(inst_, buf, 16), 0, "GetLine before Open");
  expect11(ZELKWSYM_MpttSeek(inst_, 0, 0), 11, "Seek before Open");
  expect11(ZELKWSYM_MpttTell(inst_), -1, "Tell before Open");

  // Management-open.
  ASSERT_EQ(0, ZELKWSYM_MpttOpenManagementFile(inst_));
  expect11(ZELKWSYM_MpttOpenManagementFile(inst_), 11, "OpenManagementFile twice");
  expect11(ZELKWSYM_MpttRead(inst_, buf, 4), 0, "Read after OpenManagementFile only");
  expect11(ZELKWSYM_MpttClose(inst_), 11, "Close while management-open");

  // Open.
  ASSERT_EQ(0, ZELKWSYM_MpttOpen(inst_));
  expect11(ZELKWSYM_MpttOpen(inst_), 11, "Open twice");
  expect11(ZELKWSYM_MpttCloseManagementFile(inst_), 11, "CloseManagementFile while open");
  EXPECT_EQ(6, ZELKWSYM_MpttGetCurrentOffset(inst_));
  EXPECT_EQ(6, ZELKWSYM_MpttRead(inst_, buf, 16));

  // Back to management-open: reopening restarts at 0 and keeps the data end.
  ASSERT_EQ(0, ZELKWSYM_MpttClose(inst_));
  ASSERT_EQ(0, ZELKWSYM_MpttOpen(inst_));
  EXPECT_EQ(0, ZELKWSYM_MpttTell(inst_));
  EXPECT_EQ(6, ZELKWSYM_MpttRead(inst_, buf, 16)) << "data end lost by Close/Open";
  ASSERT_EQ(0, ZELKWSYM_MpttClose(inst_));

  // Back to created: the data end starts again from 0 after a new
  // OpenManagementFile, and the derived path is reused.
  ASSERT_EQ(0, ZELKWSYM_MpttCloseManagementFile(inst_));
  expect11(ZELKWSYM_MpttCloseManagementFile(inst_), 11, "CloseManagementFile twice");
  expect11(ZELKWSYM_MpttOpen(inst_), 11, "Open after CloseManagementFile");
  ASSERT_EQ(0, ZELKWSYM_MpttOpenManagementFile(inst_));
  ASSERT_EQ(0, ZELKWSYM_MpttOpen(inst_));
  EXPECT_EQ(0, ZELKWSYM_MpttRead(inst_, buf, 16)) << "data end should be 0 until asked";
  EXPECT_EQ(0, ZELKWSYM_MpttGetLastError(inst_));
}

TEST_F(ReaderTest, DeleteClosesWhateverIsStillOpen) {
  WriteRecord({});
  WriteTrace(1, "x\r\n");
  OpenAll(1);
  EXPECT_EQ(0, ZELKWSYM_MpttDeleteInstance(inst_));
  inst_ = nullptr;
}

TEST_F(ReaderTest, LockSettingsKeepTheirValueWhenRejected) {
  inst_ = ZELKWSYM_MpttCreateInstance(TracePath(1).c_str());
  ASSERT_NE(nullptr, inst_);
  EXPECT_EQ(10, ZELKWSYM_MpttGetLockBlockTime(inst_));
  EXPECT_EQ(1, ZELKWSYM_MpttGetLockSleepTime(inst_));
  EXPECT_EQ(20, ZELKWSYM_MpttGetLockRetryTimes(inst_));

  EXPECT_EQ(-1, ZELKWSYM_MpttSetLockRetryTimes(inst_, 0));
  EXPECT_EQ(1, ZELKWSYM_MpttGetLastError(inst_));
  EXPECT_EQ(20, ZELKWSYM_MpttGetLockRetryTimes(inst_));
  EXPECT_EQ(20, ZELKWSYM_MpttSetLockRetryTimes(inst_, 5));
  EXPECT_EQ(5, ZELKWSYM_MpttGetLockRetryTimes(inst_));

  ZELKWSYM_MpttClearError(inst_);
  EXPECT_EQ(-1, ZELKWSYM_MpttSetLockSleepTime(inst_, -1));
  EXPECT_EQ(1, ZELKWSYM_MpttGetLastError(inst_));
  EXPECT_EQ(1, ZELKWSYM_MpttSetLockSleepTime(inst_, 0));
  EXPECT_EQ(0, ZELKWSYM_MpttGetLockSleepTime(inst_));

  EXPECT_EQ(-1, ZELKWSYM_MpttSetLockBlockTime(inst_, -3));
  EXPECT_EQ(10, ZELKWSYM_MpttSetLockBlockTime(inst_, 0));
  EXPECT_EQ(0, ZELKWSYM_MpttGetLockBlockTime(inst_));
}

TEST(ReaderVersion, BannerHasTheVersionForm) {
  const std::string v = ZELKWSYM_version_string;
  EXPECT_EQ(0u, v.rfind("$Version: ", 0)) << v;
  ASSERT_GE(v.size(), 12u);
  EXPECT_EQ(" $", v.substr(v.size() - 2)) << v;
}

// The management path: which file is opened and which number the trace file
// gets. The record says the writer is in file `writerIn` at offset 100; the
// trace file holds no data, so the data end is 100 exactly when the reader
// took its file number to be `writerIn`.
class ManagementPathTest : public ReaderTest {
 protected:
  void Ring(const std::string& mngName, uint32_t writerIn) {
    RecordWords w;
    w.fileNum = 64;
    w.curFile = writerIn;
    w.offset = 100;
    const uint32_t words[7] = {w.byteOrder, w.fileSize, w.fileNum, w.offset,
                               w.curFile,   w.mode,     w.lockType};
    ASSERT_TRUE(WriteRawRecord(dir_.path() + "/mmap/" + mngName, "VESK", words, false));
  }
  long DataEndOf(const std::string& traceName) {
    if (!WriteFile(dir_.path() + "/" + traceName, std::string(1, '\x1a'))) return -1000;
    inst_ = ZELKWSYM_MpttCreateInstance((dir_.path() + "/" + traceName).c_str());
    const int rc = ZELKWSYM_MpttOpenManagementFile(inst_);
    if (rc != 0) return -100 - rc;
    return ZELKWSYM_MpttGetCurrentOffset(inst_);
  }
};

TEST_F(ManagementPathTest, OneDigitNumber) {
  Ring("app.mm", 3);
  EXPECT_EQ(100, DataEndOf("app3.log"));
}

TEST_F(ManagementPathTest, TwoDigitNumberWhenTheOneDigitFileIsAbsent) {
  Ring("app.mm", 12);
  EXPECT_EQ(100, DataEndOf("app12.log"));
}

TEST_F(ManagementPathTest, OneDigitFormWinsWhenBothFilesExist) {
  Ring("app.mm", 12);
  Ring("app1.mm", 2);
  EXPECT_EQ(100, DataEndOf("app12.log")) << "app12.log should read app1.mm as file 2";
}

TEST_F(ManagementPathTest, TrailingZeroGoesStraightToTwoDigits) {
  Ring("app.mm", 10);
  Ring("app1.mm", 10);  // would be wrong: a one-digit 0 is not a file number
  EXPECT_EQ(100, DataEndOf("app10.log"));
}

TEST_F(ManagementPathTest, NumbersAboveTheRingLimitAreNotTwoDigitNumbers) {
  Ring("app.mm", 3);
  Ring("app6.mm", 5);
  // app65.log: the one-digit form (app6.mm, file 5) is found first.
  EXPECT_EQ(100, DataEndOf("app65.log"));
  ZELKWSYM_MpttCloseManagementFile(inst_);
  ZELKWSYM_MpttDeleteInstance(inst_);
  inst_ = nullptr;
  // app70.log: one digit 0, two digits 70 > 64: nothing to find.
  EXPECT_EQ(-100 - 13, DataEndOf("app70.log"));
}

TEST_F(ManagementPathTest, PathsWithoutTheTraceFileForm) {
  for (const char* name : {"app.log", ".log", "3log", "app3.txt", "app3.log.old", "app3.LOG"}) {
    VESK2_MptTrap_t* t = ZELKWSYM_MpttCreateInstance((dir_.path() + "/" + name).c_str());
    ASSERT_NE(nullptr, t);
    EXPECT_EQ(17, ZELKWSYM_MpttOpenManagementFile(t)) << name;
    EXPECT_EQ(17, ZELKWSYM_MpttGetLastError(t)) << name;
    EXPECT_EQ(0, ZELKWSYM_MpttDeleteInstance(t));
  }
  VESK2_MptTrap_t* t = ZELKWSYM_MpttCreateInstance("1.log");  // 5 characters: valid form
  ASSERT_NE(nullptr, t);
  EXPECT_EQ(13, ZELKWSYM_MpttOpenManagementFile(t)) << "mmap/.mm should be missing";
  EXPECT_EQ(0, ZELKWSYM_MpttDeleteInstance(t));
}

TEST_F(ManagementPathTest, ZeroWithoutASecondDigitIsNotFound) {
  Ring("app.mm", 1);
  EXPECT_EQ(-100 - 13, DataEndOf("app0.log"));
  EXPECT_EQ(13, ZELKWSYM_MpttGetLastError(inst_));
}

TEST_F(ManagementPathTest, ManagementFileThatCannotBeOpenedGivesCode2) {
  // A directory in its place: present, but not openable for writing.
  ASSERT_EQ(0, mkdir((dir_.path() + "/mmap/app.mm").c_str(), 0777));
  EXPECT_EQ(-100 - 2, DataEndOf("app3.log"));
}

TEST_F(ManagementPathTest, BareFileNameUsesTheWorkingDirectory) {
  Ring("zz.mm", 4);
  ASSERT_TRUE(WriteFile(dir_.path() + "/zz4.log", std::string(1, '\x1a')));
  char cwd[PATH_MAX];
  ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
  ASSERT_EQ(0, chdir(dir_.path().c_str()));
  inst_ = ZELKWSYM_MpttCreateInstance("zz4.log");
  const int rc = ZELKWSYM_MpttOpenManagementFile(inst_);
  const long end = rc == 0 ? ZELKWSYM_MpttGetCurrentOffset(inst_) : -1;
  ASSERT_EQ(0, chdir(cwd));
  EXPECT_EQ(0, rc);
  EXPECT_EQ(100, end);
}

TEST_F(ReaderTest, ManagementPathIsKeptAndReopenedAfterClose) {
  WriteRecord({});
  WriteTrace(1, "abc\r\n");
  ASSERT_EQ(0, OpenMng(1));
  ASSERT_EQ(0, ZELKWSYM_MpttCloseManagementFile(inst_));
  ASSERT_EQ(0, unlink(MngPath().c_str()));
  EXPECT_EQ(13, ZELKWSYM_MpttOpenManagementFile(inst_)) << "the stored path is gone";
  WriteRecord({});
  EXPECT_EQ(0, ZELKWSYM_MpttOpenManagementFile(inst_));
}

TEST_F(ReaderTest, MissingTraceFileIsReportedAtOpen) {
  WriteRecord({});
  ASSERT_EQ(0, OpenMng(2)) << "the trace file may appear later";
  EXPECT_EQ(13, ZELKWSYM_MpttOpen(inst_));
  WriteTrace(2, "late\r\n");
  EXPECT_EQ(0, ZELKWSYM_MpttOpen(inst_));
}

}  // namespace
}  // namespace tw::test
