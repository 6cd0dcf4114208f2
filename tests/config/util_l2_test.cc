// Utility layer: conversions, path helpers and their size convention, files
// and their locks.
#include "util_l2.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

struct I32Case {
  const char* text;
  int base;
  uint32_t rc;
  int32_t value;
};

TEST(UtilConvert, Int32Cases) {
  const I32Case cases[] = {
      {" -2147483648 ", 0, 0, INT32_MIN},
      {"2147483648", 0, ERR_OUT_OF_RANGE, INT32_MAX},
      {"2147483647", 10, 0, INT32_MAX},
      {"-2147483649", 10, ERR_OUT_OF_RANGE, INT32_MIN},
      {"12a", 10, ERR_INVALID, 12},
      {"0x1f", 0, 0, 31},
      {"017", 0, 0, 15},
      {"0", 0, 0, 0},
      {"0x1f", 16, ERR_INVALID, 0},
      {"1f", 16, 0, 31},
      {"+5", 0, 0, 5},
      {"+0x5", 0, ERR_INVALID, 0},
      {"-0x5", 0, ERR_INVALID, 0},  // a sign belongs to decimal text only
      {"\t 42\n", 0, 0, 42},
      {"", 0, 0, 0},
      {"zz", 36, 0, 35 * 36 + 35},
      {"5", 37, ERR_INVALID, 0},
      {"5", -1, ERR_INVALID, 0},
      {"4 2", 10, ERR_INVALID, 4},
      {"99999999999999999999999", 10, ERR_OUT_OF_RANGE, INT32_MAX},
      {"-99999999999999999999999", 10, ERR_OUT_OF_RANGE, INT32_MIN},
      {"08", 0, ERR_INVALID, 0},
  };
  for (const auto& c : cases) {
    int32_t v = 777;
    uint32_t rc = StrToInt32_L2(c.text, strlen(c.text), c.base, &v);
    EXPECT_EQ(rc, c.rc) << "text '" << c.text << "' base " << c.base;
    EXPECT_EQ(v, c.value) << "text '" << c.text << "' base " << c.base;
  }
}

TEST(UtilConvert, SixtyFourBitAndUnsigned) {
  uint64_t u = 0;
  EXPECT_EQ(StrToUint64_L2("18446744073709551616", 20, 10, &u), ERR_OUT_OF_RANGE);
  EXPECT_EQ(u, UINT64_MAX);
  EXPECT_EQ(StrToUint64_L2("18446744073709551615", 20, 10, &u), 0u);
  EXPECT_EQ(u, UINT64_MAX);
  EXPECT_EQ(StrToUint64_L2("+7", 2, 0, &u), 0u);
  EXPECT_EQ(u, 7u);

  int64_t s = 0;
  std::string nines = "-" + std::string(20, '9');
  EXPECT_EQ(StrToInt64_L2(nines.c_str(), nines.size(), 0, &s), ERR_OUT_OF_RANGE);
  EXPECT_EQ(s, INT64_MIN);
  EXPECT_EQ(StrToInt64_L2("-9223372036854775808", 20, 0, &s), 0u);
  EXPECT_EQ(s, INT64_MIN);
  EXPECT_EQ(StrToInt64_L2("9223372036854775808", 19, 0, &s), ERR_OUT_OF_RANGE);
  EXPECT_EQ(s, INT64_MAX);
  EXPECT_EQ(StrToInt64_L2("5000000000", 10, 0, &s), 0u);
  EXPECT_EQ(s, 5000000000LL);

  uint32_t u32 = 0;
  EXPECT_EQ(StrToUint32_L2("4294967296", 10, 10, &u32), ERR_OUT_OF_RANGE);
  EXPECT_EQ(u32, 0xFFFFFFFFu);
  EXPECT_EQ(StrToUint32_L2("4294967295", 10, 10, &u32), 0u);
  EXPECT_EQ(u32, 0xFFFFFFFFu);
  // A value already above 32 bits stays out of range even when bad text follows.
  EXPECT_EQ(StrToUint32_L2("99999999999x", 12, 10, &u32), ERR_OUT_OF_RANGE);
  EXPECT_EQ(u32, 0xFFFFFFFFu);
  EXPECT_EQ(StrToUint32_L2("12x", 3, 10, &u32), ERR_INVALID);
  EXPECT_EQ(u32, 12u);
}

TEST(UtilConvert, LengthLimitsTheScanButNotTheText) {
  int32_t v = 0;
  // Only two bytes are scanned, yet the text goes on: not a clean end.
  EXPECT_EQ(StrToInt32_L2("123", 2, 10, &v), ERR_INVALID);
  EXPECT_EQ(v, 12);
  // A length beyond the text stops at its NUL.
  EXPECT_EQ(StrToInt32_L2("123", 100, 10, &v), 0u);
  EXPECT_EQ(v, 123);
  EXPECT_EQ(StrToInt32_L2(nullptr, 3, 10, &v), ERR_INVALID);
  EXPECT_EQ(CharIsOctet_L2('7'), 1);
  EXPECT_EQ(CharIsOctet_L2('8'), 0);
  EXPECT_EQ(CharIsOctet_L2('/'), 0);
}

TEST(UtilPath, TruncatingSizeConvention) {
  setenv("TW_UTIL_TEST", "abcdef", 1);
  char buf[16];
  memset(buf, 'X', sizeof buf);
  size_t size = 4;
  ASSERT_EQ(EnvironmentGet_L2("TW_UTIL_TEST", buf, &size), 0u);
  EXPECT_EQ(size, 7u);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(buf[4], 'X') << "nothing is stored past the capacity";
  size = 0;
  ASSERT_EQ(EnvironmentGet_L2("TW_UTIL_TEST", nullptr, &size), 0u);
  EXPECT_EQ(size, 7u);
  size = 0;
  buf[0] = 'Q';
  ASSERT_EQ(EnvironmentGet_L2("TW_UTIL_TEST", buf, &size), 0u);
  EXPECT_EQ(buf[0], 'Q') << "capacity 0 stores nothing";
  unsetenv("TW_UTIL_TEST");
  size = sizeof buf;
  EXPECT_EQ(EnvironmentGet_L2("TW_UTIL_TEST", buf, &size), ERR_NO_ENTRY);
  EXPECT_EQ(EnvironmentGet_L2(nullptr, buf, &size), ERR_INVALID);
  EXPECT_EQ(EnvironmentGet_L2("PATH", buf, nullptr), ERR_INVALID);
}

std::string Call3(uint32_t (*fn)(const char*, const char*, char*, size_t*), const char* a,
                  const char* b) {
  char buf[4200];
  size_t size = sizeof buf;
  uint32_t rc = fn(a, b, buf, &size);
  if (rc != 0) return "rc=" + std::to_string(rc);
  EXPECT_EQ(size, strlen(buf) + 1);
  return buf;
}

std::string Call2(uint32_t (*fn)(const char*, char*, size_t*), const char* a) {
  char buf[4200];
  size_t size = sizeof buf;
  uint32_t rc = fn(a, buf, &size);
  if (rc != 0) return "rc=" + std::to_string(rc);
  EXPECT_EQ(size, strlen(buf) + 1);
  return buf;
}

TEST(UtilPath, ComposeAndDecompose) {
  EXPECT_EQ(Call3(PathnameCreate_L2, "/etc", "a"), "/etc/a");
  EXPECT_EQ(Call3(PathnameCreate_L2, "/etc/", "a"), "/etc/a");
  std::string long_dir(4000, 'd');
  std::string name(95, 'n');
  char big[4200];
  size_t big_size = sizeof big;
  EXPECT_EQ(PathnameCreate_L2(long_dir.c_str(), name.c_str(), big, &big_size), ERR_OUT_OF_RANGE)
      << "lengths plus 2 exceed 4096";
  name.pop_back();
  EXPECT_EQ(Call3(PathnameCreate_L2, long_dir.c_str(), name.c_str()).size(), 4095u);

  EXPECT_EQ(Call2(FilenameGetFromPath_L2, "/usr/lib/x.so"), "x.so");
  EXPECT_EQ(Call2(FilenameGetFromPath_L2, "/usr/lib/"), "lib");
  EXPECT_EQ(Call2(FilenameGetFromPath_L2, "/"), "/");
  EXPECT_EQ(Call2(DirnameGetFromPath_L2, "/usr/lib/x.so"), "/usr/lib");
  EXPECT_EQ(Call2(DirnameGetFromPath_L2, "x.so"), ".");
  EXPECT_EQ(Call2(DirnameGetFromPath_L2, "/x"), "/");
}

TEST(UtilPath, FullpathResolvesLeadingDotsOnly) {
  char tmpl[] = "/tmp/twutil.XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string base = tmpl;
  ASSERT_EQ(mkdir((base + "/sub").c_str(), 0755), 0);
  char old_cwd[4096];
  ASSERT_NE(getcwd(old_cwd, sizeof old_cwd), nullptr);
  ASSERT_EQ(chdir((base + "/sub").c_str()), 0);

  EXPECT_EQ(Call2(FullpathGet_l2, "/abs/path"), "/abs/path");
  EXPECT_EQ(Call2(FullpathGet_l2, "x"), base + "/sub/x");
  EXPECT_EQ(Call2(FullpathGet_l2, "./x"), base + "/sub/x");
  EXPECT_EQ(Call2(FullpathGet_l2, "../x"), base + "/x");
  EXPECT_EQ(Call2(FullpathGet_l2, ".."), base);
  EXPECT_EQ(Call2(FullpathGet_l2, "."), base + "/sub");
  EXPECT_EQ(Call2(FullpathGet_l2, "a/../b"), base + "/sub/a/../b");
  // Never past the start of the working directory.
  EXPECT_EQ(Call2(FullpathGet_l2, "../../../../../../../../x"), "/x");

  // Non-truncating: a short buffer gets the leading bytes, unterminated.
  std::string want = base + "/sub/x";
  char small[8];
  memset(small, 'Z', sizeof small);
  size_t size = 4;
  ASSERT_EQ(FullpathGet_l2("x", small, &size), 0u);
  EXPECT_EQ(size, want.size() + 1);
  EXPECT_EQ(std::string(small, 4), want.substr(0, 4));
  EXPECT_EQ(small[4], 'Z');

  ASSERT_EQ(chdir(old_cwd), 0);
  rmdir((base + "/sub").c_str());
  rmdir(base.c_str());
}

TEST(UtilPath, CommandNameSearchesPath) {
  char tmpl[] = "/tmp/twcmd.XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string dir = tmpl;
  std::string exe = dir + "/tw-fake-cmd";
  int fd = open(exe.c_str(), O_CREAT | O_WRONLY, 0755);
  ASSERT_GE(fd, 0);
  close(fd);
  std::string noexec = dir + "/tw-plain";
  fd = open(noexec.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  close(fd);

  const char* saved = getenv("PATH");
  std::string saved_path = saved ? saved : "";
  setenv("PATH", ("/nonexistent:" + dir).c_str(), 1);
  EXPECT_EQ(Call2(CommandNameGet_L2, "tw-fake-cmd"), exe);
  EXPECT_EQ(Call2(CommandNameGet_L2, "/bin/abs"), "/bin/abs");
  char buf[64];
  size_t size = sizeof buf;
  ASSERT_EQ(CommandNameGet_L2("tw-plain", buf, &size), 0u);
  EXPECT_EQ(size, 0u) << "a file that is not executable is no candidate";
  unsetenv("PATH");
  size = sizeof buf;
  EXPECT_EQ(CommandNameGet_L2("tw-fake-cmd", buf, &size), ERR_NO_ENTRY);
  setenv("PATH", saved_path.c_str(), 1);
  unlink(exe.c_str());
  unlink(noexec.c_str());
  rmdir(dir.c_str());
}

class UtilFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/twfile.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/doc.xml";
  }
  void TearDown() override {
    unlink(path_.c_str());
    unlink((dir_ + "/moved").c_str());
    rmdir(dir_.c_str());
  }
  std::string dir_, path_;
};

TEST_F(UtilFile, CreateWriteTruncateSeek) {
  mode_t old = umask(022);
  int fd = -1;
  ASSERT_EQ(
      FileOpen_L2(&fd, path_.c_str(), FILE_OPEN_WRITE | FILE_OPEN_CREATE | FILE_OPEN_TRUNC, 0x664),
      0u);
  struct stat st;
  ASSERT_EQ(fstat(fd, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u) << "0x664 less umask 022";
  size_t n = 5;
  ASSERT_EQ(FileWrite_L2(fd, "hello", &n), 0u);
  EXPECT_EQ(n, 5u);
  int64_t off = 1;
  ASSERT_EQ(FileSeek_L2(fd, &off, FILE_SEEK_START), 0u);
  EXPECT_EQ(off, 1);
  off = 0;
  ASSERT_EQ(FileSeek_L2(fd, &off, FILE_SEEK_END), 0u);
  EXPECT_EQ(off, 5);
  EXPECT_EQ(FileSeek_L2(fd, &off, 0), ERR_INVALID);
  EXPECT_EQ(FileSeek_L2(fd, &off, 4), ERR_INVALID);
  ASSERT_EQ(FileClose_L2(fd), 0u);
  umask(old);

  // Reopening with truncate empties the file once the lock is held.
  ASSERT_EQ(
      FileOpen_L2(&fd, path_.c_str(), FILE_OPEN_READ | FILE_OPEN_WRITE | FILE_OPEN_TRUNC, 0x644),
      0u);
  char buf[8];
  n = sizeof buf;
  ASSERT_EQ(FileRead_L2(fd, buf, &n), 0u);
  EXPECT_EQ(n, 0u);
  FileClose_L2(fd);

  EXPECT_EQ(
      FileOpen_L2(&fd, path_.c_str(), FILE_OPEN_WRITE | FILE_OPEN_CREATE | FILE_OPEN_EXCL, 0x644),
      ERR_SYSCALL | EEXIST);
  EXPECT_EQ(FileOpen_L2(&fd, (dir_ + "/missing").c_str(), FILE_OPEN_READ, 0x644),
            ERR_SYSCALL | ENOENT);
  EXPECT_EQ(FileOpen_L2(nullptr, path_.c_str(), FILE_OPEN_READ, 0x644), ERR_INVALID);
  EXPECT_EQ(FileClose_L2(-1), ERR_SYSCALL | EBADF);

  EXPECT_EQ(FileAccess_L2(path_.c_str(), FILE_ACCESS_READ), 0u);
  EXPECT_EQ(FileAccess_L2((dir_ + "/missing").c_str(), 0), ERR_NOT_FOUND | ENOENT);
  EXPECT_EQ(FileAccess_L2((path_ + "/below").c_str(), 0), ERR_NOT_FOUND | ENOTDIR);
  EXPECT_EQ(FileMove_L2(path_.c_str(), (dir_ + "/moved").c_str()), 0u);
  EXPECT_EQ(FileMove_L2(path_.c_str(), (dir_ + "/moved").c_str()), ERR_SYSCALL | ENOENT);
}

TEST_F(UtilFile, AppendAndSharedReaders) {
  int fd = -1;
  ASSERT_EQ(FileOpen_L2(&fd, path_.c_str(), FILE_OPEN_WRITE | FILE_OPEN_CREATE, 0x600), 0u);
  size_t n = 3;
  ASSERT_EQ(FileWrite_L2(fd, "abc", &n), 0u);
  FileClose_L2(fd);
  ASSERT_EQ(FileOpen_L2(&fd, path_.c_str(), FILE_OPEN_WRITE | FILE_OPEN_APPEND, 0x600), 0u);
  int64_t off = 0;
  ASSERT_EQ(FileSeek_L2(fd, &off, FILE_SEEK_START), 0u);
  n = 2;
  ASSERT_EQ(FileWrite_L2(fd, "de", &n), 0u);
  FileClose_L2(fd);

  // Two readers hold the shared lock at the same time.
  int r1 = -1, r2 = -1;
  ASSERT_EQ(FileOpen_L2(&r1, path_.c_str(), FILE_OPEN_READ, 0x600), 0u);
  ASSERT_EQ(FileOpen_L2(&r2, path_.c_str(), FILE_OPEN_READ, 0x600), 0u);
  char buf[16] = {};
  n = sizeof buf;
  ASSERT_EQ(FileRead_L2(r2, buf, &n), 0u);
  EXPECT_EQ(std::string(buf, n), "abcde") << "append writes at the end whatever the position";
  int64_t cur = 0;
  ASSERT_EQ(FileSeek_L2(r2, &cur, FILE_SEEK_CURRENT), 0u);
  EXPECT_EQ(cur, 5);
  FileClose_L2(r1);
  FileClose_L2(r2);
}

// A writer holding the exclusive lock makes a reader in another process wait.
TEST_F(UtilFile, WriterLockBlocksReaderInOtherProcess) {
  int wfd = -1;
  ASSERT_EQ(FileOpen_L2(&wfd, path_.c_str(), FILE_OPEN_WRITE | FILE_OPEN_CREATE, 0x644), 0u);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(wfd);  // the lock stays with the parent's open file description
    close(ready[0]);
    if (write(ready[1], "r", 1) != 1) _exit(3);
    int rfd = -1;
    uint32_t rc = FileOpen_L2(&rfd, path_.c_str(), FILE_OPEN_READ, 0x644);
    _exit(rc == 0 ? 0 : 2);
  }
  close(ready[1]);
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  close(ready[0]);
  usleep(300 * 1000);
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0)
      << "the reader got the shared lock while the writer held it";
  FileClose_L2(wfd);
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "reader status " << status;
}

TEST(UtilMutex, TryLockReportsBusy) {
  pthread_mutex_t m;
  ASSERT_EQ(MutexInit_L2(&m), 0u);
  ASSERT_EQ(MutexLock_L2(&m, 0), 0u);
  EXPECT_EQ(MutexLock_L2(&m, MUTEX_TRY), ERR_SYSCALL | EBUSY);
  EXPECT_EQ(MutexUnlock_L2(&m), 0u);
  EXPECT_EQ(MutexLock_L2(&m, MUTEX_TRY), 0u);
  EXPECT_EQ(MutexUnlock_L2(&m), 0u);
  EXPECT_EQ(MutexTerm_L2(&m), 0u);
  char* copy = nullptr;
  ASSERT_EQ(StrDup_L2("abc", &copy), 0u);
  EXPECT_STREQ(copy, "abc");
  free(copy);
  EXPECT_EQ(StrDup_L2(nullptr, &copy), ERR_INVALID);
}

}  // namespace
