// The installed library as its callers use it: loaded by its real path with
// dlopen, every entry point resolved by name, and loaded and unloaded once
// per settings read, as the daemon does.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "vopcfg.h"

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

}  // namespace
