// The exported entry points, through the shipped library: documented
// results, written documents byte for byte, round trips, structures.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "vopcfg.h"

namespace {

const char kDefinition[] =
    "<config_define><name>sample</name><description>test</description><hidden>TRUE</hidden>"
    "<item><name>Interval</name><type>integer</type><default>60</default>"
    "<minimum>1</minimum><maximum>600</maximum></item>"
    "<item><name>Mode</name><type>enumeration</type><enum><Fast>fast mode</Fast>"
    "<Slow>slow mode</Slow></enum><default>Slow</default></item>"
    "<item><name>Big</name><type>integer</type><number>0</number></item>"
    "<item><name>Label</name><type>string</type><maximum>20</maximum><default>none</default></item>"
    "<item><name>On</name><type>boolean</type></item>"
    "<item><name>Addr</name><type>ipaddr</type><number>0</number></item>"
    "<item><name>Host</name><type>structure</type><number>0</number>"
    "<item><name>Name</name><type>string</type><identifier>TRUE</identifier></item>"
    "<item><name>Port</name><type>integer</type><default>80</default></item>"
    "<item><name>Opt</name><type>structure</type>"
    "<item><name>Key</name><type>string</type></item></item>"
    "</item></config_define>";

class Api : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/twapi.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    def_ = dir_ + "/def.xml";
    data_ = dir_ + "/data.xml";
    WriteFile(def_, kDefinition);
    ASSERT_EQ(VOP_ConfigCreate(def_.c_str(), &c_), 0u);
  }
  void TearDown() override {
    EXPECT_EQ(VOP_ConfigDestroy(c_), 0u);
    unlink(def_.c_str());
    unlink(data_.c_str());
    rmdir(dir_.c_str());
  }

  static void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  std::string Written() {
    EXPECT_EQ(VOP_ConfigWrite(data_.c_str(), c_), 0u);
    return ReadFile(data_);
  }

  std::vector<vop_data_t*> Get(const char* name, uint32_t expect_count) {
    std::vector<vop_data_t*> out(16);
    uint32_t n = 16;
    EXPECT_EQ(VOP_DataGet(c_, name, out.data(), &n), 0u) << name;
    EXPECT_EQ(n, expect_count) << name;
    out.resize(n < 16 ? n : 16);
    return out;
  }

  vop_data_t* NewRecord(const char* name) {
    vop_data_t* r = nullptr;
    EXPECT_EQ(VOP_DataDefaultCreate(c_, name, &r), 0u) << name;
    return r;
  }

  std::string dir_, def_, data_;
  vop_config_t* c_ = nullptr;
};

TEST_F(Api, ArgumentChecks) {
  vop_config_t* other = nullptr;
  EXPECT_EQ(VOP_ConfigCreate(nullptr, &other), VOP_ERR_INVALID);
  EXPECT_EQ(VOP_ConfigCreate(def_.c_str(), nullptr), VOP_ERR_INVALID);
  EXPECT_EQ(VOP_ConfigCreate((dir_ + "/missing.xml").c_str(), &other), VOP_ERR_SYSCALL | ENOENT);
  EXPECT_EQ(other, nullptr) << "no handle on failure";
  EXPECT_EQ(VOP_ConfigDestroy(nullptr), 0u);
  EXPECT_EQ(VOP_ConfigRead(nullptr, c_), VOP_ERR_INVALID);
  EXPECT_EQ(VOP_ConfigRead(data_.c_str(), nullptr), VOP_ERR_INVALID);
  EXPECT_EQ(VOP_ConfigRead((dir_ + "/missing.xml").c_str(), c_), VOP_ERR_SYSCALL | ENOENT);
  EXPECT_EQ(VOP_ConfigReadFromData(nullptr, c_), VOP_ERR_INVALID);
  EXPECT_EQ(VOP_ConfigWrite(nullptr, c_), VOP_ERR_INVALID);
  EXPECT_EQ(VOP_ConfigWrite((dir_ + "/no/such/dir").c_str(), c_), VOP_ERR_SYSCALL | ENOENT);
  uint32_t n = 1;
  vop_data_t* d = nullptr;
  EXPECT_EQ(VOP_ContentListGet(nullptr, nullptr, &n), VOP_ERR_INVALID);
  EXPECT_EQ(VOP_ContentListGet(c_, nullptr, nullptr), VOP_ERR_INVALID);
  EXPECT_EQ(VOP_DataGet(c_, nullptr, &d, &n), VOP_ERR_INVALID);
  EXPECT_EQ(VOP_DataGet(c_, "Interval", &d, nullptr), VOP_ERR_INVALID);
  EXPECT_EQ(VOP_DataGet(c_, "Nope", &d, &n), VOP_ERR_NOT_FOUND);
  EXPECT_EQ(VOP_DataDefaultGet(c_, "Nope", &d), VOP_ERR_NOT_FOUND);
  EXPECT_EQ(VOP_DataDefaultGet(c_, "Interval", nullptr), VOP_ERR_INVALID);
  EXPECT_EQ(VOP_DataDefaultCreate(c_, "Nope", &d), VOP_ERR_NOT_FOUND);
  EXPECT_EQ(VOP_DataChange(c_, nullptr, &n), VOP_ERR_INVALID);
  EXPECT_EQ(VOP_DataAdd(c_, nullptr), VOP_ERR_INVALID);
  EXPECT_EQ(VOP_DataDel(nullptr, d), VOP_ERR_INVALID);
  // A default is no record: the record operations refuse it.
  ASSERT_EQ(VOP_DataDefaultGet(c_, "Interval", &d), 0u);
  EXPECT_EQ(VOP_DataAdd(c_, d), VOP_ERR_INVALID);
}

// The mark lies behind the documented head: memory that is no handle, even
// with the mark where the head begins, is refused by every entry point that
// takes a handle (the real handle passes in every other test).
TEST_F(Api, EveryHandleEntryPointChecksTheMark) {
  alignas(16) unsigned char fake_bytes[256] = {};
  memcpy(fake_bytes, "VOPC", 4);
  auto* fake = reinterpret_cast<vop_config_t*>(fake_bytes);
  vop_data_t* record = NewRecord("Interval");
  int64_t value = 30;
  uint32_t n = 1;
  vop_data_t* d = nullptr;
  vop_content_t entry{};
  const std::string written = dir_ + "/mark.xml";
  const std::pair<const char*, std::function<uint32_t()>> calls[] = {
      {"ConfigDestroy", [&] { return VOP_ConfigDestroy(fake); }},
      {"ConfigRead", [&] { return VOP_ConfigRead(def_.c_str(), fake); }},
      {"ConfigReadFromData", [&] { return VOP_ConfigReadFromData("<config/>", fake); }},
      {"ConfigWrite", [&] { return VOP_ConfigWrite(written.c_str(), fake); }},
      {"ContentListGet", [&] { return VOP_ContentListGet(fake, &entry, &n); }},
      {"DataGet", [&] { return VOP_DataGet(fake, "Interval", &d, &n); }},
      {"DataDefaultGet", [&] { return VOP_DataDefaultGet(fake, "Interval", &d); }},
      {"DataDefaultCreate", [&] { return VOP_DataDefaultCreate(fake, "Interval", &d); }},
      {"DataChange", [&] { return VOP_DataChange(fake, record, &value); }},
      {"DataAdd", [&] { return VOP_DataAdd(fake, record); }},
      {"DataDel", [&] { return VOP_DataDel(fake, record); }},
  };
  for (const auto& [name, call] : calls) EXPECT_EQ(VOP_ERR_BAD_HANDLE, call()) << name;
  EXPECT_EQ(-1, access(written.c_str(), F_OK)) << "a refused write created " << written;
  unlink(written.c_str());
}

TEST_F(Api, DaemonReadPath) {
  WriteFile(data_, "<config><Interval>30</Interval><Mode>Fast</Mode></config>");
  ASSERT_EQ(VOP_ConfigRead(data_.c_str(), c_), 0u);
  auto iv = Get("Interval", 1);
  EXPECT_EQ(iv[0]->type, VOP_TYPE_INTEGER);
  EXPECT_EQ(iv[0]->value.integer, 30);
  auto mode = Get("Mode", 1);
  EXPECT_STREQ(mode[0]->value.enumeration, "Fast");
  Get("Label", 0);
  vop_data_t* def = nullptr;
  ASSERT_EQ(VOP_DataDefaultGet(c_, "Label", &def), 0u);
  EXPECT_STREQ(def->value.string, "none");
  ASSERT_EQ(VOP_DataDefaultGet(c_, "Interval", &def), 0u);
  EXPECT_EQ(def->value.integer, 60);
}

TEST_F(Api, ReadingTheSameDocumentTwiceDropsEverything) {
  const char* doc = "<config><Interval>30</Interval><Big>1</Big><Big>2</Big></config>";
  ASSERT_EQ(VOP_ConfigReadFromData(doc, c_), 0u);
  Get("Big", 2);
  EXPECT_EQ(VOP_ConfigReadFromData(doc, c_), VOP_ERR_DUPLICATE);
  Get("Interval", 0);
  Get("Big", 0);
  EXPECT_EQ(Written(), "<config>\n</config>\n") << "no records are left";
  // The handle stays usable.
  ASSERT_EQ(VOP_ConfigReadFromData(doc, c_), 0u);
  Get("Big", 2);
}

TEST_F(Api, DataGetOrderAndCounts) {
  ASSERT_EQ(VOP_ConfigReadFromData("<config><Big>1</Big><Big>5</Big><Big>3</Big></config>", c_),
            0u);
  vop_data_t* one[1] = {nullptr};
  uint32_t n = 1;
  ASSERT_EQ(VOP_DataGet(c_, "Big", one, &n), 0u);
  EXPECT_EQ(n, 3u) << "count is the number of records";
  EXPECT_EQ(one[0]->value.integer, 5) << "the greatest comes first";
  auto all = Get("Big", 3);
  EXPECT_EQ(all[1]->value.integer, 3);
  EXPECT_EQ(all[2]->value.integer, 1);
  n = 0;
  ASSERT_EQ(VOP_DataGet(c_, "Big", nullptr, &n), 0u);
  EXPECT_EQ(n, 3u);
}

TEST_F(Api, ContentLists) {
  uint32_t n = 0;
  ASSERT_EQ(VOP_ContentListGet(c_, nullptr, &n), 0u);
  EXPECT_EQ(n, 7u);
  vop_content_t two[2];
  n = 2;
  ASSERT_EQ(VOP_ContentListGet(c_, two, &n), 0u);
  EXPECT_EQ(n, 7u);
  EXPECT_STREQ(two[1].name, "Mode");
  EXPECT_EQ(two[1].type, VOP_TYPE_ENUMERATION);

  // From a record: its own definition and its successors at its level.
  vop_data_t* label = NewRecord("Label");
  vop_content_t list[8];
  n = 8;
  ASSERT_EQ(VOP_ContentListGetFromData(label, list, &n), 0u);
  ASSERT_EQ(n, 4u);
  EXPECT_STREQ(list[0].name, "Label");
  EXPECT_STREQ(list[3].name, "Host");
  vop_data_t* host = NewRecord("Host");
  vop_data_t* member = nullptr;
  ASSERT_EQ(VOP_DataDefaultCreateFromData(host, "Name", &member), 0u);
  n = 8;
  ASSERT_EQ(VOP_ContentListGetFromData(member, list, &n), 0u);
  ASSERT_EQ(n, 3u) << "a member lists its structure's members";
  EXPECT_STREQ(list[2].name, "Opt");
  EXPECT_EQ(list[2].type, VOP_TYPE_STRUCTURE);
  EXPECT_EQ(VOP_ContentListGetFromData(nullptr, list, &n), VOP_ERR_INVALID);

  // An item without a name matches no element, not even a nameless one.
  WriteFile(def_,
            "<config_define><item><type>integer</type></item>"
            "<item><name>V</name><type>integer</type></item></config_define>");
  vop_config_t* nameless = nullptr;
  ASSERT_EQ(VOP_ConfigCreate(def_.c_str(), &nameless), 0u);
  n = 8;
  ASSERT_EQ(VOP_ContentListGet(nameless, list, &n), 0u);
  ASSERT_EQ(n, 2u);
  EXPECT_EQ(list[0].name, nullptr);
  EXPECT_EQ(VOP_ConfigReadFromData("<config><>5</><V>6</V></config>", nameless), 0u);
  vop_data_t* v[1];
  n = 1;
  ASSERT_EQ(VOP_DataGet(nameless, "V", v, &n), 0u);
  EXPECT_EQ(n, 1u);
  VOP_ConfigDestroy(nameless);

  // A handle without definitions.
  WriteFile(def_, "<config_define><name>empty</name></config_define>");
  vop_config_t* empty = nullptr;
  ASSERT_EQ(VOP_ConfigCreate(def_.c_str(), &empty), 0u);
  EXPECT_EQ(VOP_ContentListGet(empty, nullptr, &n), VOP_ERR_INVALID);
  EXPECT_EQ(VOP_ConfigReadFromData("<config/>", empty), VOP_ERR_NO_MEMORY);
  VOP_ConfigDestroy(empty);
}

TEST_F(Api, WrittenDocumentByteForByte) {
  ASSERT_EQ(
      VOP_ConfigReadFromData("<config><Interval>30</Interval><Host><Name>a</Name><Port>8080</Port>"
                             "<Opt><Key>k1</Key></Opt></Host><On>true</On></config>",
                             c_),
      0u);
  vop_data_t* big = NewRecord("Big");
  int64_t v = 5000000000LL;
  ASSERT_EQ(VOP_DataChange(c_, big, &v), 0u);
  ASSERT_EQ(VOP_DataAdd(c_, big), 0u);
  vop_data_t* neg = NewRecord("Big");
  v = INT64_MIN;
  ASSERT_EQ(VOP_DataChange(c_, neg, &v), 0u);
  ASSERT_EQ(VOP_DataAdd(c_, neg), 0u);
  vop_data_t* a4 = NewRecord("Addr");
  vop_ipaddr_t ip;
  memset(&ip, 0, sizeof ip);
  ip.form = VOP_IPADDR_ADDRESS;
  ip.family = 4;
  uint8_t addr4[4] = {10, 0, 0, 1}, mask4[4] = {255, 255, 255, 0};
  memcpy(ip.address, addr4, 4);
  memcpy(ip.mask, mask4, 4);
  ASSERT_EQ(VOP_DataChange(c_, a4, &ip), 0u);
  ASSERT_EQ(VOP_DataAdd(c_, a4), 0u);
  vop_data_t* a6 = NewRecord("Addr");
  memset(&ip, 0, sizeof ip);
  ip.form = VOP_IPADDR_ADDRESS;
  ip.family = 6;
  ip.address[0] = 0xfe;
  ip.address[1] = 0x80;
  ip.address[15] = 0x1a;
  ip.mask[0] = 0xff;
  ip.mask[1] = 0xff;
  ASSERT_EQ(VOP_DataChange(c_, a6, &ip), 0u);
  ASSERT_EQ(VOP_DataAdd(c_, a6), 0u);
  vop_data_t* hn = NewRecord("Addr");
  memset(&ip, 0, sizeof ip);
  ip.form = VOP_IPADDR_HOSTNAME;
  char name[] = "server_1";
  ip.hostname = name;
  ASSERT_EQ(VOP_DataChange(c_, hn, &ip), 0u);
  name[0] = 'X';  // the record holds its own copy
  ASSERT_EQ(VOP_DataAdd(c_, hn), 0u);
  vop_data_t* label = NewRecord("Label");
  ASSERT_EQ(VOP_DataChange(c_, label, "  spaced"), 0u);
  ASSERT_EQ(VOP_DataAdd(c_, label), 0u);

  const std::string want =
      "<config>\n"
      "  <Interval>30</Interval>\n"
      "  <Host>    <Name>a</Name>\n"
      "    <Port>8080</Port>\n"
      "    <Opt>      <Key>k1</Key>\n"
      "    </Opt>\n"
      "  </Host>\n"
      "  <On>TRUE</On>\n"
      "  <Big>5000000000</Big>\n"
      "  <Big>-9223372036854775808</Big>\n"
      "  <Addr>10.0.0.1/255.255.255.0</Addr>\n"
      "  "
      "<Addr>fe80:0000:0000:0000:0000:0000:0000:001a/ffff:0000:0000:0000:0000:0000:0000:0000</"
      "Addr>\n"
      "  <Addr>server_1</Addr>\n"
      "  <Label>  spaced</Label>\n"
      "</config>\n";
  EXPECT_EQ(Written(), want);
  struct stat st;
  ASSERT_EQ(stat(data_.c_str(), &st), 0);

  // Read back into a fresh handle: same values, except the leading spaces
  // that the reader drops; masks are not read back.
  vop_config_t* back = nullptr;
  ASSERT_EQ(VOP_ConfigCreate(def_.c_str(), &back), 0u);
  ASSERT_EQ(VOP_ConfigRead(data_.c_str(), back), 0u);
  vop_data_t* recs[4];
  uint32_t n = 4;
  ASSERT_EQ(VOP_DataGet(back, "Big", recs, &n), 0u);
  ASSERT_EQ(n, 2u);
  EXPECT_EQ(recs[0]->value.integer, 5000000000LL);
  EXPECT_EQ(recs[1]->value.integer, INT64_MIN);
  n = 4;
  ASSERT_EQ(VOP_DataGet(back, "Label", recs, &n), 0u);
  ASSERT_EQ(n, 1u);
  EXPECT_STREQ(recs[0]->value.string, "spaced");
  n = 4;
  ASSERT_EQ(VOP_DataGet(back, "Addr", recs, &n), 0u);
  EXPECT_EQ(n, 1u) << "an address with a mask does not read back; the hostname does";
  n = 4;
  ASSERT_EQ(VOP_DataGet(back, "Host", recs, &n), 0u);
  ASSERT_EQ(n, 1u);
  vop_data_t* port[1];
  n = 1;
  ASSERT_EQ(VOP_DataGetFromData(recs[0], "Port", port, &n), 0u);
  EXPECT_EQ(port[0]->value.integer, 8080);
  VOP_ConfigDestroy(back);
}

TEST_F(Api, ChangesAddsAndDeletes) {
  ASSERT_EQ(VOP_ConfigReadFromData(
                "<config><Interval>30</Interval><Big>1</Big><Big>2</Big></config>", c_),
            0u);
  auto iv = Get("Interval", 1);
  int64_t big = 601, ok = 600;
  EXPECT_EQ(VOP_DataChange(c_, iv[0], &big), VOP_ERR_OUT_OF_RANGE);
  EXPECT_EQ(iv[0]->value.integer, 30) << "unchanged after a rejected change";
  EXPECT_EQ(VOP_DataChange(c_, iv[0], &ok), 0u);
  EXPECT_EQ(Get("Interval", 1)[0]->value.integer, 600);

  vop_data_t* second = NewRecord("Interval");
  EXPECT_EQ(VOP_DataAdd(c_, second), VOP_ERR_OUT_OF_RANGE) << "number 1";

  // Changing a record into an equal of another detaches it.
  auto bigs = Get("Big", 2);
  vop_data_t* two = bigs[0];
  int64_t one = 1;
  EXPECT_EQ(VOP_DataChange(c_, two, &one), VOP_ERR_DUPLICATE);
  EXPECT_EQ(two->value.integer, 1) << "the detached record keeps its new value";
  Get("Big", 1);
  EXPECT_EQ(Written(), "<config>\n  <Interval>600</Interval>\n  <Big>1</Big>\n</config>\n");
  // It can be changed again and re-attached.
  int64_t three = 3;
  ASSERT_EQ(VOP_DataChange(c_, two, &three), 0u);
  ASSERT_EQ(VOP_DataAdd(c_, two), 0u);
  EXPECT_EQ(VOP_DataAdd(c_, two), VOP_ERR_DUPLICATE) << "already attached";
  Get("Big", 2);

  // Delete detaches; the record stays valid and may come back.
  ASSERT_EQ(VOP_DataDel(c_, two), 0u);
  EXPECT_EQ(VOP_DataDel(c_, two), 0u) << "a detached record is left as it is";
  Get("Big", 1);
  EXPECT_EQ(two->value.integer, 3);
  ASSERT_EQ(VOP_DataAdd(c_, two), 0u);
  Get("Big", 2);

  // Enumerations, strings and type checks.
  vop_data_t* mode = NewRecord("Mode");
  EXPECT_STREQ(mode->value.enumeration, "Slow");
  EXPECT_EQ(VOP_DataChange(c_, mode, "Medium"), VOP_ERR_INVALID);
  EXPECT_EQ(VOP_DataChange(c_, mode, "Fast"), 0u);
  vop_data_t* label = NewRecord("Label");
  EXPECT_EQ(VOP_DataChange(c_, label, std::string(21, 'x').c_str()), VOP_ERR_OUT_OF_RANGE);
  EXPECT_EQ(VOP_DataChange(c_, label, "a<b"), VOP_ERR_INVALID)
      << "a '<' would break the written document";
  EXPECT_EQ(VOP_DataChange(c_, label, "ab\xE2"), VOP_ERR_INVALID)
      << "a last letter cut short would swallow the end tag";
  EXPECT_STREQ(label->value.string, "none");
  EXPECT_EQ(VOP_DataChange(c_, label, "\xFF<x"), 0u) << "this '<' is inside a letter";
  vop_data_t* host_addr = NewRecord("Addr");
  vop_ipaddr_t bad_host;
  memset(&bad_host, 0, sizeof bad_host);
  bad_host.form = VOP_IPADDR_HOSTNAME;
  bad_host.hostname = const_cast<char*>("two words");
  EXPECT_EQ(VOP_DataChange(c_, host_addr, &bad_host), VOP_ERR_INVALID)
      << "a host name must read back as one";
  uint32_t yes = 1;
  vop_data_t* on = NewRecord("On");
  EXPECT_EQ(VOP_DataChange(c_, on, &yes), 0u);
  EXPECT_EQ(on->value.boolean, 1u);

  // Records of another level or handle are not members here.
  vop_data_t* host = NewRecord("Host");
  vop_data_t* port = nullptr;
  ASSERT_EQ(VOP_DataDefaultCreateFromData(host, "Port", &port), 0u);
  EXPECT_EQ(port->value.integer, 80);
  EXPECT_EQ(VOP_DataAdd(c_, port), VOP_ERR_NOT_MEMBER);
  EXPECT_EQ(VOP_DataChange(c_, port, &ok), VOP_ERR_NOT_MEMBER);
  EXPECT_EQ(VOP_DataDel(c_, port), VOP_ERR_NOT_MEMBER);
  EXPECT_EQ(VOP_DataAddToData(host, mode), VOP_ERR_NOT_MEMBER);
}

TEST_F(Api, StructureMembers) {
  ASSERT_EQ(VOP_ConfigReadFromData("<config><Host><Name>a</Name><Port>1</Port></Host>"
                                   "<Host><Name>b</Name><Port>2</Port></Host>"
                                   "<Host><Name>a</Name><Port>3</Port></Host></config>",
                                   c_),
            0u);
  auto hosts = Get("Host", 2);  // the second "a" is a duplicate by its identifier
  vop_data_t* b = hosts[0];     // "b" sorts above "a"
  vop_data_t* names[1];
  uint32_t n = 1;
  ASSERT_EQ(VOP_DataGetFromData(b, "Name", names, &n), 0u);
  EXPECT_STREQ(names[0]->value.string, "b");
  n = 1;
  EXPECT_EQ(VOP_DataGetFromData(b, "Nope", names, &n), VOP_ERR_NOT_FOUND);
  EXPECT_EQ(VOP_DataGetFromData(names[0], "Name", names, &n), VOP_ERR_NOT_FOUND)
      << "a string record has no members";
  vop_data_t* d = nullptr;
  EXPECT_EQ(VOP_DataDefaultGetFromData(names[0], "Name", &d), VOP_ERR_INVALID);
  EXPECT_EQ(VOP_DataDefaultCreateFromData(names[0], "Name", &d), VOP_ERR_INVALID);
  ASSERT_EQ(VOP_DataDefaultGetFromData(b, "Port", &d), 0u);
  EXPECT_EQ(d->value.integer, 80);

  // Renaming b to a collides by identifier: b's record is detached.
  EXPECT_EQ(VOP_DataChangeToData(b, names[0], "a"), VOP_ERR_DUPLICATE);
  Get("Host", 1);
  // Renaming it to c puts it back in order once re-added.
  EXPECT_EQ(VOP_DataChangeToData(b, names[0], "c"), 0u);
  ASSERT_EQ(VOP_DataAdd(c_, b), 0u);
  hosts = Get("Host", 2);
  n = 1;
  ASSERT_EQ(VOP_DataGetFromData(hosts[0], "Name", names, &n), 0u);
  EXPECT_STREQ(names[0]->value.string, "c");

  // A member change re-files the attached structure: it is found again.
  vop_data_t* port[1];
  n = 1;
  ASSERT_EQ(VOP_DataGetFromData(hosts[1], "Name", names, &n), 0u);
  ASSERT_EQ(VOP_DataChangeToData(hosts[1], names[0], "z"), 0u);
  hosts = Get("Host", 2);
  n = 1;
  ASSERT_EQ(VOP_DataGetFromData(hosts[0], "Name", names, &n), 0u);
  EXPECT_STREQ(names[0]->value.string, "z") << "z now sorts first";
  ASSERT_EQ(VOP_DataDel(c_, hosts[0]), 0u) << "the re-filed record is found for deletion";
  Get("Host", 1);

  // Add and delete members; a number-1 member takes one record.
  vop_data_t* h = hosts[1];
  n = 1;
  ASSERT_EQ(VOP_DataGetFromData(h, "Port", port, &n), 0u);
  ASSERT_EQ(n, 1u);
  ASSERT_EQ(VOP_DataDelFromData(h, port[0]), 0u);
  n = 1;
  ASSERT_EQ(VOP_DataGetFromData(h, "Port", port, &n), 0u);
  EXPECT_EQ(n, 0u);
  vop_data_t* p = nullptr;
  ASSERT_EQ(VOP_DataDefaultCreateFromData(h, "Port", &p), 0u);
  int64_t v = 443;
  ASSERT_EQ(VOP_DataChangeToData(h, p, &v), 0u);
  ASSERT_EQ(VOP_DataAddToData(h, p), 0u);
  vop_data_t* p2 = nullptr;
  ASSERT_EQ(VOP_DataDefaultCreateFromData(h, "Port", &p2), 0u);
  EXPECT_EQ(VOP_DataAddToData(h, p2), VOP_ERR_OUT_OF_RANGE);

  // A structure change takes no value and keeps the members.
  uint32_t ignored = 0;
  EXPECT_EQ(VOP_DataChange(c_, h, &ignored), 0u);
  n = 1;
  ASSERT_EQ(VOP_DataGetFromData(h, "Port", port, &n), 0u);
  EXPECT_EQ(port[0]->value.integer, 443);

  // A new structure with nested members, added whole.
  vop_data_t* nh = NewRecord("Host");
  vop_data_t* nm = nullptr;
  ASSERT_EQ(VOP_DataDefaultCreateFromData(nh, "Name", &nm), 0u);
  ASSERT_EQ(VOP_DataChangeToData(nh, nm, "n"), 0u);
  ASSERT_EQ(VOP_DataAddToData(nh, nm), 0u);
  vop_data_t* opt = nullptr;
  ASSERT_EQ(VOP_DataDefaultCreateFromData(nh, "Opt", &opt), 0u);
  vop_data_t* key = nullptr;
  ASSERT_EQ(VOP_DataDefaultCreateFromData(opt, "Key", &key), 0u);
  ASSERT_EQ(VOP_DataChangeToData(opt, key, "kk"), 0u);
  ASSERT_EQ(VOP_DataAddToData(opt, key), 0u);
  ASSERT_EQ(VOP_DataAddToData(nh, opt), 0u);
  ASSERT_EQ(VOP_DataAdd(c_, nh), 0u);
  EXPECT_EQ(Written(),
            "<config>\n"
            "  <Host>    <Name>c</Name>\n"
            "    <Port>443</Port>\n"
            "  </Host>\n"
            "  <Host>    <Name>n</Name>\n"
            "    <Opt>      <Key>kk</Key>\n"
            "    </Opt>\n"
            "  </Host>\n"
            "</config>\n");
}

TEST_F(Api, WriteFailsOnUnwritablePathAndKeepsNothingHalfDone) {
  ASSERT_EQ(VOP_ConfigReadFromData("<config><Interval>30</Interval></config>", c_), 0u);
  ASSERT_EQ(VOP_ConfigWrite(data_.c_str(), c_), 0u);
  std::string dirpath = dir_ + "/sub";
  ASSERT_EQ(mkdir(dirpath.c_str(), 0755), 0);
  EXPECT_EQ(VOP_ConfigWrite(dirpath.c_str(), c_), VOP_ERR_SYSCALL | EISDIR);
  rmdir(dirpath.c_str());
  EXPECT_EQ(ReadFile(data_), "<config>\n  <Interval>30</Interval>\n</config>\n");
}

// Documents are read under a shared lock and written under an exclusive one:
// a reader in another process waits for a writer, and a writer for a reader.
TEST_F(Api, FileLocksMakeOtherProcessesWait) {
  WriteFile(data_, "<config><Interval>30</Interval></config>");
  for (int holder_lock : {LOCK_EX, LOCK_SH}) {
    int fd = open(data_.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    int locked = ::flock(fd, holder_lock);
    ASSERT_EQ(locked, 0);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(fd);
      close(ready[0]);
      if (write(ready[1], "r", 1) != 1) _exit(3);
      uint32_t rc;
      if (holder_lock == LOCK_EX) {
        rc = VOP_ConfigRead(data_.c_str(), c_);
      } else {
        rc = VOP_ConfigWrite(data_.c_str(), c_);
      }
      _exit(rc == 0 ? 0 : 2);
    }
    close(ready[1]);
    char ch;
    ASSERT_EQ(read(ready[0], &ch, 1), 1);
    close(ready[0]);
    usleep(300 * 1000);
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0)
        << (holder_lock == LOCK_EX ? "a read went ahead while a writer held the document"
                                   : "a write went ahead while a reader held the document");
    EXPECT_EQ(ReadFile(data_), "<config><Interval>30</Interval></config>")
        << "the document changed under the lock holder";
    close(fd);
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  }
  EXPECT_EQ(ReadFile(data_), "<config>\n</config>\n") << "the child wrote its empty handle";
}

}  // namespace
