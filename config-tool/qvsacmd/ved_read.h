// Reading documents through the loaded configuration library.
#pragma once

#include <cstdint>
#include <string>

#include "ved_library.h"

// Owns a configuration handle; destroys it before the library is unloaded
// (declare it after the VedLibraryScope).
class VedConfig {
 public:
  VedConfig() = default;
  ~VedConfig() { Reset(); }
  VedConfig(const VedConfig&) = delete;
  VedConfig& operator=(const VedConfig&) = delete;
  vop_config_t* get() const { return handle_; }
  vop_config_t** out() {
    Reset();
    return &handle_;
  }
  void Reset() {
    if (handle_ != nullptr && fs_vopFuncs.ConfigDestroy != nullptr) {
      fs_vopFuncs.ConfigDestroy(handle_);
    }
    handle_ = nullptr;
  }

 private:
  vop_config_t* handle_ = nullptr;
};

// vedReadConfig results.
constexpr int kVedReadOk = 0;
constexpr int kVedReadDefinitionFailed = 1;
constexpr int kVedReadDataFailed = 2;

// Creates a handle from the definition document and, when data_path is not
// NULL, reads the data document into it. Returns kVedReadOk with the handle
// in *config, or one of the failure values with *config empty.
int vedReadConfig(const char* define_path, const char* data_path, VedConfig* config);

// The same with the data given as a text.
int vedReadConfigFromData(const char* define_path, const char* text, VedConfig* config);

// The first top-level record of an item. The library's code on failure,
// ERR_NOT_FOUND when the item has no record.
uint32_t VedFirstRecord(vop_config_t* config, const char* name, vop_data_t** record);

// The first member of that name in a structure record; codes as above.
uint32_t VedFirstMember(vop_data_t* structure, const char* name, vop_data_t** member);

// The text of a string record; false for another type.
bool VedStringValue(const vop_data_t* record, std::string* text);
