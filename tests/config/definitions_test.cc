// Value conversions and item definitions built from definition documents,
// with every fallback.
#include "definitions.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "values.h"
#include "vopcfg.h"

namespace {

TEST(Values, Identifiers) {
  for (const char* ok : {"a", "_", "A_9", "_x1", "server_1"}) {
    EXPECT_EQ(vopDataCheckIdent(ok), 0u) << ok;
  }
  for (const char* bad : {"", "9a", "a-b", "a b", "é", " a"}) {
    EXPECT_EQ(vopDataCheckIdent(bad), ERR_INVALID) << "'" << bad << "'";
  }
  EXPECT_EQ(vopDataCheckIdent(nullptr), ERR_INVALID);
}

TEST(Values, IntegersAndBooleans) {
  int64_t v = 123;
  EXPECT_EQ(vopDataConvertInteger("010", &v), 0u);
  EXPECT_EQ(v, 8);
  EXPECT_EQ(vopDataConvertInteger("0x10", &v), 0u);
  EXPECT_EQ(v, 16);
  EXPECT_EQ(vopDataConvertInteger(" +5 ", &v), 0u);
  EXPECT_EQ(v, 5);
  EXPECT_EQ(vopDataConvertInteger("-5000000000", &v), 0u);
  EXPECT_EQ(v, -5000000000LL);
  v = 77;
  EXPECT_EQ(vopDataConvertInteger("9223372036854775808", &v), ERR_OUT_OF_RANGE);
  EXPECT_EQ(v, 77) << "output unchanged on failure";
  EXPECT_EQ(vopDataConvertInteger("5x", &v), ERR_INVALID);
  EXPECT_EQ(v, 77);

  uint32_t f = 9;
  EXPECT_EQ(vopDataConvertBoolean("true", &f), 0u);
  EXPECT_EQ(f, 1u);
  EXPECT_EQ(vopDataConvertBoolean("TrUe", &f), 0u);
  EXPECT_EQ(vopDataConvertBoolean("fAlSe", &f), 0u);
  EXPECT_EQ(f, 0u);
  f = 9;
  for (const char* bad : {"yes", "TRUE ", " TRUE", "1", "", "TRU", "FALSEE"}) {
    EXPECT_EQ(vopDataConvertBoolean(bad, &f), ERR_INVALID) << "'" << bad << "'";
  }
  EXPECT_EQ(f, 9u);
}

std::string Bytes(const uint8_t* b, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += (i ? "." : "") + std::to_string(b[i]);
  return s;
}

TEST(Values, Ipv4Parser) {
  struct {
    const char* text;
    bool ok;
    size_t end;
    const char* bytes;
  } cases[] = {
      {"1.2.3.4", true, 7, "1.2.3.4"},   {"1.2.3.", true, 6, "1.2.3.0"},
      {"1.2.3", false, 0, ""},           {"256.0.0.1", false, 0, ""},
      {"1.2.3.4.5", true, 7, "1.2.3.4"}, {".1.2.3", false, 0, ""},
      {"1..2.3", false, 0, ""},          {"255.255.255.255", true, 15, "255.255.255.255"},
  };
  for (const auto& c : cases) {
    uint8_t out[4] = {9, 9, 9, 9};
    size_t len = strlen(c.text);
    uint32_t rc = vopDataConvertIPV4(c.text, &len, out);
    ASSERT_EQ(rc == 0, c.ok) << c.text << " rc " << rc;
    if (c.ok) {
      EXPECT_EQ(len, c.end) << c.text;
      EXPECT_EQ(Bytes(out, 4), c.bytes) << c.text;
    } else {
      EXPECT_EQ(Bytes(out, 4), "9.9.9.9") << c.text << ": output changed on failure";
    }
  }
}

std::string Groups(const uint8_t* b) {
  char buf[64];
  std::string s;
  for (int i = 0; i < 8; ++i) {
    snprintf(buf, sizeof buf, "%s%x", i ? ":" : "", (b[2 * i] << 8) | b[2 * i + 1]);
    s += buf;
  }
  return s;
}

TEST(Values, Ipv6Parser) {
  struct {
    const char* text;
    bool ok;
    const char* groups;
  } cases[] = {
      {"1::2", true, "1:0:0:0:0:0:0:2"},
      {"::", true, "0:0:0:0:0:0:0:0"},
      {"1::", true, "1:0:0:0:0:0:0:0"},
      {"::1", true, "0:0:0:0:0:0:0:1"},
      {"1:2:3:4:5:6:7:8", true, "1:2:3:4:5:6:7:8"},
      {"fe80::abcd:12", true, "fe80:0:0:0:0:0:abcd:12"},
      {"1:2:3", false, ""},
      {"1:2", false, ""},
      {"1:", false, ""},
      {"1:2:3:4:5:6::7", false, ""},
      {"12345::1", false, ""},
  };
  for (const auto& c : cases) {
    uint8_t out[16] = {0};
    size_t len = strlen(c.text);
    uint32_t rc = vopDataConvertIPV6(c.text, &len, out);
    ASSERT_EQ(rc == 0, c.ok) << c.text << " rc " << rc;
    if (c.ok) {
      EXPECT_EQ(Groups(out), c.groups) << c.text;
      EXPECT_EQ(len, strlen(c.text)) << c.text;
    }
  }
}

TEST(Values, AddressRecords) {
  vop_ipaddr_t a;
  ASSERT_EQ(vopDataConvertIpaddr("192.168.0.1", &a), 0u);
  EXPECT_EQ(a.form, VOP_IPADDR_ADDRESS);
  EXPECT_EQ(a.family, 4);
  EXPECT_EQ(Bytes(a.address, 4), "192.168.0.1");
  EXPECT_EQ(Bytes(a.mask, 16), std::string("0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0"));
  EXPECT_EQ(vopDataConvertIpaddr("192.168.0.1x", &a), ERR_INVALID);
  EXPECT_EQ(vopDataConvertIpaddr("192.168.0.1/24", &a), ERR_INVALID);
  EXPECT_EQ(vopDataConvertIpaddr("1:2:3", &a), ERR_INVALID);
  EXPECT_EQ(vopDataConvertIpaddr("1::2::3", &a), ERR_INVALID)
      << "a second gap ends the address early";
  ASSERT_EQ(vopDataConvertIpaddr("server_1", &a), 0u);
  EXPECT_EQ(a.form, VOP_IPADDR_HOSTNAME);
  EXPECT_EQ(a.family, 0);
  EXPECT_STREQ(a.hostname, "server_1");
  free(a.hostname);
  ASSERT_EQ(vopDataConvertIpaddr("::1", &a), 0u);
  EXPECT_EQ(a.family, 6);
  EXPECT_EQ(a.address[15], 1);
  EXPECT_EQ(a.hostname, nullptr);
}

// Definitions through the entry points: one item per case.
class Definitions : public ::testing::Test {
 protected:
  void TearDown() override {
    VOP_ConfigDestroy(config_);
    if (!path_.empty()) unlink(path_.c_str());
  }

  // Creates a handle from a definition document holding the given items.
  void Define(const std::string& items) {
    VOP_ConfigDestroy(config_);
    config_ = nullptr;
    char path[] = "/tmp/twdef.XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    path_ = path;
    std::string doc = "<config_define><name>t</name>" + items + "</config_define>";
    ASSERT_EQ(write(fd, doc.data(), doc.size()), static_cast<ssize_t>(doc.size()));
    close(fd);
    ASSERT_EQ(VOP_ConfigCreate(path_.c_str(), &config_), 0u) << doc;
  }

  vop_data_t* Default(const char* name) {
    vop_data_t* d = nullptr;
    EXPECT_EQ(VOP_DataDefaultGet(config_, name, &d), 0u) << name;
    return d;
  }

  int64_t IntDefault(const std::string& body) {
    Define("<item><name>I</name><type>integer</type>" + body + "</item>");
    vop_data_t* d = Default("I");
    EXPECT_EQ(d->type, VOP_TYPE_INTEGER);
    return d->value.integer;
  }

  vop_config_t* config_ = nullptr;
  std::string path_;
};

TEST_F(Definitions, IntegerDefaultsAndLimits) {
  EXPECT_EQ(IntDefault("<default>010</default>"), 8);
  EXPECT_EQ(IntDefault("<default>0x10</default>"), 16);
  EXPECT_EQ(IntDefault("<default>+5</default>"), 5);
  EXPECT_EQ(IntDefault("<minimum>5</minimum><default>100</default><maximum>10</maximum>"), 5);
  EXPECT_EQ(IntDefault("<minimum>-5</minimum>"), 0);
  EXPECT_EQ(IntDefault("<minimum>-10</minimum><maximum>-3</maximum>"), -3)
      << "the fallback stays within the limits";
  EXPECT_EQ(IntDefault("<default>junk</default>"), 0);
  // minimum 5, maximum 3: maximum becomes 5, so 5 is the only value.
  IntDefault("<minimum>5</minimum><maximum>3</maximum><default>5</default>");
  vop_data_t* rec = nullptr;
  ASSERT_EQ(VOP_DataDefaultCreate(config_, "I", &rec), 0u);
  int64_t five = 5, six = 6;
  EXPECT_EQ(VOP_DataChange(config_, rec, &five), 0u);
  EXPECT_EQ(VOP_DataChange(config_, rec, &six), ERR_OUT_OF_RANGE) << "maximum was raised to 5";
}

TEST_F(Definitions, StringBooleanAddressEnumerationDefaults) {
  Define(
      "<item><name>S</name><type>string</type><minimum>3</minimum></item>"
      "<item><name>T</name><type>string</type><maximum>2</maximum><default>abc</default></item>"
      "<item><name>B</name><type>boolean</type><default>TrUe</default></item>"
      "<item><name>C</name><type>boolean</type><default>yes</default></item>"
      "<item><name>A</name><type>ipaddr</type><default>10.1.2.3</default></item>"
      "<item><name>H</name><type>ipaddr</type><default>bad addr</default></item>"
      "<item><name>E</name><type>enumeration</type><enum><Fast>fast</Fast><Slow/></enum>"
      "<default>Medium</default></item>"
      "<item><name>F</name><type>enumeration</type><enum><Fast>fast</Fast><Slow/></enum>"
      "<default>Slow</default></item>"
      "<item><name>G</name><type>enumeration</type><enum></enum></item>"
      "<item><name>N</name></item>");
  EXPECT_STREQ(Default("S")->value.string, "   ");
  EXPECT_STREQ(Default("T")->value.string, "") << "too long for its maximum";
  EXPECT_EQ(Default("B")->value.boolean, 1u);
  EXPECT_EQ(Default("C")->value.boolean, 0u);
  EXPECT_EQ(Default("A")->value.ipaddr.family, 4);
  EXPECT_EQ(Default("A")->value.ipaddr.address[3], 3);
  EXPECT_EQ(Default("H")->value.ipaddr.form, VOP_IPADDR_NONE);
  EXPECT_STREQ(Default("E")->value.enumeration, "Fast") << "not a value: the first value";
  EXPECT_STREQ(Default("F")->value.enumeration, "Slow");
  EXPECT_EQ(Default("G")->value.enumeration, nullptr) << "an empty enum has no values";
  EXPECT_EQ(Default("N")->type, VOP_TYPE_NONE);
  vop_data_t* rec = nullptr;
  EXPECT_EQ(VOP_DataDefaultCreate(config_, "N", &rec), ERR_INVALID) << "type 0 makes no record";

  vop_content_t entries[16];
  uint32_t count = 16;
  ASSERT_EQ(VOP_ContentListGet(config_, entries, &count), 0u);
  ASSERT_EQ(count, 10u);
  EXPECT_STREQ(entries[0].name, "S");
  EXPECT_EQ(entries[0].type, VOP_TYPE_STRING);
  EXPECT_STREQ(entries[9].name, "N");
  EXPECT_EQ(entries[9].type, VOP_TYPE_NONE);
}

TEST_F(Definitions, NumberFlagsAndDuplicateItems) {
  Define(
      "<item><name>P</name><type>integer</type><number>-1</number></item>"
      "<item><name>P</name><type>string</type></item>"
      "<item><name>Q</name><type>integer</type><number>0</number><hidden>true</hidden></item>"
      "<item><name>R</name><type>structure</type><identifier>TRUE</identifier>"
      "<item><name>K</name><type>string</type><identifier>TRUE</identifier>"
      "<necessity>FALSE</necessity></item></item>");
  uint32_t count = 0;
  ASSERT_EQ(VOP_ContentListGet(config_, nullptr, &count), 0u);
  EXPECT_EQ(count, 3u) << "the second item named P is a duplicate";
  // number -1 is out of range and skipped: number stays 1.
  vop_data_t *p1 = nullptr, *p2 = nullptr;
  ASSERT_EQ(VOP_DataDefaultCreate(config_, "P", &p1), 0u);
  EXPECT_EQ(p1->type, VOP_TYPE_INTEGER) << "the first P stays";
  ASSERT_EQ(VOP_DataDefaultCreate(config_, "P", &p2), 0u);
  int64_t two = 2;
  ASSERT_EQ(VOP_DataChange(config_, p2, &two), 0u);
  EXPECT_EQ(VOP_DataAdd(config_, p1), 0u);
  EXPECT_EQ(VOP_DataAdd(config_, p2), ERR_OUT_OF_RANGE) << "number 1 allows one record";
  // number 0: any number of records.
  for (int64_t v = 0; v < 5; ++v) {
    vop_data_t* q = nullptr;
    ASSERT_EQ(VOP_DataDefaultCreate(config_, "Q", &q), 0u);
    ASSERT_EQ(VOP_DataChange(config_, q, &v), 0u);
    EXPECT_EQ(VOP_DataAdd(config_, q), 0u) << v;
  }
}

TEST(DefinitionsInternal, IdentifierForcesNecessityAndStructuresLoseIdentifier) {
  const char* doc =
      "<config_define><item><name>R</name><type>structure</type><identifier>TRUE</identifier>"
      "<item><name>K</name><type>string</type><identifier>TRUE</identifier>"
      "<necessity>FALSE</necessity></item>"
      "<item><name>L</name><type>string</type><necessity>FALSE</necessity></item>"
      "</item></config_define>";
  vop_row_item_t* rows = nullptr;
  ASSERT_EQ(vopFileReadCommon(READER_MEMORY, doc, g_stFormatDataDefine, &rows), 0u);
  ASSERT_NE(rows, nullptr);
  ASSERT_EQ(rows->kind, ROW_STRUCT);
  vop_format_t* f = nullptr;
  ASSERT_EQ(CfgFormatCreate_l3(rows->value.children, 1, &f), 0u);
  EXPECT_EQ(f->identifier, 0u) << "a structure cannot identify its parent";
  EXPECT_EQ(f->necessity, 1u) << "absent necessity means required";
  EXPECT_EQ(f->number, 1u);
  ASSERT_NE(f->members, nullptr);
  EXPECT_EQ(f->members->identifier, 1u);
  EXPECT_EQ(f->members->necessity, 1u) << "an identifier is always required";
  ASSERT_NE(f->members->next, nullptr);
  EXPECT_EQ(f->members->next->necessity, 0u);
  EXPECT_EQ(f->members->minimum, 0);
  EXPECT_EQ(f->members->maximum, 2147483646);
  CfgFormatDestroy_l3(f);
  vopRowItemListFree(rows);
  EXPECT_EQ(CfgTypeFromName("ipaddr"), VOP_TYPE_IPADDR);
  EXPECT_EQ(CfgTypeFromName("float"), VOP_TYPE_NONE);
}

}  // namespace
