// The refusal check of an update against the configuration library's own
// reader: random data texts, each value valid or not by construction, with
// comments, processing instructions, attributes, unknown and self-closing
// elements around them. The elements reported as refused must be exactly the
// invalid ones: a false report would block a good update, a missed one would
// let a refused value pass as done.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "ved_apply.h"
#include "ved_library.h"
#include "ved_read.h"
#include "ved_scan.h"

namespace {

const char kDefinition[] =
    "<config_define><name>sample</name>"
    "<item><name>Interval</name><type>integer</type><minimum>1</minimum><maximum>600</maximum>"
    "</item>"
    "<item><name>Mode</name><type>enumeration</type><enum><Fast/><Slow/></enum></item>"
    "<item><name>Label</name><type>string</type><minimum>1</minimum><maximum>16</maximum></item>"
    "<item><name>Flag</name><type>boolean</type></item>"
    "<item><name>Extra</name><type>integer</type><minimum>0</minimum><maximum>100</maximum></item>"
    "<item><name>Peer</name><type>structure</type>"
    "<item><name>Host</name><type>string</type></item>"
    "<item><name>Port</name><type>integer</type><minimum>1</minimum><maximum>65535</maximum>"
    "</item></item>"
    "</config_define>\n";

struct Values {
  const char* item;
  std::vector<const char*> good, bad;
};

const Values kValues[] = {
    {"Interval", {"45", "  7", "0x10", "010", "+5", "600 ", "1"}, {"0", "601", "abc", "12x", "-3"}},
    {"Mode", {"Fast", "Slow"}, {"Medium", "fast", "Fast x", "1"}},
    {"Label", {"hello world", "x", "sixteen letters!", "a&b;c\"d'"}, {"seventeen letters"}},
    {"Flag", {"TRUE", "false", "FaLsE"}, {"yes", "TRUE ", "1", "T"}},
    {"Extra", {"0", "100", "0x64"}, {"101", "-1", "1e2"}},
};
const std::vector<const char*> kGoodPorts = {"1", "80", "65535"};
const std::vector<const char*> kBadPorts = {"0", "65536", "http"};

// Binds the tool's entry table to the library linked into this test.
void BindStatically() {
  fs_vopFuncs.ConfigCreate = &VOP_ConfigCreate;
  fs_vopFuncs.ConfigDestroy = &VOP_ConfigDestroy;
  fs_vopFuncs.ConfigReadFromData = &VOP_ConfigReadFromData;
  fs_vopFuncs.DataGet = &VOP_DataGet;
  fs_vopFuncs.DataGetFromData = &VOP_DataGetFromData;
}

// Between items: nothing that changes which element encloses the next one
// (the reader rules for that have their own tests).
std::string Noise(std::mt19937& rng) {
  static const char* const kNoise[] = {
      "",
      " ",
      "\n  ",
      "<!-- no markup -->",
      "<?pi x?>",
      "<Unknown>1</Unknown>",
      "<Other/>",
      "<Empty />",
      "<!-- a \"quoted > sign\" -->",
      "text",
  };
  return kNoise[rng() % (sizeof kNoise / sizeof kNoise[0])];
}

// Before the first element: anything but an element, which would become
// the document's top-level element instead of <config>.
std::string Prologue(std::mt19937& rng) {
  static const char* const kProlog[] = {"", "\n", "<?xml version='1.0'?>\n", "<!-- c -->",
                                        "stray text "};
  return kProlog[rng() % (sizeof kProlog / sizeof kProlog[0])];
}

template <typename T>
const T& Pick(const std::vector<T>& v, std::mt19937& rng) {
  return v[rng() % v.size()];
}

TEST(VedRefusal, ReportsExactlyTheValuesTheReaderDrops) {
  char path[] = "/tmp/tw-refusal-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(static_cast<ssize_t>(sizeof kDefinition - 1),
            write(fd, kDefinition, sizeof kDefinition - 1));
  close(fd);
  BindStatically();

  std::mt19937 rng(20261208);
  for (int round = 0; round < 1500; ++round) {
    std::string text = Prologue(rng) + "<config" + (rng() % 2 ? " a='>'" : "") + ">";
    std::set<std::string> want;
    for (const Values& v : kValues) {
      if (rng() % 3 == 0) continue;  // not mentioned
      const bool bad = rng() % 3 == 0;
      const char* value = bad ? Pick(v.bad, rng) : Pick(v.good, rng);
      const char* attribute = rng() % 4 == 0 ? (rng() % 2 ? " note=\"x > y\"" : " n='>'") : "";
      text += Noise(rng) + "<" + v.item + attribute + ">" + value + "</" + v.item + ">";
      if (bad) want.insert(std::string("<") + v.item + ">");
    }
    if (rng() % 2) {
      const bool bad = rng() % 3 == 0;
      text += "<Peer>" + Noise(rng) + "<Host>h</Host><Port>" +
              (bad ? Pick(kBadPorts, rng) : Pick(kGoodPorts, rng)) + "</Port></Peer>";
      if (bad) want.insert("<Peer><Port>");
    }
    text += Noise(rng) + "</config>" + Noise(rng);

    VedConfig incoming;
    ASSERT_EQ(kVedReadOk, vedReadConfigFromData(path, text.c_str(), &incoming)) << text;
    const std::vector<std::string> refused = VedRefusedValues(incoming.get(), VedScanItems(text));
    const std::set<std::string> got(refused.begin(), refused.end());
    EXPECT_EQ(refused.size(), got.size()) << "an element reported twice for " << text;
    ASSERT_EQ(want, got) << "data text: " << text;
  }
  std::remove(path);
}

}  // namespace
