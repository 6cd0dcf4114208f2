// Shared rings: what the option bits 0x04 (prepare only the current file),
// 0x08 (no header block at a file switch) and 0x20 (no process line) change
// in the files a writer leaves.
#include <cstring>
#include <string>
#include <vector>

#include "test_util.h"
#include "vesk2_trace.h"
#include "vesk2_trace_format.h"

namespace tracetest {
namespace {

std::string DataOf(const std::string& file) {
  std::string c = ReadFile(file);
  for (size_t i = 0; i < c.size(); ++i) {
    if (c[i] == '\x1A' && (i == 0 || (i >= 2 && c[i - 2] == '\r' && c[i - 1] == '\n'))) {
      return c.substr(0, i);
    }
  }
  return c;
}

bool IsProcessLine(const std::string& l) { return l.rfind("**** ", 0) == 0 && l.size() + 2 == 57; }
bool IsSystemLine(const std::string& l) { return l.rfind("**** ", 0) == 0 && l.size() + 2 == 141; }
bool IsColumnLine(const std::string& l) { return l.rfind("     yyyy/mm/dd", 0) == 0; }

class SharedModes : public TraceTest {
 protected:
  void SetUp() override { dir_ = NewDir("shared-modes"); }

  // Writes 200-byte records through the instance until the ring moves on
  // from file 1 to file 2.
  void FillFirstFile(VESKTraceObject* obj, const std::string& mng) {
    const std::string text = Text(108, 'm');
    for (int n = 0; CurrentFile(mng) == 1; ++n) {
      ASSERT_EQ(ZELKWSYM_PutInstanceWithId(obj, 0, "ID", text.c_str()), 0) << Hex(Last().code);
      ASSERT_LT(n, 100) << "the ring never left file 1";
    }
  }
  static int CurrentFile(const std::string& mng) {
    std::string b = ReadFile(mng);
    VESK_MANAGEMENT_DATA r{};
    if (b.size() >= sizeof r) std::memcpy(&r, b.data(), sizeof r);
    return r.lCurFile;
  }

  std::string dir_;
};

TEST_F(SharedModes, CurrentOnlyPreparesJustTheCurrentFile) {
  Spec s(dir_ + "/c", 4096, 3);
  VESKTraceObject* obj = nullptr;
  ASSERT_EQ(ZELKWSYM_CreateInstanceM(&obj, s.get(), "cur", VESK2_MODE_CURRENT_ONLY), 0)
      << Hex(Last().code);
  EXPECT_EQ(FileSize(s.File(1)), 4096);
  EXPECT_FALSE(Exists(s.File(2))) << "bit 0x04: the other files are not made at open";
  EXPECT_FALSE(Exists(s.File(3)));
  FillFirstFile(obj, dir_ + "/mmap/c.mm");
  EXPECT_EQ(FileSize(s.File(2)), 4096) << "the next file is made when the ring reaches it";
  EXPECT_FALSE(Exists(s.File(3)));
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);

  // Without the bit every file is there right after the open.
  Spec all(dir_ + "/all", 4096, 3);
  ASSERT_EQ(ZELKWSYM_CreateInstanceM(&obj, all.get(), "all", 0), 0) << Hex(Last().code);
  for (int f = 1; f <= 3; ++f) EXPECT_EQ(FileSize(all.File(f)), 4096) << "file " << f;
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);
}

TEST_F(SharedModes, NoHeaderAtASwitch) {
  for (uint32_t option : {0u, static_cast<uint32_t>(VESK2_MODE_NO_HEADER)}) {
    const std::string name = option ? "nh" : "wh";
    Spec s(dir_ + "/" + name, 4096, 2);
    VESKTraceObject* obj = nullptr;
    ASSERT_EQ(ZELKWSYM_CreateInstanceM(&obj, s.get(), name.c_str(), option), 0) << Hex(Last().code);
    FillFirstFile(obj, dir_ + "/mmap/" + name + ".mm");
    auto opened = Lines(DataOf(s.File(1)));
    ASSERT_GE(opened.size(), 1u);
    EXPECT_TRUE(IsProcessLine(opened[0]))
        << "the open still writes the process line: " << opened[0];
    auto switched = Lines(DataOf(s.File(2)));
    ASSERT_FALSE(switched.empty());
    if (option == 0) {
      ASSERT_EQ(switched.size(), 3u);
      EXPECT_TRUE(IsSystemLine(switched[0])) << switched[0];
      EXPECT_TRUE(IsColumnLine(switched[1])) << switched[1];
    } else {
      ASSERT_EQ(switched.size(), 1u) << "bit 0x08: the record alone, no header block";
      EXPECT_EQ(switched[0].substr(90), Text(108, 'm'));
    }
    EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);
  }
}

TEST_F(SharedModes, NoProcessLine) {
  Spec s(dir_ + "/np", 4096, 2);
  VESKTraceObject* obj = nullptr;
  ASSERT_EQ(ZELKWSYM_CreateInstanceM(&obj, s.get(), "np", VESK2_MODE_NO_PROC_LINE), 0)
      << Hex(Last().code);
  auto lines = Lines(DataOf(s.File(1)));
  ASSERT_EQ(lines.size(), 2u) << "bit 0x20 on an empty file: system and column line only";
  EXPECT_TRUE(IsSystemLine(lines[0])) << lines[0];
  EXPECT_TRUE(IsColumnLine(lines[1])) << lines[1];
  ASSERT_EQ(ZELKWSYM_PutInstanceWithId(obj, 0, "ID", "one"), 0);
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);

  // Reopening a file that already holds data adds nothing at open.
  ASSERT_EQ(ZELKWSYM_CreateInstanceM(&obj, s.get(), "np", VESK2_MODE_NO_PROC_LINE), 0)
      << Hex(Last().code);
  ASSERT_EQ(ZELKWSYM_PutInstanceWithId(obj, 0, "ID", "two"), 0);
  lines = Lines(DataOf(s.File(1)));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2].substr(90), "one");
  EXPECT_EQ(lines[3].substr(90), "two") << "no header between the two processes' records";
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);

  // With 0x08 as well, not even an empty file gets a header at open.
  Spec bare(dir_ + "/bare", 4096, 2);
  ASSERT_EQ(ZELKWSYM_CreateInstanceM(&obj, bare.get(), "bare",
                                     VESK2_MODE_NO_PROC_LINE | VESK2_MODE_NO_HEADER),
            0)
      << Hex(Last().code);
  EXPECT_EQ(DataOf(bare.File(1)), "");
  ASSERT_EQ(ZELKWSYM_PutInstanceWithId(obj, 0, "ID", "alone"), 0);
  lines = Lines(DataOf(bare.File(1)));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(90), "alone");
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);
}

}  // namespace
}  // namespace tracetest
