// The configuration file choice and swap messages read back at /dev/log.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "harness/syslog_capture.h"
#include "test_util.h"

namespace tracetest {
namespace {

const char kDefaultCnf[] = "/opt/quorrel/VESKLib2/etc/D002vesk2.cnf";
const char kOldCnf[] = "/opt/quorrel/VESKLib/etc/D001vesk.cnf";
const std::string kText = Text(108, 's');

class SwapMessages : public TraceTest {
 protected:
  void SetUp() override {
    dir_ = NewDir("swap");
    mkdir("/opt/quorrel/VESKLib2", 0755);
    mkdir("/opt/quorrel/VESKLib2/etc", 0755);
    hadDefault_ = Exists(kDefaultCnf);
    saved_ = ReadFile(kDefaultCnf);
    WriteFile(kDefaultCnf, "MsgString=DEFAULT %i\n");
    other_ = dir_ + "/other.cnf";
    WriteFile(other_, "MsgString=OTHER %i\n");
    ZELKWSYM_SetSwapMessageMode(1);
  }
  void TearDown() override {
    TraceTest::TearDown();
    if (hadDefault_) {
      WriteFile(kDefaultCnf, saved_);
    } else {
      unlink(kDefaultCnf);
    }
  }
  // Runs a fresh ring through one switch from file 1 to file 2 and returns
  // the syslog texts seen meanwhile.
  std::vector<std::string> SwitchOnce(const std::string& name) {
    Spec s(dir_ + "/" + name, 4096, 2);
    VESKTraceObject* obj = nullptr;
    EXPECT_EQ(ZELKWSYM_CreateInstance(&obj, s.get(), "swapper"), 0) << Hex(Last().code);
    if (obj == nullptr) return {};
    while (!Exists(s.File(2))) {
      EXPECT_EQ(ZELKWSYM_PutInstanceWithId(obj, 0, "A", kText.c_str()), 0);
      if (FileSize(s.File(1)) > 5000) break;
    }
    ZELKWSYM_DeleteInstance(obj);
    std::vector<std::string> texts;
    for (auto& m : capture_.TakeAll()) {
      EXPECT_EQ(m.Severity(), 6) << "swap messages are LOG_INFO: " << m.raw;
      texts.push_back(m.text);
    }
    return texts;
  }
  std::string dir_, saved_, other_;
  bool hadDefault_ = false;
  tw::test::SyslogCapture capture_;
};

bool StartsWith(const std::vector<std::string>& texts, const std::string& prefix) {
  return texts.size() == 1 && texts[0].rfind(prefix, 0) == 0;
}

std::string Show(const std::vector<std::string>& texts) {
  std::string out = std::to_string(texts.size()) + " message(s):";
  for (auto& t : texts) out += " [" + t + "]";
  return out;
}

TEST_F(SwapMessages, EnvironmentNamesAnotherFile) {
  setenv("VESK2_TRACECNF_FILE", other_.c_str(), 1);
  auto texts = SwitchOnce("env");
  EXPECT_TRUE(StartsWith(texts, "OTHER 1")) << Show(texts);
}

TEST_F(SwapMessages, DefaultFileWhenTheEnvironmentDoesNotQualify) {
  mkdir((dir_ + "/adir").c_str(), 0755);
  const std::string cases[] = {kDefaultCnf,
                               "/opt/quorrel/VESKLib2/etc/../etc/D002vesk2.cnf",
                               kOldCnf,
                               dir_ + "/adir",
                               "",
                               dir_ + "/missing.cnf",
                               "relative.cnf"};
  mkdir("/opt/quorrel/VESKLib", 0755);
  mkdir("/opt/quorrel/VESKLib/etc", 0755);
  WriteFile(kOldCnf, "MsgString=OLD %i\n");
  int i = 0;
  for (const auto& value : cases) {
    setenv("VESK2_TRACECNF_FILE", value.c_str(), 1);
    auto texts = SwitchOnce("case" + std::to_string(i++));
    EXPECT_TRUE(StartsWith(texts, "DEFAULT 1"))
        << "VESK2_TRACECNF_FILE=\"" << value << "\": " << Show(texts);
  }
}

TEST_F(SwapMessages, TemplateExpansionReachesSyslog) {
  WriteFile(other_, "MsgString= %a:%i %f 100%% %x|%");
  setenv("VESK2_TRACECNF_FILE", other_.c_str(), 1);
  auto texts = SwitchOnce("tmpl");
  std::string expected = "swapper         :1 " + dir_ + "/tmpl1.log 100% |";
  // The swap message names the process-wide application name, which no
  // ZELKWSYM_Initialize has set here: 16 spaces.
  expected = std::string(16, ' ') + expected.substr(16);
  ASSERT_EQ(texts.size(), 1u) << Show(texts);
  EXPECT_EQ(texts[0], expected);
}

TEST_F(SwapMessages, GlobalRingUsesItsApplicationName) {
  WriteFile(other_, "MsgString=%a/%i/%f\n");
  setenv("VESK2_TRACECNF_FILE", other_.c_str(), 1);
  Spec s(dir_ + "/glob", 4096, 2);
  ASSERT_EQ(ZELKWSYM_Initialize(s.get(), "globapp"), 0);
  while (!Exists(s.File(2))) ASSERT_EQ(ZELKWSYM_PutWithId(0, "A", kText.c_str()), 0);
  auto msgs = capture_.Take(1);
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].text.rfind("globapp         /1/" + s.File(1), 0), 0u) << msgs[0].text;
}

TEST_F(SwapMessages, LongExpansionIsCutAt255) {
  WriteFile(other_, "MsgString=" + std::string(250, 'L') + "%i%f\n");
  setenv("VESK2_TRACECNF_FILE", other_.c_str(), 1);
  auto texts = SwitchOnce("long");
  ASSERT_EQ(texts.size(), 1u) << Show(texts);
  EXPECT_EQ(texts[0], std::string(250, 'L') + "1" + (dir_ + "/long1.log").substr(0, 4));
}

TEST_F(SwapMessages, NothingWhenOffOrTemplateEmpty) {
  ZELKWSYM_SetSwapMessageMode(0);
  EXPECT_EQ(ZELKWSYM_SetSwapMessageMode(7), 0) << "other values are ignored";
  setenv("VESK2_TRACECNF_FILE", other_.c_str(), 1);
  auto texts = SwitchOnce("off");
  EXPECT_TRUE(texts.empty()) << Show(texts);
  EXPECT_EQ(ZELKWSYM_SetSwapMessageMode(1), 1);
  WriteFile(other_, "# no template here\n");
  texts = SwitchOnce("empty");
  EXPECT_TRUE(texts.empty()) << Show(texts);
}

}  // namespace
}  // namespace tracetest
