// Reading through the mapping, and how the end of data is worked out.
#include <limits.h>
#include <unistd.h>

#include "trace-reader/reader_fixture.h"
#include "trace-reader/records.h"

namespace tw::test {
namespace {

class ReadTest : public ReaderTest {
 protected:
  // File 1 holds content; the writer is in it at the content's end.
  void Current(const std::string& content, size_t size = 4096) {
    WriteTrace(1, content, size);
    RecordWords w;
    w.offset = static_cast<uint32_t>(content.size());
    WriteRecord(w);
    OpenAll(1);
  }
};

TEST_F(ReadTest, ReadGetCharAndGetLineStopAtTheDataEnd) {
  Current("first\r\nsecond line\r\n");
  char buf[64];
  EXPECT_EQ(0, ZELKWSYM_MpttRead(inst_, buf, 64)) << "nothing before the data end is asked";
  EXPECT_EQ(20, ZELKWSYM_MpttGetCurrentOffset(inst_));
  EXPECT_EQ('f', ZELKWSYM_MpttGetChar(inst_));
  EXPECT_EQ(6, ZELKWSYM_MpttGetLine(inst_, buf, 64));
  EXPECT_STREQ("irst\r\n", buf);
  EXPECT_EQ(4, ZELKWSYM_MpttRead(inst_, buf, 4));
  EXPECT_EQ(0, memcmp(buf, "seco", 4));
  EXPECT_EQ(9, ZELKWSYM_MpttGetLine(inst_, buf, 64));
  EXPECT_STREQ("nd line\r\n", buf) << "CR is copied as it is";
  EXPECT_EQ(20, ZELKWSYM_MpttTell(inst_));
  EXPECT_EQ(-1, ZELKWSYM_MpttGetChar(inst_));
  EXPECT_EQ(0, ZELKWSYM_MpttRead(inst_, buf, 64));
  strcpy(buf, "untouched");
  EXPECT_EQ(0, ZELKWSYM_MpttGetLine(inst_, buf, 64));
  EXPECT_STREQ("untouched", buf) << "GetLine at the end must leave the buffer alone";
}

TEST_F(ReadTest, GetLineBufferLimits) {
  Current("abcdefgh\r\nz\r\n");
  ASSERT_EQ(13, ZELKWSYM_MpttGetCurrentOffset(inst_));
  char buf[16] = "xxxxxxxxxxxxxxx";
  EXPECT_EQ(0, ZELKWSYM_MpttGetLine(inst_, buf, 0));
  EXPECT_EQ('x', buf[0]) << "size 0 stores nothing";
  EXPECT_EQ(0, ZELKWSYM_MpttGetLine(inst_, buf, 1));
  EXPECT_STREQ("", buf) << "size 1 stores an empty string";
  EXPECT_EQ(0, ZELKWSYM_MpttTell(inst_)) << "size 1 must not move";
  EXPECT_EQ(4, ZELKWSYM_MpttGetLine(inst_, buf, 5));
  EXPECT_STREQ("abcd", buf);
  EXPECT_EQ(6, ZELKWSYM_MpttGetLine(inst_, buf, 16));
  EXPECT_STREQ("efgh\r\n", buf);
  EXPECT_EQ(3, ZELKWSYM_MpttGetLine(inst_, buf, 16));
  EXPECT_STREQ("z\r\n", buf);
}

TEST_F(ReadTest, BadBuffersAndLengthsGiveCode1) {
  Current("data\r\n");
  ASSERT_EQ(6, ZELKWSYM_MpttGetCurrentOffset(inst_));
  char buf[8];
  EXPECT_EQ(0, ZELKWSYM_MpttRead(inst_, nullptr, 4));
  EXPECT_EQ(1, ZELKWSYM_MpttGetLastError(inst_));
  ZELKWSYM_MpttClearError(inst_);
  EXPECT_EQ(0, ZELKWSYM_MpttRead(inst_, buf, -1));
  EXPECT_EQ(1, ZELKWSYM_MpttGetLastError(inst_));
  ZELKWSYM_MpttClearError(inst_);
  EXPECT_EQ(0, ZELKWSYM_MpttGetLine(inst_, nullptr, 8));
  EXPECT_EQ(1, ZELKWSYM_MpttGetLastError(inst_));
  ZELKWSYM_MpttClearError(inst_);
  EXPECT_EQ(0, ZELKWSYM_MpttGetLine(inst_, buf, -5));
  EXPECT_EQ(1, ZELKWSYM_MpttGetLastError(inst_));
  EXPECT_EQ(0, ZELKWSYM_MpttTell(inst_)) << "failed calls moved the position";
}

TEST_F(ReadTest, SeekIsBoundedByTheMappingNotTheDataEnd) {
  Current("0123456789\r\n");
  ASSERT_EQ(12, ZELKWSYM_MpttGetCurrentOffset(inst_));
  EXPECT_EQ(0, ZELKWSYM_MpttSeek(inst_, 4, VESK2_MPTT_SEEK_SET));
  EXPECT_EQ('4', ZELKWSYM_MpttGetChar(inst_));
  EXPECT_EQ(0, ZELKWSYM_MpttSeek(inst_, -2, VESK2_MPTT_SEEK_CUR));
  EXPECT_EQ(3, ZELKWSYM_MpttTell(inst_));
  EXPECT_EQ(0, ZELKWSYM_MpttSeek(inst_, 100, VESK2_MPTT_SEEK_SET)) << "beyond the data end";
  EXPECT_EQ(-1, ZELKWSYM_MpttGetChar(inst_));
  EXPECT_EQ(0, ZELKWSYM_MpttSeek(inst_, 0, VESK2_MPTT_SEEK_END));
  EXPECT_EQ(4096, ZELKWSYM_MpttTell(inst_)) << "origin 2 counts from the mapping's end";
  char buf[8];
  EXPECT_EQ(0, ZELKWSYM_MpttRead(inst_, buf, 8));
  EXPECT_EQ(0, ZELKWSYM_MpttSeek(inst_, -4096, VESK2_MPTT_SEEK_END));
  EXPECT_EQ(0, ZELKWSYM_MpttTell(inst_));

  struct Bad {
    long offset;
    int origin;
    int code;
  } bad[] = {{-1, 0, 14}, {4097, 0, 14},  {-6, 1, 14}, {LONG_MAX, 1, 14},
             {1, 2, 14},  {-4097, 2, 14}, {0, 3, 1},   {0, -1, 1}};
  ASSERT_EQ(0, ZELKWSYM_MpttSeek(inst_, 5, 0));
  for (const Bad& b : bad) {
    ZELKWSYM_MpttClearError(inst_);
    EXPECT_EQ(b.code, ZELKWSYM_MpttSeek(inst_, b.offset, b.origin))
        << "offset " << b.offset << " origin " << b.origin;
    EXPECT_EQ(b.code, ZELKWSYM_MpttGetLastError(inst_));
    EXPECT_EQ(5, ZELKWSYM_MpttTell(inst_)) << "a failed seek moved the position";
  }
  EXPECT_EQ(0, ZELKWSYM_MpttSeek(inst_, 4091, 1)) << "exactly the mapping's end";
}

TEST_F(ReadTest, FileOfAnotherCurrentFileEndsAtItsEndByte) {
  WriteTrace(2, "a\r\nb\x1a still data\r\n\xfe\xff tail \x1a\r\nmore");
  WriteRecord({});  // writer in file 1
  OpenAll(2);
  // Scanning from 0 starts on a line: "a\r\n" then "b\x1a" ends the data.
  EXPECT_EQ(4, ZELKWSYM_MpttGetCurrentOffset(inst_));
  EXPECT_EQ("a\r\nb", ReadAvailable());
}

TEST_F(ReadTest, ScanFromTheMiddleWaitsForALineEnd) {
  // The writer was in file 1 at 5; after it left, the byte at 5 is no longer
  // the end byte, and the 0x1A later on that line does not end the data.
  const std::string first = "rec1\r";
  WriteTrace(1, first);
  RecordWords w;
  w.offset = 5;
  WriteRecord(w);
  OpenAll(1);
  ASSERT_EQ(5, ZELKWSYM_MpttGetCurrentOffset(inst_));
  ASSERT_EQ(first, ReadAvailable());
  WriteTrace(1, first + "x\x1a rest\r\nrec2\r\n");  // the end byte is now at 20
  w.curFile = 2;
  w.offset = 0;
  WriteRecord(w);
  EXPECT_EQ(20, ZELKWSYM_MpttGetCurrentOffset(inst_));
  EXPECT_EQ("x\x1a rest\r\nrec2\r\n", ReadAvailable());
}

TEST_F(ReadTest, ByteOrderMarkOnALineLetsTheEndByteStandAnywhereAfterIt) {
  WriteTrace(2, std::string("ab\r\n12\xff\xfe xyz\x1a"));
  // In file 2 the end byte of WriteTrace follows too, but the first one wins.
  WriteRecord({});
  OpenAll(2);
  EXPECT_EQ(12, ZELKWSYM_MpttGetCurrentOffset(inst_));
  // Only the pair counts: a lone 0xFE is ignored.
  ZELKWSYM_MpttClose(inst_);
  ZELKWSYM_MpttCloseManagementFile(inst_);
  ZELKWSYM_MpttDeleteInstance(inst_);
  inst_ = nullptr;
  WriteTrace(3, std::string("ab\r\n12\xfe xyz\x1a more\r\nz"));
  OpenAll(3);
  EXPECT_EQ(20, ZELKWSYM_MpttGetCurrentOffset(inst_)) << "a lone 0xFE hides the rest of its line";
}

TEST_F(ReadTest, FileWithoutAnEndByteIsReadToItsMappedEnd) {
  WriteRecord({});
  ASSERT_TRUE(WriteFile(TracePath(2), std::string(5000, 'q')));
  OpenAll(2);
  EXPECT_EQ(5000, ZELKWSYM_MpttGetCurrentOffset(inst_));
}

TEST_F(ReadTest, WriterWrappingIntoThisFileWithLessDataGivesItsSmallerOffset) {
  const std::string old = "old record one\r\nold record two\r\n";
  Current(old);
  ASSERT_EQ(static_cast<long>(old.size()), ZELKWSYM_MpttGetCurrentOffset(inst_));
  ASSERT_EQ(old, ReadAvailable());
  // The writers went round the ring and are back in file 1 with one short
  // record; the old end byte still stands at the old end.
  std::string bytes = ReadFile(TracePath(1));
  const std::string fresh = "new\r\n";
  bytes.replace(0, fresh.size(), fresh);
  bytes[fresh.size()] = '\x1a';
  ASSERT_TRUE(WriteFile(TracePath(1), bytes));
  RecordWords w;
  w.offset = static_cast<uint32_t>(fresh.size());
  WriteRecord(w);
  EXPECT_EQ(5, ZELKWSYM_MpttGetCurrentOffset(inst_));
  char buf[8];
  EXPECT_EQ(0, ZELKWSYM_MpttRead(inst_, buf, 8)) << "the reader is past the new data end";
  ASSERT_EQ(0, ZELKWSYM_MpttSeek(inst_, 0, 0));
  EXPECT_EQ(fresh, ReadAvailable());
}

TEST_F(ReadTest, WriterBehindTheReaderWithoutAnEndByteAtTheOldEnd) {
  // The new end-of-data mark covers the old end byte: the writer's offset
  // still is the end of what it has written.
  const std::string old = std::string(40, 'o') + "\r\n";
  Current(old);
  ASSERT_EQ(42, ZELKWSYM_MpttGetCurrentOffset(inst_));
  std::string bytes = ReadFile(TracePath(1));
  std::string fresh = std::string(20, 'n') + "\r\n";
  fresh.push_back('\x1a');
  fresh += VESK2_EOD_MARK;
  bytes.replace(0, fresh.size(), fresh);
  ASSERT_TRUE(WriteFile(TracePath(1), bytes));
  RecordWords w;
  w.offset = 22;
  WriteRecord(w);
  EXPECT_EQ(22, ZELKWSYM_MpttGetCurrentOffset(inst_));
}

TEST_F(ReadTest, GrowingFileIsMappedAgainWhenTheWriterPassesTheMapping) {
  WriteRecord({});
  ASSERT_TRUE(WriteFile(TracePath(1), "0123456789"));
  OpenAll(1);
  RecordWords w;
  w.offset = 3000;
  WriteRecord(w);
  WriteTrace(1, std::string(2998, 'g') + "\r\n");
  EXPECT_EQ(3000, ZELKWSYM_MpttGetCurrentOffset(inst_));
  EXPECT_EQ(3000u, ReadAvailable().size());
}

TEST_F(ReadTest, EmptyTraceFileIsMappedAtTheRingSizeWithoutTouchingMissingPages) {
  RecordWords w;
  w.fileSize = 8192;
  w.curFile = 2;  // the writers are elsewhere; file 1 is still being created
  WriteRecord(w);
  ASSERT_TRUE(WriteFile(TracePath(1), ""));
  OpenAll(1);
  ASSERT_EQ(0, ZELKWSYM_MpttSeek(inst_, 0, VESK2_MPTT_SEEK_END));
  EXPECT_EQ(8192, ZELKWSYM_MpttTell(inst_)) << "mapped at the record's file size";
  ASSERT_EQ(0, ZELKWSYM_MpttSeek(inst_, 0, 0));
  EXPECT_EQ(0, ZELKWSYM_MpttGetCurrentOffset(inst_)) << "no byte of the file exists yet";
  EXPECT_EQ("", ReadAvailable());
  // The writer now fills it and is in it.
  WriteTrace(1, "filled\r\n", 8192);
  w.curFile = 1;
  w.offset = 8;
  WriteRecord(w);
  EXPECT_EQ("filled\r\n", ReadAvailable());
}

TEST_F(ReadTest, EmptyTraceFileWithoutAValidRecordCannotBeMapped) {
  WriteRecord(With(&RecordWords::fileNum, 99));
  ASSERT_TRUE(WriteFile(TracePath(1), ""));
  ASSERT_EQ(0, OpenMng(1));
  EXPECT_EQ(7, ZELKWSYM_MpttOpen(inst_));
}

// With the test writer: the ring as the writers leave it.
TEST_F(ReaderTest, RingWrittenByAWriterReadsBackHeaderAndRecords) {
  RingShape shape;
  shape.prefix = prefix_;
  shape.fileSize = 4096;
  shape.fileNum = 3;
  RingWriter writer(shape);
  ASSERT_TRUE(writer.Open()) << writer.error();
  std::string expected;
  for (int i = 0; i < 8; ++i) {
    const std::string r = MakeRecord(1, i);
    ASSERT_TRUE(writer.Put(r)) << writer.error();
    expected += r;
  }
  OpenAll(1);
  const std::string got = ReadAvailable();
  ASSERT_GT(got.size(), expected.size());
  EXPECT_EQ(0u, got.rfind("**** ringtest", 0)) << "process line first: " << got.substr(0, 60);
  EXPECT_EQ(expected, got.substr(got.size() - expected.size()));
  const ParseResult p = ParseRecords(got);
  EXPECT_EQ(3, p.headerLines);
  EXPECT_TRUE(p.bad.empty()) << p.bad.size() << " bad lines, first: " << p.bad[0];
}

TEST_F(ReaderTest, RecordLongerThanAFileIsReadWholeFromTheExtendedFile) {
  RingShape shape;
  shape.prefix = prefix_;
  RingWriter writer(shape);
  ASSERT_TRUE(writer.Open()) << writer.error();
  OpenAll(2);  // mapped while file 2 still has the ring's size
  const std::string big = std::string(6000, 'B') + "\r\n";
  ASSERT_TRUE(writer.Put(big)) << writer.error();
  const long end = ZELKWSYM_MpttGetCurrentOffset(inst_);
  ASSERT_GT(end, 4096) << "error " << ZELKWSYM_MpttGetLastError(inst_);
  const std::string got = ReadAvailable();
  EXPECT_EQ(static_cast<size_t>(end), got.size());
  ASSERT_GE(got.size(), big.size());
  EXPECT_EQ(big, got.substr(got.size() - big.size())) << "the long record came back cut";
  EXPECT_EQ(0u, got.rfind("**** Linux", 0)) << "a header block should come first";
}

TEST_F(ReaderTest, ReaderOfOneFileFollowsTheWritersRoundTheRing) {
  RingShape shape;
  shape.prefix = prefix_;
  shape.fileNum = 2;
  RingWriter writer(shape);
  ASSERT_TRUE(writer.Open()) << writer.error();
  OpenAll(1);
  int seq = 0;
  std::vector<int> seen;
  auto readAll = [&]() {
    const ParseResult p = ParseRecords(ReadAvailable());
    EXPECT_TRUE(p.bad.empty()) << "torn: " << (p.bad.empty() ? "" : p.bad[0]);
    EXPECT_EQ("", p.rest) << "a partial record was returned";
    for (const auto& r : p.records) seen.push_back(r.seq);
  };
  for (int lap = 0; lap < 4; ++lap) {
    // Fill file 1 until the writers move on, then follow them back into it.
    const long before = ZELKWSYM_MpttGetCurrentOffset(inst_);
    while (true) {
      ASSERT_TRUE(writer.Put(MakeRecord(1, seq++))) << writer.error();
      readAll();
      const std::string state = ReadFile(RingMngPath(prefix_));
      uint32_t cur;
      memcpy(&cur, state.data() + 20, 4);
      if (cur != 1) break;
    }
    readAll();  // file 1 to its end byte
    while (true) {
      const std::string state = ReadFile(RingMngPath(prefix_));
      uint32_t cur;
      memcpy(&cur, state.data() + 20, 4);
      if (cur == 1) break;
      ASSERT_TRUE(writer.Put(MakeRecord(1, seq++))) << writer.error();
    }
    // Back in file 1 with a single record: less than the reader has read.
    const long now = ZELKWSYM_MpttGetCurrentOffset(inst_);
    ASSERT_LT(now, ZELKWSYM_MpttTell(inst_)) << "lap " << lap << " started at " << before;
    ASSERT_EQ(0, ZELKWSYM_MpttSeek(inst_, 0, 0));
    readAll();
  }
  // What was read of file 1 is increasing and ends with the newest record.
  ASSERT_FALSE(seen.empty());
  for (size_t i = 1; i < seen.size(); ++i) ASSERT_LT(seen[i - 1], seen[i]) << "at " << i;
  EXPECT_EQ(seq - 1, seen.back());
}

}  // namespace
}  // namespace tw::test
