// Clean-up of old log files by age and by count, on files with chosen
// modification times in the sandbox's private /tmp.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "harness/foreign_lock.h"
#include "vesk2_syslog.h"

namespace fs = std::filesystem;

namespace {

class FileCleanup : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = "/tmp/cleanup-" + std::to_string(counter_++);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    now_ = std::time(nullptr);
  }
  void TearDown() override { fs::remove_all(dir_); }
  // Creates dir/name last modified `age` seconds ago.
  std::string Make(const std::string& name, long age) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path) << name;
    struct utimbuf times {};
    times.actime = times.modtime = now_ - age;
    EXPECT_EQ(0, ::utime(path.c_str(), &times));
    return path;
  }
  std::set<std::string> Left() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.insert(e.path().filename());
    return names;
  }
  static inline int counter_ = 0;
  std::string dir_;
  time_t now_ = 0;
};

TEST_F(FileCleanup, ByTimeDeletesWhatIsOldEnough) {
  Make("app1.log", 1000);
  Make("app2.log", 100);
  Make("other.txt", 5000);
  const std::string pattern = dir_ + "/app*.log";
  EXPECT_EQ(0, ZELKWSYM_FileCleanupByTime(pattern.c_str(), -1));
  EXPECT_EQ((std::set<std::string>{"app1.log", "app2.log", "other.txt"}), Left());
  EXPECT_EQ(0, ZELKWSYM_FileCleanupByTime(pattern.c_str(), 500));
  EXPECT_EQ((std::set<std::string>{"app2.log", "other.txt"}), Left());
  Make("app3.log", -1000);  // modified in the future
  EXPECT_EQ(0, ZELKWSYM_FileCleanupByTime(pattern.c_str(), 0));
  EXPECT_EQ((std::set<std::string>{"app3.log", "other.txt"}), Left());
}

TEST_F(FileCleanup, ByNumKeepsTheNewest) {
  auto makeFive = [&] {
    for (int i = 1; i <= 5; ++i) Make("n" + std::to_string(i) + ".log", 100L * (6 - i));
  };
  const std::string pattern = dir_ + "/n*.log";
  makeFive();
  EXPECT_EQ(0, ZELKWSYM_FileCleanupByNum(pattern.c_str(), 5));
  EXPECT_EQ(0, ZELKWSYM_FileCleanupByNum(pattern.c_str(), 7));
  EXPECT_EQ(5u, Left().size());
  EXPECT_EQ(0, ZELKWSYM_FileCleanupByNum(pattern.c_str(), 3));
  EXPECT_EQ((std::set<std::string>{"n3.log", "n4.log", "n5.log"}), Left()) << "the two oldest go";
  EXPECT_EQ(0, ZELKWSYM_FileCleanupByNum(pattern.c_str(), 0));
  EXPECT_TRUE(Left().empty());
  makeFive();
  EXPECT_EQ(0, ZELKWSYM_FileCleanupByNum(pattern.c_str(), -2));
  EXPECT_TRUE(Left().empty());
}

TEST_F(FileCleanup, DirectoriesAndLinksToDirectoriesSurvive) {
  fs::create_directory(dir_ + "/sub.log");
  fs::create_directory_symlink("/tmp", dir_ + "/link.log");
  Make("plain.log", 1000);
  EXPECT_EQ(0, ZELKWSYM_FileCleanupByTime((dir_ + "/*.log").c_str(), 0));
  EXPECT_EQ((std::set<std::string>{"link.log", "sub.log"}), Left());
  EXPECT_EQ(0, ZELKWSYM_FileCleanupByNum((dir_ + "/*.log").c_str(), 0));
  EXPECT_EQ((std::set<std::string>{"link.log", "sub.log"}), Left());
  EXPECT_TRUE(fs::is_directory("/tmp"));
}

TEST_F(FileCleanup, FileLockedByAnotherProcessSurvives) {
  const std::string locked = Make("locked.log", 1000);
  Make("free.log", 900);
  tw::test::ForeignLock lock(locked);
  ASSERT_TRUE(lock.locked()) << "the locking process did not get its lock";
  EXPECT_EQ(0, ZELKWSYM_FileCleanupByTime((dir_ + "/*.log").c_str(), 0));
  EXPECT_EQ((std::set<std::string>{"locked.log"}), Left());
  Make("free2.log", 2000);
  EXPECT_EQ(0, ZELKWSYM_FileCleanupByNum((dir_ + "/*.log").c_str(), 0));
  EXPECT_EQ((std::set<std::string>{"locked.log"}), Left());
}

TEST_F(FileCleanup, DirectoryPartRules) {
  EXPECT_EQ(ENOENT, ZELKWSYM_FileCleanupByTime((dir_ + "/missing/*.log").c_str(), 0));
  EXPECT_EQ(ENOENT, ZELKWSYM_FileCleanupByNum((dir_ + "/missing/*.log").c_str(), 0));
  EXPECT_EQ(EINVAL, ZELKWSYM_FileCleanupByNum(nullptr, 0));

  // Without a slash the directory is "./" and every path begins with it, so
  // a bare name pattern matches nothing while "./..." or "*..." does.
  Make("app.log", 1000);
  const fs::path before = fs::current_path();
  fs::current_path(dir_);
  EXPECT_EQ(0, ZELKWSYM_FileCleanupByTime("app*.log", 0));
  EXPECT_EQ(1u, Left().size());
  EXPECT_EQ(0, ZELKWSYM_FileCleanupByTime("./app*.log", 0));
  EXPECT_TRUE(Left().empty());
  Make("app.log", 1000);
  EXPECT_EQ(0, ZELKWSYM_FileCleanupByNum("*app.log", 0));
  EXPECT_TRUE(Left().empty());
  fs::current_path(before);
}

TEST_F(FileCleanup, StatFailureStopsTheScan) {
  Make("a.log", 1000);
  fs::create_symlink(dir_ + "/nowhere", dir_ + "/dangling.log");
  EXPECT_EQ(ENOENT, ZELKWSYM_FileCleanupByNum((dir_ + "/*.log").c_str(), 0));
  EXPECT_EQ(2u, Left().size()) << "by count nothing is deleted after a failed stat";
}

TEST_F(FileCleanup, OverlongPathsAreRefusedAndTouchNothing) {
  const std::string longPattern(4097, 'x');
  EXPECT_EQ(ENAMETOOLONG, ZELKWSYM_FileCleanupByTime(longPattern.c_str(), 0));
  EXPECT_EQ(ENAMETOOLONG, ZELKWSYM_FileCleanupByNum(longPattern.c_str(), 0));

  // A directory part of about 3900 bytes: one entry with a 255-byte name
  // makes its full path reach 4097.
  std::string deep = dir_;
  while (deep.size() < 3900) {
    deep += "/" + std::string(200, 'd');
    ASSERT_EQ(0, ::mkdir(deep.c_str(), 0755)) << std::strerror(errno);
  }
  deep += "/";
  ASSERT_EQ(0, ::close(::open((deep + "a.log").c_str(), O_CREAT | O_WRONLY, 0644)));
  int dfd = ::open(deep.c_str(), O_DIRECTORY);
  ASSERT_GE(dfd, 0);
  const std::string longName = std::string(251, 'n') + ".log";
  int fd = ::openat(dfd, longName.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0) << std::strerror(errno);
  ::close(fd);
  ASSERT_GE(deep.size() + longName.size(), 4097u);

  EXPECT_EQ(ENAMETOOLONG, ZELKWSYM_FileCleanupByTime((deep + "*").c_str(), 0));
  EXPECT_EQ(ENAMETOOLONG, ZELKWSYM_FileCleanupByNum((deep + "*").c_str(), 0));
  EXPECT_EQ(0, ::faccessat(dfd, "a.log", F_OK, 0)) << "a.log was deleted";
  EXPECT_EQ(0, ::faccessat(dfd, longName.c_str(), F_OK, 0));
  ::close(dfd);
}

}  // namespace
