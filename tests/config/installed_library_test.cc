// The installed library as its callers use it: loaded by its real path with
// dlopen, every entry point resolved by name, and loaded and unloaded once
// per settings read, as the daemon does.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstddef>
#include <fstream>
#include <string>
#include <type_traits>

#include "vopcfg.h"

// The handle's documented head, as a caller compiled in either word size
// lays it out: offsets of name, description, dispstring, hidden, then size.
#if UINTPTR_MAX == 0xffffffffu
constexpr size_t kHead[] = {0, 4, 8, 12, 16};
#else
constexpr size_t kHead[] = {0, 8, 16, 24, 32};
#endif
static_assert(offsetof(vop_config_t, name) == kHead[0] &&
                  offsetof(vop_config_t, description) == kHead[1] &&
                  offsetof(vop_config_t, dispstring) == kHead[2] &&
                  offsetof(vop_config_t, hidden) == kHead[3] && sizeof(vop_config_t) == kHead[4],
              "the head is name, description, dispstring, hidden at this word size's offsets");
static_assert(std::is_same_v<decltype(vop_config_t::name), const char*> &&
                  std::is_same_v<decltype(vop_config_t::description), const char*> &&
                  std::is_same_v<decltype(vop_config_t::dispstring), const char*> &&
                  std::is_same_v<decltype(vop_config_t::hidden), uint32_t>,
              "texts are read-only pointers, hidden a u32");

namespace {

const char* const kEntryPoints[] = {
    "VOP_ConfigCreate",
    "VOP_ConfigDestroy",
    "VOP_ConfigRead",
    "VOP_ConfigReadFromData",
    "VOP_ConfigWrite",
    "VOP_ContentListGet",
    "VOP_ContentListGetFromData",
    "VOP_DataGet",
    "VOP_DataGetFromData",
    "VOP_DataDefaultGet",
    "VOP_DataDefaultGetFromData",
    "VOP_DataDefaultCreate",
    "VOP_DataDefaultCreateFromData",
    "VOP_DataChange",
    "VOP_DataChangeToData",
    "VOP_DataAdd",
    "VOP_DataAddToData",
    "VOP_DataDel",
    "VOP_DataDelFromData",
};

TEST(InstalledLibrary, ResolvesEveryEntryPoint) {
  void* lib = dlopen(TW_VOPCFG_PATH, RTLD_LAZY | RTLD_NOW | RTLD_GLOBAL);
  ASSERT_NE(lib, nullptr) << TW_VOPCFG_PATH << ": " << dlerror();
  for (const char* name : kEntryPoints) {
    EXPECT_NE(dlsym(lib, name), nullptr) << name << " is not exported";
  }
  EXPECT_EQ(dlsym(lib, "StrToInt32_L2"), nullptr) << "internal layers must stay hidden";
  EXPECT_EQ(dlsym(lib, "DFolderAdd_L3"), nullptr) << "internal layers must stay hidden";
  dlclose(lib);
}

using Create = uint32_t (*)(const char*, vop_config_t**);
using Destroy = uint32_t (*)(vop_config_t*);
using Read = uint32_t (*)(const char*, vop_config_t*);
using Get = uint32_t (*)(vop_config_t*, const char*, vop_data_t**, uint32_t*);
using DefaultGet = uint32_t (*)(vop_config_t*, const char*, vop_data_t**);

// One settings read the way the daemon does it; returns the value of Timeout
// (its record, else its default) or -1.
int64_t ReadOnce(const std::string& def, const std::string& data) {
  void* lib = dlopen(TW_VOPCFG_PATH, RTLD_LAZY | RTLD_NOW | RTLD_GLOBAL);
  if (lib == nullptr) return -1;
  auto create = reinterpret_cast<Create>(dlsym(lib, "VOP_ConfigCreate"));
  auto destroy = reinterpret_cast<Destroy>(dlsym(lib, "VOP_ConfigDestroy"));
  auto read = reinterpret_cast<Read>(dlsym(lib, "VOP_ConfigRead"));
  auto get = reinterpret_cast<Get>(dlsym(lib, "VOP_DataGet"));
  auto get_default = reinterpret_cast<DefaultGet>(dlsym(lib, "VOP_DataDefaultGet"));
  int64_t result = -1;
  vop_config_t* c = nullptr;
  if (create != nullptr && create(def.c_str(), &c) == 0) {
    if (read(data.c_str(), c) == 0) {
      vop_data_t* rec = nullptr;
      uint32_t count = 1;
      if (get(c, "Timeout", &rec, &count) != 0 || count == 0) {
        if (get_default(c, "Timeout", &rec) != 0) rec = nullptr;
      }
      if (rec != nullptr && rec->type == VOP_TYPE_INTEGER) result = rec->value.integer;
    }
    destroy(c);
  }
  dlclose(lib);
  return result;
}

TEST(InstalledLibrary, LoadReadUnloadRepeatedly) {
  std::string def = "/tmp/tw_installed_def.xml", data = "/tmp/tw_installed_data.xml";
  std::ofstream(def) << "<config_define><name>t</name><item><name>Timeout</name>"
                        "<type>integer</type><default>60</default><minimum>1</minimum>"
                        "<maximum>3600</maximum></item></config_define>";
  std::ofstream(data) << "<config><Timeout>1200</Timeout></config>";
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ReadOnce(def, data), 1200) << "read " << i;
  std::ofstream(data) << "<config></config>";
  EXPECT_EQ(ReadOnce(def, data), 60) << "a missing key falls back to its default";
  unlink(def.c_str());
  unlink(data.c_str());
}

// A text of the head as it reads in a failure message.
std::string Shown(const char* text) {
  return text != nullptr ? "\"" + std::string(text) + "\"" : "NULL";
}

// A caller reading the head of a handle straight after VOP_ConfigCreate,
// with only what vopcfg.h declares.
TEST(InstalledLibrary, HandleHeadHoldsTheDefinitionsTexts) {
  struct Case {
    const char* top;  // the root's children before its one item
    const char* name;
    const char* description;
    const char* dispstring;
    uint32_t hidden;
  };
  const Case cases[] = {
      {"<name>comp</name><description>Watch it</description><dispstring>Watch</dispstring>"
       "<hidden>true</hidden>",
       "comp", "Watch it", "Watch", 1},
      {"<name>comp</name><hidden>TrUe</hidden>", "comp", nullptr, nullptr, 1},
      {"<name>comp</name><description>only this</description><hidden>yes</hidden>", "comp",
       "only this", nullptr, 0},
      {"<dispstring>no name</dispstring><hidden>TRUE </hidden>", nullptr, nullptr, "no name", 0},
      {"<name>comp</name>", "comp", nullptr, nullptr, 0},
  };
  const std::string def = "/tmp/tw_installed_head.xml";
  void* lib = dlopen(TW_VOPCFG_PATH, RTLD_LAZY | RTLD_NOW | RTLD_GLOBAL);
  ASSERT_NE(lib, nullptr) << TW_VOPCFG_PATH << ": " << dlerror();
  auto create = reinterpret_cast<Create>(dlsym(lib, "VOP_ConfigCreate"));
  auto destroy = reinterpret_cast<Destroy>(dlsym(lib, "VOP_ConfigDestroy"));
  ASSERT_TRUE(create != nullptr && destroy != nullptr);
  for (const Case& c : cases) {
    std::ofstream(def) << "<config_define>" << c.top
                       << "<item><name>A</name><type>integer</type></item></config_define>";
    vop_config_t* h = nullptr;
    ASSERT_EQ(create(def.c_str(), &h), 0u) << c.top;
    EXPECT_EQ(Shown(c.name), Shown(h->name)) << c.top;
    EXPECT_EQ(Shown(c.description), Shown(h->description)) << c.top;
    EXPECT_EQ(Shown(c.dispstring), Shown(h->dispstring)) << c.top;
    EXPECT_EQ(c.hidden, h->hidden) << c.top;
    EXPECT_EQ(destroy(h), 0u) << c.top;
  }
  dlclose(lib);
  unlink(def.c_str());
}

}  // namespace
