#include "ved_read.h"

#include "result_codes.h"

namespace {

int ReadInto(const char* define_path, const char* data, bool data_is_text, VedConfig* config) {
  if (fs_vopFuncs.ConfigCreate(define_path, config->out()) != 0) {
    config->Reset();
    return kVedReadDefinitionFailed;
  }
  if (data == nullptr) return kVedReadOk;
  uint32_t rc = data_is_text ? fs_vopFuncs.ConfigReadFromData(data, config->get())
                             : fs_vopFuncs.ConfigRead(data, config->get());
  if (rc != 0) {
    config->Reset();
    return kVedReadDataFailed;
  }
  return kVedReadOk;
}

}  // namespace

int vedReadConfig(const char* define_path, const char* data_path, VedConfig* config) {
  return ReadInto(define_path, data_path, false, config);
}

int vedReadConfigFromData(const char* define_path, const char* text, VedConfig* config) {
  return ReadInto(define_path, text, true, config);
}

uint32_t VedFirstRecord(vop_config_t* config, const char* name, vop_data_t** record) {
  vop_data_t* found[1] = {nullptr};
  uint32_t count = 1;
  uint32_t rc = fs_vopFuncs.DataGet(config, name, found, &count);
  if (rc != 0) return rc;
  if (count == 0 || found[0] == nullptr) return ERR_NOT_FOUND;
  *record = found[0];
  return 0;
}

uint32_t VedFirstMember(vop_data_t* structure, const char* name, vop_data_t** member) {
  vop_data_t* found[1] = {nullptr};
  uint32_t count = 1;
  uint32_t rc = fs_vopFuncs.DataGetFromData(structure, name, found, &count);
  if (rc != 0) return rc;
  if (count == 0 || found[0] == nullptr) return ERR_NOT_FOUND;
  *member = found[0];
  return 0;
}

bool VedStringValue(const vop_data_t* record, std::string* text) {
  if (record == nullptr || record->type != VOP_TYPE_STRING || record->value.string == nullptr) {
    return false;
  }
  *text = record->value.string;
  return true;
}
