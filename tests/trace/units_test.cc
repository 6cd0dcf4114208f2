// Unit tests of the pieces under the entry points: digits, padding, the
// record columns, the swap template, path normalisation, spec checks and
// the configuration file reader.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "config_file.h"
#include "record_build.h"
#include "state.h"
#include "swap_message.h"

namespace vesk {
namespace {

std::string IntToStr(long value, int width) {
  char buf[16];
  std::memset(buf, 'x', sizeof buf);
  VESK2_IntToStr(buf, value, width);
  return std::string(buf, width > 0 ? static_cast<size_t>(width) : 0) +
         std::string(1, buf[width > 0 ? width : 0]);
}

TEST(IntToStr, WritesExactlyWidthDigits) {
  EXPECT_EQ(IntToStr(12345, 4), "2345x") << "higher digits dropped, nothing written past width";
  EXPECT_EQ(IntToStr(7, 3), "007x");
  EXPECT_EQ(IntToStr(0, 4), "0000x");
  EXPECT_EQ(IntToStr(5, 0), "x") << "width 0 writes nothing";
}

TEST(PutPadded, CutsAndPads) {
  char buf[8];
  PutPadded(buf, "abcdefghij", 5);
  EXPECT_EQ(std::string(buf, 5), "abcde");
  PutPadded(buf, "ab", 5);
  EXPECT_EQ(std::string(buf, 5), "ab   ");
  PutPadded(buf, nullptr, 5);
  EXPECT_EQ(std::string(buf, 5), "     ");
}

// Builds into a thread record of its own, own thread id given.
size_t BuildRecord(char* buf, const char* ownThreadId, const RecordFields& f) {
  static tagVESK_TLS_VAR rec;
  std::memcpy(rec.szThreadId, ownThreadId, 10);
  rec.lStampSecond = -1;
  size_t len = vesk::BuildRecord(&rec, f);
  std::memcpy(buf, rec.szMsgBuf, len + 1);
  return len;
}

TEST(Record, ColumnsOfAnIdRecord) {
  std::strcpy(VESK2_szProcessId, "0000ABCD ");
  char buf[kMsgBufSize];
  RecordFields f;
  f.appName = "app";
  f.msgId = "ZELKW-001-I";
  f.text = "hello";
  f.masked = true;
  size_t len = BuildRecord(buf, "12345678 ", f);
  std::string rec(buf, len);
  ASSERT_EQ(len, 92u + 5u);
  EXPECT_EQ(rec.substr(4), std::string(" ****/**/** **:**:**.***     app             "
                                       " 0000ABCD 12345678 ZELKW-001-I           hello\r\n"));
  EXPECT_EQ(buf[len], '\0');
}

TEST(Record, TypeColumnsAndGivenThreadId) {
  char buf[kMsgBufSize];
  RecordFields f;
  f.appName = "a-very-long-application-name";
  f.ownThreadId = false;
  f.threadId = "TID-TOO-LONG";
  f.msgId = "0123456789ABCDEFGH";
  f.msgType = "TYPEX";
  f.ids = IdColumns::kIdAndType;
  f.text = "t";
  f.masked = true;
  size_t len = BuildRecord(buf, "ignored! ", f);
  std::string rec(buf, len);
  EXPECT_EQ(rec.substr(33, 16), "a-very-long-appl");
  EXPECT_EQ(rec.substr(59, 9), "TID-TOO- ");
  EXPECT_EQ(rec.substr(68, 22), "0123456789ABCDEF TYPE ");
  EXPECT_EQ(rec.substr(90), "t\r\n");
}

TEST(Record, NullGivenThreadIdIsBlankNotOwn) {
  char buf[kMsgBufSize];
  RecordFields f;
  f.ownThreadId = false;
  f.threadId = nullptr;
  f.text = "";
  f.masked = true;
  size_t len = BuildRecord(buf, "OWNOWNOW ", f);
  EXPECT_EQ(std::string(buf + 59, 9), "         ");
  EXPECT_EQ(len, 92u);
}

TEST(Record, TextCutAt4095And4117ForLines) {
  std::string big(5000, 'x');
  char buf[kMsgBufSize];
  RecordFields f;
  f.text = big.c_str();
  f.masked = true;
  EXPECT_EQ(BuildRecord(buf, "-------- ", f), 90u + 4095u + 2u);
  f.ids = IdColumns::kNone;
  size_t len = BuildRecord(buf, "-------- ", f);
  EXPECT_EQ(len, 68u + 4117u + 2u);
  EXPECT_EQ(std::string(buf + len - 3, 3), "x\r\n");
}

TEST(Record, TimeStampIsLocalTimeWithTruncatedMilliseconds) {
  setenv("TZ", "UTC", 1);
  tzset();
  char out[24] = {};
  struct timeval tv = {86400 * 365 + 3661, 999999};  // 1971-01-01 01:01:01.999999
  FormatTimeStamp(out, tv);
  EXPECT_STREQ(out, "1971/01/01 01:01:01.999");
  // Through a thread's cache: same second reuses the text, the next second
  // and a jump back are computed afresh.
  tagVESK_TLS_VAR cache;
  cache.lStampSecond = -1;
  FormatTimeStamp(out, tv, &cache);
  EXPECT_STREQ(out, "1971/01/01 01:01:01.999");
  tv.tv_usec = 5000;
  FormatTimeStamp(out, tv, &cache);
  EXPECT_STREQ(out, "1971/01/01 01:01:01.005");
  tv.tv_sec += 86400 + 59;
  FormatTimeStamp(out, tv, &cache);
  EXPECT_STREQ(out, "1971/01/02 01:02:00.005");
  tv.tv_sec -= 86400 * 365;
  FormatTimeStamp(out, tv, &cache);
  EXPECT_STREQ(out, "1970/01/02 01:02:00.005");
  unsetenv("TZ");
  tzset();
}

std::string Expand(const char* tmpl, const char* app, long n, const char* file) {
  char out[256];
  int len = ExpandSwapTemplate(out, tmpl, app, n, file);
  EXPECT_EQ(static_cast<size_t>(len), std::strlen(out));
  return out;
}

TEST(SwapTemplate, Directives) {
  EXPECT_EQ(Expand("%a:%i %f 100%% %x", "APP             ", 3, "/var/t/app3.log"),
            "APP             :3 /var/t/app3.log 100%% ")
      << "a percent sign is kept doubled; unknown %x gives nothing";
  EXPECT_EQ(Expand("end%", "a", 1, "f"), "end") << "a trailing % ends the template";
  EXPECT_EQ(Expand("%f", "a", 1, "50%.log"), "50%%.log") << "percent in a name is doubled";
}

TEST(SwapTemplate, LimitOf255CountsPercentTwice) {
  std::string longName(300, 'n');
  EXPECT_EQ(Expand("%f", "a", 1, longName.c_str()), std::string(255, 'n'));
  std::string tmpl = std::string(254, 'x') + "%%";
  EXPECT_EQ(Expand(tmpl.c_str(), "a", 1, "f"), std::string(254, 'x'))
      << "a doubled percent sign is never split at the limit";
  tmpl = std::string(253, 'x') + "%%yz";
  EXPECT_EQ(Expand(tmpl.c_str(), "a", 1, "f"), std::string(253, 'x') + "%%");
}

std::string Abs(const char* in, size_t size = 4097) {
  char out[4097];
  if (VESK_GetAbsolutePath(in, out, size) != 0) return "<fail>";
  return out;
}

TEST(AbsolutePath, Normalises) {
  EXPECT_EQ(Abs("relative/x"), "<fail>");
  EXPECT_EQ(Abs(""), "<fail>");
  EXPECT_EQ(Abs("/"), "/");
  EXPECT_EQ(Abs("/.."), "/");
  EXPECT_EQ(Abs("/a//b/."), "/a/b");
  EXPECT_EQ(Abs("/a/b/../../c/./d/"), "/c/d");
  EXPECT_EQ(Abs("/abc", 4), "<fail>") << "length equal to the buffer size leaves no room for NUL";
  EXPECT_EQ(Abs("/abc", 5), "/abc");
}

TEST(CheckArgument, Limits) {
  tagVESK_LOGFILE_SPEC s = {4096, 16, "/tmp/x"};
  EXPECT_TRUE(VESK_CheckArgument(0, &s, false));
  s.lFileSize = 4095;
  EXPECT_FALSE(VESK_CheckArgument(0, &s, false));
  s.lFileSize = 0x7FFFFFFF;
  EXPECT_TRUE(VESK_CheckArgument(0, &s, false));
  EXPECT_FALSE(VESK_CheckArgument(0, &s, true)) << "shared rings stop at 16 MiB";
  s.lFileSize = 16777216;
  EXPECT_TRUE(VESK_CheckArgument(63, &s, true));
  EXPECT_FALSE(VESK_CheckArgument(64, &s, true));
  EXPECT_FALSE(VESK_CheckArgument(0xFFFFFFFFu, &s, true));
  s.lFileNum = 17;
  EXPECT_FALSE(VESK_CheckArgument(0, &s, false));
  s.lFileNum = 64;
  EXPECT_TRUE(VESK_CheckArgument(0, &s, true));
  s.lFileNum = 65;
  EXPECT_FALSE(VESK_CheckArgument(0, &s, true));
  s.lFileNum = 0;
  EXPECT_FALSE(VESK_CheckArgument(0, &s, false));
  s.lFileNum = 1;
  std::string name(4090, 'p');
  s.pszFileName = name.c_str();
  EXPECT_TRUE(VESK_CheckArgument(0, &s, false));
  EXPECT_FALSE(VESK_CheckArgument(0, &s, true)) << "shared prefixes stop at 4088";
  name.push_back('p');
  s.pszFileName = name.c_str();
  EXPECT_FALSE(VESK_CheckArgument(0, &s, false));
  s.pszFileName = nullptr;
  EXPECT_FALSE(VESK_CheckArgument(0, &s, false));
  EXPECT_FALSE(VESK_CheckArgument(0, nullptr, false));
}

class CnfFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/trace-cnf-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/a.cnf";
  }
  void TearDown() override {
    unsetenv(kCnfEnv);
    std::remove(path_.c_str());
    rmdir(dir_.c_str());
  }
  std::string Load(const std::string& content) {
    std::ofstream(path_, std::ios::binary) << content;
    setenv(kCnfEnv, path_.c_str(), 1);
    VESKConfigInf2 cnf;
    return cnf.msgString();
  }
  std::string dir_, path_;
};

TEST_F(CnfFile, LastMsgStringWinsAndKeepsLineEnd) {
  EXPECT_EQ(Load("# c\nMsgString= first\nOther=1\nMsgString=  second %a\r\n"), " second %a\r\n")
      << "one space after '=' is skipped, the rest is kept with its line end";
}

TEST_F(CnfFile, EqualsSignMustComeAtOrAfterColumn9) {
  EXPECT_EQ(Load("MsgStringX=abc\n"), "abc\n");
  EXPECT_EQ(Load("MsgString\t\t= v\n"), "v\n");
}

TEST_F(CnfFile, LineWithoutEqualsEndsReading) {
  EXPECT_EQ(Load("MsgString= kept\nMsgString broken\nMsgString= never\n"), "kept\n");
}

TEST_F(CnfFile, ValueCutAt255) {
  EXPECT_EQ(Load("MsgString=" + std::string(400, 'v')), std::string(255, 'v'));
}

TEST_F(CnfFile, RelativeOrMissingNamesFallBackToDefault) {
  char chosen[4097];
  setenv(kCnfEnv, "relative.cnf", 1);
  ChooseCnfFile(chosen);
  EXPECT_STREQ(chosen, kDefaultCnfPath);
  setenv(kCnfEnv, (dir_ + "/missing.cnf").c_str(), 1);
  ChooseCnfFile(chosen);
  EXPECT_STREQ(chosen, kDefaultCnfPath);
  setenv(kCnfEnv, dir_.c_str(), 1);
  ChooseCnfFile(chosen);
  EXPECT_STREQ(chosen, kDefaultCnfPath) << "a directory is not a configuration file";
  setenv(kCnfEnv, "", 1);
  ChooseCnfFile(chosen);
  EXPECT_STREQ(chosen, kDefaultCnfPath);
  std::ofstream(path_) << "x\n";
  setenv(kCnfEnv, (dir_ + "/./../" + dir_.substr(5) + "/a.cnf").c_str(), 1);
  ChooseCnfFile(chosen);
  EXPECT_EQ(std::string(chosen), path_) << "the absolute form is used";
}

}  // namespace
}  // namespace vesk
