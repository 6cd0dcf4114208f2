// Records byte by byte through every put form, levels and thresholds, the
// time-stamp mode, the counter and the error words of the entry points.
#include <sys/time.h>

#include <cstring>
#include <ctime>

#include "test_util.h"

namespace tracetest {
namespace {

std::string Stamp() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  struct tm tm;
  localtime_r(&tv.tv_sec, &tm);
  char buf[128];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<int>(tv.tv_usec / 1000));
  return buf;
}

std::string Pad(const std::string& s, size_t w) {
  return s.size() >= w ? s.substr(0, w) : s + std::string(w - s.size(), ' ');
}

// Everything of a record after its counter and time stamp.
std::string Tail(const std::string& app, const std::string& tid, const std::string& ids,
                 const std::string& text) {
  return std::string(5, ' ') + Pad(app, 16) + " " + ProcessId() + " " + Pad(tid, 8) + " " + ids +
         text;
}
std::string Id21(const std::string& id) { return Pad(id, 21) + " "; }
std::string IdType(const std::string& id, const std::string& type) {
  return Pad(id, 16) + " " + Pad(type, 4) + " ";
}

int Counter(const std::string& rec) { return std::stoi(rec.substr(0, 4)); }

class Records : public TraceTest {
 protected:
  void SetUp() override {
    dir_ = NewDir("records");
    spec_ = new Spec(dir_ + "/rec", 1 << 20, 2);
    ASSERT_EQ(ZELKWSYM_Initialize(spec_->get(), "recapp"), 0) << Hex(Last().code);
    before_ = Stamp();
  }
  void TearDown() override {
    TraceTest::TearDown();
    delete spec_;
  }
  // Checks counter sequence, time window and the tails of the file's records.
  void ExpectRecords(const std::string& file, const std::vector<std::string>& tails,
                     bool stars = false) {
    std::string after = Stamp();
    auto recs = tracetest::Records(file);
    ASSERT_EQ(recs.size(), tails.size()) << ReadFile(file);
    for (size_t i = 0; i < recs.size(); ++i) {
      const std::string& r = recs[i];
      ASSERT_GE(r.size(), 28u);
      EXPECT_EQ(r[4], ' ');
      std::string stamp = r.substr(5, 23);
      if (stars) {
        EXPECT_EQ(stamp, "****/**/** **:**:**.***") << "record " << i;
      } else {
        EXPECT_TRUE(stamp >= before_ && stamp <= after)
            << "record " << i << " stamp " << stamp << " not within " << before_ << " .. " << after;
      }
      EXPECT_EQ(r.substr(28), tails[i]) << "record " << i;
      if (i > 0) {
        EXPECT_EQ(Counter(r), (Counter(recs[i - 1]) + 1) % 10000) << "record " << i;
      }
    }
  }
  std::string dir_;
  Spec* spec_ = nullptr;
  std::string before_;
};

TEST_F(Records, EveryGlobalPutForm) {
  const std::string own = OwnThreadId();
  EXPECT_EQ(ZELKWSYM_PutWithId(0, "ZELKW-001-I", "with id"), 0);
  EXPECT_EQ(ZELKWSYM_PutLine(0, "a line"), 0);
  EXPECT_EQ(ZELKWSYM_PutWithIdEx(0, "exapp", "ID", "ex"), 0);
  EXPECT_EQ(ZELKWSYM_PutWithMsgType(0, "mtapp", "MSGID", "TY", "typed"), 0);
  EXPECT_EQ(ZELKWSYM_PutWithIdAndTidEx(0, "tidapp", "TID", "ID2", "tid"), 0);
  EXPECT_EQ(ZELKWSYM_PutWithMsgTypeAndTid(0, nullptr, nullptr, nullptr, nullptr, "blank"), 0);
  EXPECT_EQ(ZELKWSYM_PutWithIdEx(0, nullptr, nullptr, ""), 0);
  ExpectRecords(spec_->File(1), {
                                    Tail("recapp", own, Id21("ZELKW-001-I"), "with id"),
                                    Tail("recapp", own, "", "a line"),
                                    Tail("exapp", own, Id21("ID"), "ex"),
                                    Tail("mtapp", own, IdType("MSGID", "TY"), "typed"),
                                    Tail("tidapp", "TID", Id21("ID2"), "tid"),
                                    Tail("", "", IdType("", ""), "blank"),
                                    Tail("", own, Id21(""), ""),
                                });
}

TEST_F(Records, EveryInstancePutForm) {
  Spec is(dir_ + "/inst", 1 << 20, 1);
  VESKTraceObject* obj = nullptr;
  ASSERT_EQ(ZELKWSYM_CreateInstance(&obj, is.get(), "a-name-longer-than-16"), 0);
  const std::string own = OwnThreadId();
  EXPECT_EQ(ZELKWSYM_PutInstanceWithId(obj, 0, "ZELKW-002-W", "inst id"), 0);
  EXPECT_EQ(ZELKWSYM_PutInstanceLine(obj, 0, "inst line"), 0);
  EXPECT_EQ(ZELKWSYM_PutInstanceWithIdEx(obj, 0, "given", "ID", "ex"), 0);
  EXPECT_EQ(ZELKWSYM_PutInstanceWithMsgType(obj, 0, "given2", "M", "T", "mt"), 0);
  ExpectRecords(is.File(1), {
                                Tail("a-name-longer-th", own, Id21("ZELKW-002-W"), "inst id"),
                                Tail("a-name-longer-th", own, "", "inst line"),
                                Tail("given", own, Id21("ID"), "ex"),
                                Tail("given2", own, IdType("M", "T"), "mt"),
                            });
  EXPECT_TRUE(tracetest::Records(spec_->File(1)).empty()) << "instance records stay in its ring";
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);
}

TEST_F(Records, IdsAndTypesCutAndPadded) {
  const std::string own = OwnThreadId();
  ZELKWSYM_PutWithId(0, "123456789012345678901", "exact");
  ZELKWSYM_PutWithId(0, "1234567890123456789012", "cut");
  ZELKWSYM_PutWithMsgType(0, "12345678901234567", "12345678901234567", "TYPE5", "both cut");
  ZELKWSYM_PutWithIdAndTidEx(0, "a", "123456789", "i", "tid cut");
  ExpectRecords(spec_->File(1),
                {
                    Tail("recapp", own, "123456789012345678901 ", "exact"),
                    Tail("recapp", own, "123456789012345678901 ", "cut"),
                    Tail("1234567890123456", own, "1234567890123456 TYPE ", "both cut"),
                    Tail("a", "12345678", Id21("i"), "tid cut"),
                });
}

TEST_F(Records, LongTextsAreCut) {
  std::string big = Text(5000);
  ZELKWSYM_PutWithId(0, "ID", big.c_str());
  ZELKWSYM_PutLine(0, big.c_str());
  auto recs = tracetest::Records(spec_->File(1));
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0].size(), 90u + 4095u);
  EXPECT_EQ(recs[1].size(), 68u + 4117u);
  std::string content = ReadFile(spec_->File(1));
  EXPECT_EQ(content.substr(content.size() - 2), "\r\n");
}

TEST_F(Records, StarTimeStampsOnlyWhereTheModeApplies) {
  EXPECT_EQ(ZELKWSYM_SetTimeStumpMode(1), 1);
  EXPECT_EQ(ZELKWSYM_GetTimeStumpMode(), 1);
  ZELKWSYM_PutWithId(0, "A", "1");
  ZELKWSYM_PutLine(0, "2");
  ZELKWSYM_PutWithIdEx(0, "x", "A", "3");
  ZELKWSYM_PutWithMsgType(0, "x", "A", "B", "4");
  ZELKWSYM_PutWithIdAndTidEx(0, "x", "T", "A", "real");
  auto recs = tracetest::Records(spec_->File(1));
  ASSERT_EQ(recs.size(), 5u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(recs[i].substr(5, 23), "****/**/** **:**:**.***") << "record " << i;
  }
  EXPECT_NE(recs[4].substr(5, 23), "****/**/** **:**:**.***")
      << "puts with a caller-given thread id always show the time";
}

TEST_F(Records, CounterWrapsAfter9999) {
  ZELKWSYM_PutWithId(0, "A", "first");
  int c = Counter(tracetest::Records(spec_->File(1)).at(0));
  ZELKWSYM_SetFileThreshold(-1);  // built and numbered, but not written
  int k = (9999 - (c + 1) + 10000) % 10000;
  for (int i = 0; i < k; ++i) ASSERT_EQ(ZELKWSYM_PutWithId(0, "A", "skipped"), 0);
  ZELKWSYM_SetFileThreshold(0);
  ZELKWSYM_PutWithId(0, "A", "9999");
  ZELKWSYM_PutWithId(0, "A", "0000");
  auto recs = tracetest::Records(spec_->File(1));
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[1].substr(0, 4), "9999");
  EXPECT_EQ(recs[2].substr(0, 4), "0000");
}

TEST_F(Records, LevelAndThresholdFiltering) {
  EXPECT_EQ(ZELKWSYM_PutWithId(1000, "A", "above level 0"), 0);
  EXPECT_EQ(Last().code, 0u) << "a filtered put leaves the error word alone";
  ZELKWSYM_PutWithId(0, "L", "start");
  EXPECT_EQ(ZELKWSYM_SetLogLevel(5), 0);
  EXPECT_EQ(ZELKWSYM_SetFileThreshold(3), 0);
  for (int level = 0; level <= 6; ++level) {
    EXPECT_EQ(ZELKWSYM_PutWithId(level, "L", std::to_string(level).c_str()), 0);
  }
  auto recs = tracetest::Records(spec_->File(1));
  ASSERT_EQ(recs.size(), 4u);
  for (int i = 1; i < 4; ++i) EXPECT_EQ(recs[i].substr(90), std::to_string(i + 2));
  EXPECT_EQ(Counter(recs[1]), (Counter(recs[0]) + 4) % 10000)
      << "levels 0..2 were built (numbered) although they did not reach the file";
  EXPECT_EQ(ZELKWSYM_SetFileThreshold(-1), 3);
  ZELKWSYM_PutWithId(5, "L", "no file");
  EXPECT_EQ(ZELKWSYM_SetLogLevel(-1), 5);
  ZELKWSYM_PutWithId(0, "L", "nothing");
  ZELKWSYM_SetFileThreshold(0);
  ZELKWSYM_SetLogLevel(0);
  ZELKWSYM_PutWithId(0, "L", "back");
  recs = tracetest::Records(spec_->File(1));
  ASSERT_EQ(recs.size(), 5u);
  EXPECT_EQ(Counter(recs[4]), (Counter(recs[3]) + 2) % 10000)
      << "the no-file record took a number; the record under level -1 took none";
}

TEST_F(Records, LevelSettersRejectOutOfRange) {
  EXPECT_EQ(ZELKWSYM_SetLogLevel(1001), 0);
  EXPECT_ERROR(0x02000001);
  EXPECT_EQ(ZELKWSYM_GetLogLevel(), 0);
  EXPECT_EQ(ZELKWSYM_SetLogLevel(-2), 0);
  EXPECT_ERROR(0x02000001);
  EXPECT_EQ(ZELKWSYM_SetFileThreshold(1001), 0);
  EXPECT_ERROR(0x04000001);
  EXPECT_EQ(ZELKWSYM_SetLogLevel(1000), 0);
  EXPECT_ERROR(0);
  EXPECT_EQ(ZELKWSYM_GetLogLevel(), 1000);
  EXPECT_EQ(ZELKWSYM_SetShmThreshold(7), 0);
  EXPECT_EQ(ZELKWSYM_SetTimeStumpMode(42), 42) << "any mode value is stored";
}

TEST_F(Records, PutArgumentErrors) {
  EXPECT_EQ(ZELKWSYM_PutWithId(1001, "A", "t"), -1);
  EXPECT_ERROR(0x09000001);
  EXPECT_EQ(ZELKWSYM_PutLine(-1, "t"), -1);
  EXPECT_ERROR(0x08000001);
  EXPECT_EQ(ZELKWSYM_PutWithIdEx(0, "a", "A", nullptr), -1);
  EXPECT_ERROR(0x0A000001);
  EXPECT_EQ(ZELKWSYM_PutWithMsgType(0, "a", "A", "T", nullptr), -1);
  EXPECT_ERROR(0x20000001);
  EXPECT_EQ(ZELKWSYM_PutWithIdAndTidEx(2000, "a", "t", "A", "x"), -1);
  EXPECT_ERROR(0x23000001);
  EXPECT_EQ(ZELKWSYM_PutWithMsgTypeAndTid(0, "a", "t", "A", "T", nullptr), -1);
  EXPECT_ERROR(0x24000001);
  EXPECT_EQ(ZELKWSYM_Finalize(), 0);
  EXPECT_EQ(ZELKWSYM_PutWithId(0, "A", "t"), -1);
  EXPECT_ERROR(0x0900000B);
  EXPECT_EQ(ZELKWSYM_PutWithMsgTypeAndTid(0, "a", "t", "A", "T", "x"), -1);
  EXPECT_ERROR(0x2400000B);
}

TEST_F(Records, InstancePutAndLevelErrors) {
  Spec is(dir_ + "/ie", 1 << 20, 1);
  VESKTraceObject* obj = nullptr;
  ASSERT_EQ(ZELKWSYM_CreateInstance(&obj, is.get(), "ie"), 0);
  EXPECT_EQ(ZELKWSYM_PutInstanceWithId(nullptr, 0, "A", "t"), -1);
  EXPECT_ERROR(0x16000001);
  EXPECT_EQ(ZELKWSYM_PutInstanceLine(obj, 1001, "t"), -1);
  EXPECT_ERROR(0x15000001);
  EXPECT_EQ(ZELKWSYM_PutInstanceWithIdEx(obj, 0, "a", "A", nullptr), -1);
  EXPECT_ERROR(0x17000001);
  // A handle whose mark does not read "LIVE".
  alignas(16) unsigned char fake[256] = {'D', 'E', 'A', 'D'};
  auto* dead = reinterpret_cast<VESKTraceObject*>(fake);
  EXPECT_EQ(ZELKWSYM_PutInstanceWithMsgType(dead, 0, "a", "A", "T", "t"), -1);
  EXPECT_ERROR(0x2100000B);
  EXPECT_EQ(ZELKWSYM_SetInstanceLogLevel(nullptr, 3), 0);
  EXPECT_ERROR(0x0F000001);
  EXPECT_EQ(ZELKWSYM_SetInstanceLogLevel(dead, 3), 0);
  EXPECT_ERROR(0x0F00000B);
  EXPECT_EQ(ZELKWSYM_GetInstanceLogLevel(dead), 0);
  EXPECT_ERROR(0x1000000B);
  EXPECT_EQ(ZELKWSYM_GetInstanceLogLevel(nullptr), 0);
  EXPECT_ERROR(0x10000001);
  EXPECT_EQ(ZELKWSYM_SetInstanceLogLevel(obj, 4), 0);
  EXPECT_EQ(ZELKWSYM_SetInstanceLogLevel(obj, 1001), 4);
  EXPECT_ERROR(0x0F000001);
  EXPECT_EQ(ZELKWSYM_GetInstanceLogLevel(obj), 4);
  EXPECT_EQ(ZELKWSYM_SetInstanceFileThreshold(obj, 2), 0);
  EXPECT_EQ(ZELKWSYM_SetInstanceFileThreshold(obj, -5), 2);
  EXPECT_ERROR(0x11000001);
  for (int level = 0; level <= 5; ++level) {
    ZELKWSYM_PutInstanceWithId(obj, level, "L", std::to_string(level).c_str());
  }
  auto recs = tracetest::Records(is.File(1));
  ASSERT_EQ(recs.size(), 3u) << "instance levels 2..4 reach its file";
  EXPECT_EQ(recs[0].substr(90), "2");
  EXPECT_EQ(recs[2].substr(90), "4");
  EXPECT_EQ(ZELKWSYM_SetInstanceShmThreshold(obj, 9), 0);
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);
  EXPECT_EQ(ZELKWSYM_DeleteInstance(nullptr), -1);
  EXPECT_ERROR(0x14000001);
}

TEST_F(Records, InertMemoryMapRouteLeavesCode11) {
  EXPECT_EQ(ZELKWSYM_PutWithId(0, "A", "routed to both"), 0);
  uint32_t detail = 99;
  EXPECT_EQ(ZELKWSYM_GetLastError(&detail), 11u)
      << "level 0 reaches the (absent) memory-map object";
  EXPECT_EQ(detail, 0u);
  ZELKWSYM_SetLogLevel(1);
  EXPECT_EQ(ZELKWSYM_PutWithId(1, "A", "file only"), 0);
  EXPECT_ERROR(0);  // level 1 is above the memory-map threshold
  EXPECT_EQ(ZELKWSYM_PutToShm(0, "A", "t"), 0);
  EXPECT_EQ(ZELKWSYM_PutMsgSigSafe(0, "A", "t"), 0);
  EXPECT_EQ(tracetest::Records(spec_->File(1)).size(), 2u);
}

TEST_F(Records, LifecycleErrorWords) {
  EXPECT_EQ(ZELKWSYM_Initialize(spec_->get(), "again"), -1);
  EXPECT_ERROR(0x0600000B);
  ZELKWSYM_PutWithId(0, "A", "name unchanged");
  EXPECT_EQ(tracetest::Records(spec_->File(1)).at(0).substr(33, 16), "recapp          ");
  EXPECT_EQ(ZELKWSYM_Finalize(), 0);
  EXPECT_EQ(ZELKWSYM_Finalize(), -1);
  EXPECT_ERROR(0x0700000B);
  EXPECT_EQ(ZELKWSYM_FileBufferFlush(), -1);
  EXPECT_ERROR(0x0B00000B);
  EXPECT_EQ(ZELKWSYM_ChFileAttr(0644), -1);
  EXPECT_ERROR(0x2500000B);
  EXPECT_EQ(ZELKWSYM_ChInstanceFileAttr(nullptr, 0644), -1);
  EXPECT_ERROR(0x26000001);
  EXPECT_EQ(Last().detail, 0u);
  EXPECT_EQ(ZELKWSYM_InstanceFileBufferFlush(nullptr), -1);
  EXPECT_ERROR(0x18000001);
  EXPECT_EQ(ZELKWSYM_CreateInstance(nullptr, spec_->get(), "x"), -1);
  EXPECT_ERROR(0x13000001);
  VESKTraceObject* obj = reinterpret_cast<VESKTraceObject*>(1);
  Spec bad(dir_ + "/bad", 4095, 1);
  EXPECT_EQ(ZELKWSYM_CreateInstance(&obj, bad.get(), "x"), -1);
  EXPECT_ERROR(0x13000001);
  EXPECT_EQ(obj, nullptr);
  Spec many(dir_ + "/many", 4096, 17);
  EXPECT_EQ(ZELKWSYM_Initialize(many.get(), "x"), -1);
  EXPECT_ERROR(0x06000001);
  EXPECT_FALSE(Exists(many.File(1)));
  Spec sixteen(dir_ + "/sixteen", 4096, 16);
  EXPECT_EQ(ZELKWSYM_Initialize(sixteen.get(), "x"), 0);
  EXPECT_EQ(ZELKWSYM_FileBufferFlush(), 0);
  uint32_t detail = 1234;
  EXPECT_EQ(ZELKWSYM_GetLastError(nullptr), 0u);
  EXPECT_EQ(ZELKWSYM_GetLastError(&detail), 0u);
  EXPECT_EQ(detail, 0u);
}

TEST_F(Records, ApplicationNameIsCutOrPadded) {
  ZELKWSYM_Finalize();
  ASSERT_EQ(ZELKWSYM_Initialize(spec_->get(), "twenty-characters-xx"), 0);
  ZELKWSYM_PutWithId(0, "A", "t");
  ZELKWSYM_Finalize();
  ASSERT_EQ(ZELKWSYM_Initialize(spec_->get(), ""), 0);
  ZELKWSYM_PutWithId(0, "A", "t");
  auto recs = tracetest::Records(spec_->File(1));
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0].substr(33, 17), "twenty-character ");
  EXPECT_EQ(recs[1].substr(33, 17), std::string(17, ' '));
}

TEST_F(Records, LockValuesRefusedWithSingleProcessRing) {
  EXPECT_EQ(ZELKWSYM_SetLockRetryTimes(5), -1);
  EXPECT_ERROR(0x2C00001C);
  EXPECT_EQ(ZELKWSYM_GetLockWaitTime(), -1);
  EXPECT_ERROR(0x2900001C);
  ZELKWSYM_Finalize();
  EXPECT_EQ(ZELKWSYM_SetLockRetryTimes(0), 20);
  EXPECT_EQ(ZELKWSYM_GetLockRetryTimes(), 1) << "a retry count below 1 is stored as 1";
  EXPECT_EQ(ZELKWSYM_SetLockWaitTime(-5), 1);
  EXPECT_EQ(ZELKWSYM_GetLockWaitTime(), 0) << "a negative wait is stored as 0";
  ZELKWSYM_SetLockRetryTimes(20);
  ZELKWSYM_SetLockWaitTime(1);
  EXPECT_EQ(ZELKWSYM_SetInstanceLockWaitTime(nullptr, 7), 1);
  EXPECT_EQ(ZELKWSYM_GetInstanceLockWaitTime(nullptr), 7);
  EXPECT_EQ(ZELKWSYM_SetInstanceLockRetryTimes(nullptr, -1), 20);
  EXPECT_EQ(ZELKWSYM_GetInstanceLockRetryTimes(nullptr), 1);
  ZELKWSYM_SetInstanceLockWaitTime(nullptr, 1);
  ZELKWSYM_SetInstanceLockRetryTimes(nullptr, 20);
  alignas(16) unsigned char fake[256] = {'D', 'E', 'A', 'D'};
  auto* dead = reinterpret_cast<VESKTraceObject*>(fake);
  EXPECT_EQ(ZELKWSYM_SetInstanceLockWaitTime(dead, 3), -1);
  EXPECT_ERROR(0x2E00000B);
  Spec is(dir_ + "/lv", 4096, 1);
  VESKTraceObject* obj = nullptr;
  ASSERT_EQ(ZELKWSYM_CreateInstance(&obj, is.get(), "lv"), 0);
  EXPECT_EQ(ZELKWSYM_GetInstanceLockRetryTimes(obj), -1);
  EXPECT_ERROR(0x2F00001C);
  EXPECT_EQ(ZELKWSYM_DeleteInstance(obj), 0);
}

TEST(Version, BannerShape) {
  std::string v = ZELKWSYM_version_string;
  EXPECT_EQ(v.rfind("$Version: ", 0), 0u) << v;
  EXPECT_NE(v.find("Last Update: "), std::string::npos) << v;
  EXPECT_EQ(v.substr(v.size() - 2), " $") << v;
}

}  // namespace
}  // namespace tracetest
