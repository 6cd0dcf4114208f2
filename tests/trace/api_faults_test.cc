// Failures of the file system under a ring: read-only and non-directory
// paths, and a full file system that later gets room again.
#include <errno.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "test_util.h"

namespace tracetest {
namespace {

class Faults : public TraceTest {
 protected:
  void SetUp() override { dir_ = NewDir("faults"); }
  void TearDown() override {
    TraceTest::TearDown();
    for (auto& m : mounts_) umount2(m.c_str(), MNT_DETACH);
  }
  void MountTmpfs(const std::string& at, const std::string& options, unsigned long flags = 0) {
    ASSERT_EQ(mkdir(at.c_str(), 0755), 0);
    ASSERT_EQ(mount("tw-trace-test", at.c_str(), "tmpfs", flags, options.c_str()), 0)
        << "mount tmpfs at " << at << ": " << strerror(errno);
    mounts_.push_back(at);
  }
  std::string dir_;
  std::vector<std::string> mounts_;
};

TEST_F(Faults, ReadOnlyDirectory) {
  MountTmpfs(dir_ + "/ro", "size=64k", MS_RDONLY);
  Spec deep(dir_ + "/ro/sub/t", 4096, 2);
  VESKTraceObject* obj = nullptr;
  EXPECT_EQ(ZELKWSYM_CreateInstance(&obj, deep.get(), "ro"), -1);
  EXPECT_ERROR(0x13000015);
  EXPECT_EQ(Last().detail, static_cast<uint32_t>(EROFS));
  Spec flat(dir_ + "/ro/t", 4096, 2);
  EXPECT_EQ(ZELKWSYM_Initialize(flat.get(), "ro"), -1);
  EXPECT_ERROR(0x06000002);
  EXPECT_EQ(Last().detail, static_cast<uint32_t>(EROFS));
  EXPECT_EQ(ZELKWSYM_PutWithId(0, "A", "t"), -1) << "a failed initialisation leaves none";
  EXPECT_ERROR(0x0900000B);
}

TEST_F(Faults, PathComponentIsARegularFile) {
  WriteFile(dir_ + "/plain", "x");
  Spec s(dir_ + "/plain/sub/t", 4096, 2);
  VESKTraceObject* obj = nullptr;
  EXPECT_EQ(ZELKWSYM_CreateInstance(&obj, s.get(), "f"), -1);
  EXPECT_ERROR(0x13000011);
  EXPECT_EQ(obj, nullptr);
}

TEST_F(Faults, FullFileSystemFailsLoudlyAndRecovers) {
  const std::string full = dir_ + "/full";
  MountTmpfs(full, "size=32k");
  const std::string filler = full + "/filler";
  WriteFile(filler, Text(8192, 'f'));
  ASSERT_EQ(FileSize(filler), 8192);
  Spec s(full + "/t", 1 << 20, 1);
  VESKTraceObject* obj = nullptr;
  ASSERT_EQ(ZELKWSYM_CreateInstance(&obj, s.get(), "full"), 0) << Hex(Last().code);
  int written = 0;
  int result = 0;
  for (int i = 0; i < 1000 && result == 0; ++i) {
    std::string text = "record " + std::to_string(i) + " " + Text(100, 'p');
    result = ZELKWSYM_PutInstanceWithId(obj, 0, "FULL", text.c_str());
    if (result == 0) ++written;
  }
  ASSERT_EQ(result, -1) << "the file system never filled up";
  EXPECT_ERROR(0x16000004);
  EXPECT_EQ(Last().detail, static_cast<uint32_t>(ENOSPC));
  EXPECT_EQ(ZELKWSYM_PutInstanceWithId(obj, 0, "FULL", "still full"), -1);
  auto check = [&](int expected) {
    std::string content = ReadFile(s.File(1));
    EXPECT_EQ(content.substr(content.size() - 2), "\r\n") << "the file ends inside a record";
    auto recs = Records(s.File(1));
    ASSERT_EQ(static_cast<int>(recs.size()), expected)
        << "every accepted record, and nothing else, is in the file";
    for (int i = 0; i < written; ++i) {
      EXPECT_EQ(recs[i].substr(90), "record " + std::to_string(i) + " " + Text(100, 'p'))
          << "record " << i;
    }
  };
  check(written);
  ASSERT_EQ(unlink(filler.c_str()), 0);
  EXPECT_EQ(ZELKWSYM_PutInstanceWithId(obj, 0, "FULL", "after room"), 0) << Hex(Last().code);
  check(written + 1);
  EXPECT_EQ(Records(s.File(1)).back().substr(90), "after room");
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);
}

}  // namespace
}  // namespace tracetest
