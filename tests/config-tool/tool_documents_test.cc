// The daemon's shipped documents, read through the configuration library as
// the daemon reads them (in both word sizes): twelve settings of the types
// the daemon expects, limits equal to the ranges it accepts, every default
// and shipped value inside them, the timer shipped disabled.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "vopcfg.h"

namespace {

const std::string kDocs = TW_SOURCE_DIR "/config-tool/qvsm-sab/";

struct Range {
  const char* key;
  int64_t low, high, shipped;
};

// What the daemon accepts; anything else makes it fall back to its defaults.
const Range kIntegers[] = {
    {"TimeoutInterval", 60, 3600, 1200},
    {"IntervalCount", 2, 10, 2},
    {"ShorteningCount", 1, 5, 2},
    {"MinimumInterval", 15, 360, 30},
    {"RetryInterval", 60, 3600, 1800},
    {"MaximumRetryTime", 1, 60, 15},
    {"LogLevel", -1, 1000, 30},
    {"LogSize", 1, 2047, 8},
    {"LogPages", 1, 16, 10},
};

class DaemonDocuments : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(0u, VOP_ConfigCreate((kDocs + "qvwdtdef.xml").c_str(), &config_));
    ASSERT_EQ(0u, VOP_ConfigRead((kDocs + "qvwdtcfg.xml").c_str(), config_));
  }
  void TearDown() override { VOP_ConfigDestroy(config_); }

  vop_data_t* Record(const char* key) {
    vop_data_t* found[1] = {nullptr};
    uint32_t count = 1;
    EXPECT_EQ(0u, VOP_DataGet(config_, key, found, &count)) << key;
    EXPECT_EQ(1u, count) << key << " should have one record in the shipped data";
    return count == 1 ? found[0] : nullptr;
  }

  vop_config_t* config_ = nullptr;
};

TEST_F(DaemonDocuments, DefineTheTwelveSettingsWithTheirTypes) {
  uint32_t count = 0;
  ASSERT_EQ(0u, VOP_ContentListGet(config_, nullptr, &count));
  ASSERT_EQ(12u, count);
  std::vector<vop_content_t> items(count);
  ASSERT_EQ(0u, VOP_ContentListGet(config_, items.data(), &count));
  const std::pair<const char*, uint32_t> want[] = {
      {"ErrorWatching", VOP_TYPE_BOOLEAN},   {"TimeoutAction", VOP_TYPE_ENUMERATION},
      {"TimeoutInterval", VOP_TYPE_INTEGER}, {"IntervalCount", VOP_TYPE_INTEGER},
      {"ShorteningCount", VOP_TYPE_INTEGER}, {"MinimumInterval", VOP_TYPE_INTEGER},
      {"RetryInterval", VOP_TYPE_INTEGER},   {"MaximumRetryTime", VOP_TYPE_INTEGER},
      {"LogLevel", VOP_TYPE_INTEGER},        {"LogSize", VOP_TYPE_INTEGER},
      {"LogPages", VOP_TYPE_INTEGER},        {"LogName", VOP_TYPE_STRING},
  };
  for (size_t i = 0; i < count; ++i) {
    EXPECT_STREQ(want[i].first, items[i].name) << "item " << i;
    EXPECT_EQ(want[i].second, items[i].type) << items[i].name;
  }
}

TEST_F(DaemonDocuments, ShippedValuesAndDefaultsAreTheDaemonsOwnSafeSet) {
  vop_data_t* watching = Record("ErrorWatching");
  ASSERT_NE(nullptr, watching);
  EXPECT_EQ(0u, watching->value.boolean) << "the timer must ship disabled";
  vop_data_t* action = Record("TimeoutAction");
  ASSERT_NE(nullptr, action);
  EXPECT_STREQ("NMI", action->value.enumeration);
  vop_data_t* name = Record("LogName");
  ASSERT_NE(nullptr, name);
  EXPECT_STREQ("qvsmwdt", name->value.string);
  vop_data_t* fallback = nullptr;
  ASSERT_EQ(0u, VOP_DataDefaultGet(config_, "LogName", &fallback));
  EXPECT_STREQ("qvsmwdt", fallback->value.string) << "the daemon reads this default";
  ASSERT_EQ(0u, VOP_DataDefaultGet(config_, "ErrorWatching", &fallback));
  EXPECT_EQ(0u, fallback->value.boolean);

  for (const Range& r : kIntegers) {
    vop_data_t* value = Record(r.key);
    ASSERT_NE(nullptr, value);
    EXPECT_EQ(r.shipped, value->value.integer) << r.key;
    ASSERT_EQ(0u, VOP_DataDefaultGet(config_, r.key, &fallback)) << r.key;
    EXPECT_EQ(r.shipped, fallback->value.integer) << r.key << " default";
  }
  // The shipped interval needs no lengthening by the daemon.
  EXPECT_GE(1200 / 2, 30);
}

TEST_F(DaemonDocuments, LimitsAreTheRangesTheDaemonAccepts) {
  for (const Range& r : kIntegers) {
    vop_data_t* value = Record(r.key);
    ASSERT_NE(nullptr, value);
    for (int64_t v : {r.low - 1, r.high + 1}) {
      EXPECT_EQ(VOP_ERR_OUT_OF_RANGE, VOP_DataChange(config_, value, &v)) << r.key << " = " << v;
    }
    for (int64_t v : {r.low, r.high}) {
      EXPECT_EQ(0u, VOP_DataChange(config_, value, &v)) << r.key << " = " << v;
      EXPECT_EQ(v, value->value.integer) << r.key;
    }
  }
  vop_data_t* name = Record("LogName");
  ASSERT_NE(nullptr, name);
  EXPECT_EQ(0u, VOP_DataChange(config_, name, std::string(225, 'n').c_str()));
  EXPECT_EQ(VOP_ERR_OUT_OF_RANGE, VOP_DataChange(config_, name, std::string(226, 'n').c_str()));
  EXPECT_EQ(VOP_ERR_OUT_OF_RANGE, VOP_DataChange(config_, name, ""));

  vop_data_t* action = Record("TimeoutAction");
  ASSERT_NE(nullptr, action);
  for (const char* a : {"NoAction", "HardReset", "PowerDown", "PowerCycle", "NMI", "SMI"}) {
    EXPECT_EQ(0u, VOP_DataChange(config_, action, a)) << a;
  }
  EXPECT_EQ(VOP_ERR_INVALID, VOP_DataChange(config_, action, "Reboot"));
}

}  // namespace
