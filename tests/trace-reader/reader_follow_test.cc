// A reader following a ring while writer processes go on: through the
// follower's file-to-file logic on top of the library.
#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include "reader_api.h"
#include "ring_follower.h"
#include "trace-reader/records.h"
#include "trace-reader/ring_writer.h"
#include "trace-reader/test_util.h"
#include "trace-reader/writer_procs.h"
#include "vesk2_trace_format.h"

namespace tw::test {
namespace {

volatile sig_atomic_t g_stop = 0;
void OnAlarm(int) { g_stop = 1; }

struct FollowResult {
  std::string output;
  std::vector<std::string> notices;
  int overruns = 0;
  bool timedOut = false;
};

// Follows the ring until every writer's last record has been printed.
FollowResult Follow(const std::string& prefix, const WriterPlan& plan, int timeoutS) {
  FollowResult r;
  std::vector<std::string> last;
  for (int id = 1; id <= plan.writers; ++id) {
    last.push_back(MakeRecord(id, plan.records - 1, plan.maxPayload));
  }
  std::vector<bool> seen(last.size(), false);
  size_t found = 0;
  auto out = [&](const char* bytes, size_t n) {
    // A record may straddle two chunks: look back by one record's length.
    const size_t from = r.output.size() > 400 ? r.output.size() - 400 : 0;
    r.output.append(bytes, n);
    for (size_t i = 0; i < last.size(); ++i) {
      if (!seen[i] && r.output.find(last[i], from) != std::string::npos) {
        seen[i] = true;
        ++found;
      }
    }
    if (found == last.size()) g_stop = 1;
    return true;
  };
  auto notice = [&](const std::string& m) { r.notices.push_back(m); };
  follow::RingFollower follower(FOLLOW_LINKED_READER_API, follow::PathsForPrefix(prefix), out,
                                notice);
  follow::FollowSettings settings;
  settings.follow = true;
  settings.pollMs = 1;
  g_stop = 0;
  signal(SIGALRM, OnAlarm);
  alarm(timeoutS);
  EXPECT_EQ(0, follower.Run(settings, &g_stop));
  r.timedOut = alarm(0) == 0;
  r.overruns = follower.overruns();
  return r;
}

std::string Notices(const FollowResult& r) {
  std::string s;
  for (const auto& n : r.notices) s += "\n  " + n;
  return s;
}

TEST(ReaderFollow, LargeRingEveryRecordExactlyOnceAndInOrder) {
  ScratchDir dir;
  RingShape shape;
  shape.prefix = dir.path() + "/big";
  shape.fileSize = 1 << 20;
  shape.fileNum = 4;
  RingWriter creator(shape);
  ASSERT_TRUE(creator.Open()) << creator.error();
  WriterPlan plan;
  plan.writers = 3;
  plan.records = 1200;
  const auto pids = StartWriters(shape, plan);
  const FollowResult r = Follow(shape.prefix, plan, 120);
  ASSERT_TRUE(WaitWriters(pids)) << "a writer process failed";
  ASSERT_FALSE(r.timedOut) << "not every record arrived within 120 s" << Notices(r);

  const ParseResult p = ParseRecords(r.output, plan.maxPayload);
  EXPECT_TRUE(p.bad.empty()) << p.bad.size() << " torn lines, first: " << p.bad[0];
  EXPECT_EQ("", p.rest);
  EXPECT_EQ(0, r.overruns) << Notices(r);
  const auto by = ByWriter(p.records);
  ASSERT_EQ(3u, by.size());
  for (const auto& [writer, seqs] : by) {
    ASSERT_EQ(static_cast<size_t>(plan.records), seqs.size()) << "writer " << writer;
    for (int i = 0; i < plan.records; ++i) {
      ASSERT_EQ(i, seqs[i]) << "writer " << writer << ": record " << i << " out of place";
    }
  }
  // One process line per writer (and the creator), no header block repeats.
  EXPECT_EQ(3 * 4, p.headerLines);
}

TEST(ReaderFollow, SmallRingWrappingManyTimesGivesWholeRecordsInOrder) {
  ScratchDir dir;
  RingShape shape;
  shape.prefix = dir.path() + "/small";
  // 32 KiB in all, about 160 records: the writers go round it about seven
  // times. A writer pause of 1 ms keeps one file's worth of records (some
  // 30 ms) longer than any pause the follower sees between two looks at the
  // ring on a busy machine; a follower stalled for longer could be lapped
  // unnoticed, which no reader of this format can detect.
  shape.fileSize = 8192;
  shape.fileNum = 4;
  RingWriter creator(shape);
  ASSERT_TRUE(creator.Open()) << creator.error();
  WriterPlan plan;
  plan.writers = 2;
  plan.records = 600;
  plan.pauseUs = 1000;
  const auto pids = StartWriters(shape, plan);
  const FollowResult r = Follow(shape.prefix, plan, 120);
  ASSERT_TRUE(WaitWriters(pids)) << "a writer process failed";
  ASSERT_FALSE(r.timedOut) << "the last records did not arrive within 120 s" << Notices(r);

  const ParseResult p = ParseRecords(r.output, plan.maxPayload);
  EXPECT_TRUE(p.bad.empty()) << p.bad.size() << " torn lines, first: " << p.bad[0];
  EXPECT_EQ("", p.rest);
  const auto by = ByWriter(p.records);
  ASSERT_EQ(2u, by.size());
  for (const auto& [writer, seqs] : by) {
    for (size_t i = 1; i < seqs.size(); ++i) {
      ASSERT_LT(seqs[i - 1], seqs[i]) << "writer " << writer << " at " << i;
    }
    EXPECT_EQ(plan.records - 1, seqs.back()) << "writer " << writer << ": newest record missing";
  }
}

// A follower that falls a whole ring behind: here its output stalls while
// the writers go once round the ring and back into the file it reads.
// With one file the writers come back behind the reader's position; with
// three files of 256 KiB the reader is one 64 KiB chunk into file 1 when the
// writers come back into it and pass that point.
class ReaderOverrun : public ::testing::TestWithParam<std::tuple<int, uint32_t>> {};

TEST_P(ReaderOverrun, FollowerThatFallsARingBehindSaysSoAndStartsTheFileAgain) {
  ScratchDir dir;
  RingShape shape;
  shape.prefix = dir.path() + "/lap";
  shape.fileNum = std::get<0>(GetParam());
  shape.fileSize = std::get<1>(GetParam());
  RingWriter writer(shape);
  ASSERT_TRUE(writer.Open()) << writer.error();
  const std::string mng = RingMngPath(shape.prefix);
  auto word = [&](int i) {
    uint32_t w = 0;
    memcpy(&w, ReadFile(mng).data() + 4 * i, 4);
    return w;
  };
  int seq = 0;
  if (shape.fileNum > 1) {
    while (word(VESK2_MNG_W_CUR_FILE) == 1) ASSERT_TRUE(writer.Put(MakeRecord(1, seq++)));
  } else {
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(writer.Put(MakeRecord(1, seq++)));
  }

  std::string out;
  std::vector<std::string> notices;
  bool lapped = false;
  auto emit = [&](const char* b, size_t n) {
    out.append(b, n);
    if (lapped) return true;
    lapped = true;
    // Round the ring: back into file 1, and behind the reader's position.
    const uint32_t before = word(VESK2_MNG_W_OFFSET);
    bool left = shape.fileNum == 1;
    for (;;) {
      EXPECT_TRUE(writer.Put(MakeRecord(1, seq++))) << writer.error();
      const uint32_t cur = word(VESK2_MNG_W_CUR_FILE);
      if (cur != 1) left = true;
      const uint32_t off = word(VESK2_MNG_W_OFFSET);
      if (left && cur == 1 && (shape.fileNum > 1 ? off > 100000 : off < before)) break;
    }
    return true;
  };
  follow::RingFollower follower(FOLLOW_LINKED_READER_API, follow::PathsForPrefix(shape.prefix),
                                emit, [&](const std::string& m) { notices.push_back(m); });
  follow::FollowSettings settings;
  ASSERT_EQ(0, follower.Run(settings, nullptr));
  ASSERT_TRUE(lapped) << "nothing was read before the lap";

  EXPECT_EQ(1, follower.overruns());
  ASSERT_EQ(1u, notices.size());
  EXPECT_NE(std::string::npos, notices[0].find("wrapped round into this file")) << notices[0];
  EXPECT_NE(std::string::npos, notices[0].find(RingTracePath(shape.prefix, 1))) << notices[0];
  const ParseResult p = ParseRecords(out);
  EXPECT_TRUE(p.bad.empty()) << p.bad.size() << " bad lines, first: " << p.bad[0];
  ASSERT_FALSE(p.records.empty());
  for (size_t i = 1; i < p.records.size(); ++i) {
    ASSERT_LT(p.records[i - 1].seq, p.records[i].seq) << "at " << i;
  }
  EXPECT_EQ(seq - 1, p.records.back().seq) << "the newest record is missing";
}

INSTANTIATE_TEST_SUITE_P(FileCounts, ReaderOverrun,
                         ::testing::Values(std::make_tuple(1, 4096u),
                                           std::make_tuple(3, 256u * 1024)));

// A dump (no follow) of rings written with each writer option, before and
// after they wrapped: exactly the ring's data, oldest first.
class ReaderDump : public ::testing::TestWithParam<std::tuple<uint32_t, int>> {};

TEST_P(ReaderDump, IsTheRingsDataOldestFirst) {
  const auto [option, records] = GetParam();
  ScratchDir dir;
  RingShape shape;
  shape.prefix = dir.path() + "/opt";
  shape.fileNum = 4;
  shape.option = option;
  RingWriter writer(shape);
  ASSERT_TRUE(writer.Open()) << writer.error();
  for (int n = 0; n < records; ++n) ASSERT_TRUE(writer.Put(MakeRecord(1, n))) << writer.error();

  std::string out;
  std::vector<std::string> notices;
  follow::RingFollower follower(
      FOLLOW_LINKED_READER_API, follow::PathsForPrefix(shape.prefix),
      [&](const char* b, size_t n) { return out.append(b, n), true; },
      [&](const std::string& m) { notices.push_back(m); });
  follow::FollowSettings settings;
  ASSERT_EQ(0, follower.Run(settings, nullptr));
  EXPECT_TRUE(notices.empty()) << notices[0];
  EXPECT_EQ(RingDataOldestFirst(shape.prefix), out);

  const ParseResult p = ParseRecords(out);
  EXPECT_TRUE(p.bad.empty()) << p.bad.size() << " bad lines, first: " << p.bad[0];
  ASSERT_FALSE(p.records.empty());
  EXPECT_EQ(records - 1, p.records.back().seq);
  for (size_t i = 1; i < p.records.size(); ++i) {
    ASSERT_EQ(p.records[i - 1].seq + 1, p.records[i].seq) << "at " << i;
  }
  if (option & VESK2_MODE_NO_HEADER) {
    EXPECT_LE(p.headerLines, 3) << "header block at a switch";
  }
}

INSTANTIATE_TEST_SUITE_P(
    WriterOptions, ReaderDump,
    ::testing::Combine(::testing::Values(0u, VESK2_MODE_NO_FILL, VESK2_MODE_CURRENT_ONLY,
                                         VESK2_MODE_NO_HEADER, VESK2_MODE_NO_LOCK,
                                         VESK2_MODE_NO_PROC_LINE,
                                         VESK2_MODE_NO_FILL | VESK2_MODE_CURRENT_ONLY),
                       ::testing::Values(5, 120)));

}  // namespace
}  // namespace tw::test
