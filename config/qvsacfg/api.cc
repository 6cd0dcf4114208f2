// The exported entry points: argument checks, then the configuration layer.
// Nothing may escape across the C boundary, so each body is guarded.
#include <new>

#include "config_layer.h"
#include "vopcfg.h"

#define VOP_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

template <typename Fn>
uint32_t Guarded(Fn fn) {
  try {
    return fn();
  } catch (const std::bad_alloc&) {
    return ERR_NO_MEMORY;
  } catch (...) {
    return ERR_INVALID;
  }
}

// The members container of a structure record, or NULL for other records.
vop_container_t* MembersOf(vop_data_t* structure) {
  vop_item_t* item = CfgItemFromData(structure);
  if (item == nullptr || item->data.type != VOP_TYPE_STRUCTURE) return nullptr;
  return &item->members;
}

vop_format_t* DefinitionNamed(vop_container_t* c, const char* name) {
  long index = CfgFolderFind_l3(c, name);
  return index >= 0 ? c->definitions[index] : nullptr;
}

}  // namespace

VOP_EXPORT uint32_t VOP_ConfigCreate(const char* path, vop_config_t** config) {
  return Guarded([&]() -> uint32_t {
    if (path == nullptr || config == nullptr) return ERR_INVALID;
    vop_row_item_t* rows = nullptr;
    uint32_t rc = vopFileReadCommon(READER_FILE, path, g_stFormatDataDefine, &rows);
    if (rc != 0) return rc;
    CfgConfig* created = nullptr;
    rc = CfgConfigCreate_l3(rows, &created);
    vopRowItemListFree(rows);
    if (rc == 0) *config = &created->head;
    return rc;
  });
}

VOP_EXPORT uint32_t VOP_ConfigDestroy(vop_config_t* handle) {
  return Guarded([&]() -> uint32_t {
    if (handle == nullptr) return 0;
    CfgConfig* config = CfgConfigOf(handle);
    if (config == nullptr) return ERR_BAD_HANDLE;
    CfgConfigDestroy_l3(config);
    return 0;
  });
}

VOP_EXPORT uint32_t VOP_ConfigRead(const char* path, vop_config_t* handle) {
  return Guarded([&]() -> uint32_t {
    if (path == nullptr || handle == nullptr) return ERR_INVALID;
    CfgConfig* config = CfgConfigOf(handle);
    if (config == nullptr) return ERR_BAD_HANDLE;
    return vopConfigRead(READER_FILE, path, config);
  });
}

VOP_EXPORT uint32_t VOP_ConfigReadFromData(const char* text, vop_config_t* handle) {
  return Guarded([&]() -> uint32_t {
    if (text == nullptr || handle == nullptr) return ERR_INVALID;
    CfgConfig* config = CfgConfigOf(handle);
    if (config == nullptr) return ERR_BAD_HANDLE;
    return vopConfigRead(READER_MEMORY, text, config);
  });
}

VOP_EXPORT uint32_t VOP_ConfigWrite(const char* path, vop_config_t* handle) {
  return Guarded([&]() -> uint32_t {
    if (path == nullptr || handle == nullptr) return ERR_INVALID;
    CfgConfig* config = CfgConfigOf(handle);
    if (config == nullptr) return ERR_BAD_HANDLE;
    return CfgFileWrite_l3(path, config);
  });
}

VOP_EXPORT uint32_t VOP_ContentListGet(vop_config_t* handle, vop_content_t* entries,
                                       uint32_t* count) {
  return Guarded([&]() -> uint32_t {
    if (handle == nullptr || count == nullptr) return ERR_INVALID;
    CfgConfig* config = CfgConfigOf(handle);
    if (config == nullptr) return ERR_BAD_HANDLE;
    if (config->definitions == nullptr) return ERR_INVALID;
    return CfgContentListGet_l3(config->definitions, entries, count);
  });
}

VOP_EXPORT uint32_t VOP_ContentListGetFromData(vop_data_t* record, vop_content_t* entries,
                                               uint32_t* count) {
  return Guarded([&]() -> uint32_t {
    if (record == nullptr || count == nullptr) return ERR_INVALID;
    vop_item_t* item = CfgItemFromData(record);
    if (item == nullptr) return ERR_INVALID;
    return CfgContentListGet_l3(item->definition, entries, count);
  });
}

VOP_EXPORT uint32_t VOP_DataGet(vop_config_t* handle, const char* name, vop_data_t** records,
                                uint32_t* count) {
  return Guarded([&]() -> uint32_t {
    if (handle == nullptr || name == nullptr || count == nullptr) return ERR_INVALID;
    CfgConfig* config = CfgConfigOf(handle);
    if (config == nullptr) return ERR_BAD_HANDLE;
    return CfgDataArrayGetFromFolder_l3(&config->records, name, records, count);
  });
}

VOP_EXPORT uint32_t VOP_DataGetFromData(vop_data_t* structure, const char* name,
                                        vop_data_t** records, uint32_t* count) {
  return Guarded([&]() -> uint32_t {
    if (structure == nullptr || name == nullptr || count == nullptr) return ERR_INVALID;
    vop_container_t* members = MembersOf(structure);
    if (members == nullptr) return ERR_NOT_FOUND;
    return CfgDataArrayGetFromFolder_l3(members, name, records, count);
  });
}

VOP_EXPORT uint32_t VOP_DataDefaultGet(vop_config_t* handle, const char* name, vop_data_t** value) {
  return Guarded([&]() -> uint32_t {
    if (handle == nullptr || name == nullptr || value == nullptr) return ERR_INVALID;
    CfgConfig* config = CfgConfigOf(handle);
    if (config == nullptr) return ERR_BAD_HANDLE;
    vop_format_t* def = DefinitionNamed(&config->records, name);
    if (def == nullptr) return ERR_NOT_FOUND;
    *value = &def->default_value;
    return 0;
  });
}

VOP_EXPORT uint32_t VOP_DataDefaultGetFromData(vop_data_t* structure, const char* name,
                                               vop_data_t** value) {
  return Guarded([&]() -> uint32_t {
    if (structure == nullptr || name == nullptr || value == nullptr) return ERR_INVALID;
    vop_container_t* members = MembersOf(structure);
    if (members == nullptr) return ERR_INVALID;
    vop_format_t* def = DefinitionNamed(members, name);
    if (def == nullptr) return ERR_NOT_FOUND;
    *value = &def->default_value;
    return 0;
  });
}

VOP_EXPORT uint32_t VOP_DataDefaultCreate(vop_config_t* handle, const char* name,
                                          vop_data_t** record) {
  return Guarded([&]() -> uint32_t {
    if (handle == nullptr || name == nullptr || record == nullptr) return ERR_INVALID;
    CfgConfig* config = CfgConfigOf(handle);
    if (config == nullptr) return ERR_BAD_HANDLE;
    vop_format_t* def = DefinitionNamed(&config->records, name);
    if (def == nullptr) return ERR_NOT_FOUND;
    return CfgDataCreateFromFormat_l3(config, def, record);
  });
}

VOP_EXPORT uint32_t VOP_DataDefaultCreateFromData(vop_data_t* structure, const char* name,
                                                  vop_data_t** record) {
  return Guarded([&]() -> uint32_t {
    if (structure == nullptr || name == nullptr || record == nullptr) return ERR_INVALID;
    vop_container_t* members = MembersOf(structure);
    if (members == nullptr) return ERR_INVALID;
    vop_format_t* def = DefinitionNamed(members, name);
    if (def == nullptr) return ERR_NOT_FOUND;
    return CfgDataCreateFromFormat_l3(members->config, def, record);
  });
}

VOP_EXPORT uint32_t VOP_DataChange(vop_config_t* handle, vop_data_t* record, const void* value) {
  return Guarded([&]() -> uint32_t {
    if (handle == nullptr || record == nullptr || value == nullptr) return ERR_INVALID;
    CfgConfig* config = CfgConfigOf(handle);
    if (config == nullptr) return ERR_BAD_HANDLE;
    vop_item_t* item = CfgItemFromData(record);
    if (item == nullptr) return ERR_INVALID;
    return CfgDataChg_l3(&config->records, item, value);
  });
}

VOP_EXPORT uint32_t VOP_DataChangeToData(vop_data_t* structure, vop_data_t* member,
                                         const void* value) {
  return Guarded([&]() -> uint32_t {
    if (structure == nullptr || member == nullptr || value == nullptr) return ERR_INVALID;
    vop_container_t* members = MembersOf(structure);
    vop_item_t* item = CfgItemFromData(member);
    if (members == nullptr || item == nullptr) return ERR_INVALID;
    return CfgDataChg_l3(members, item, value);
  });
}

VOP_EXPORT uint32_t VOP_DataAdd(vop_config_t* handle, vop_data_t* record) {
  return Guarded([&]() -> uint32_t {
    if (handle == nullptr || record == nullptr) return ERR_INVALID;
    CfgConfig* config = CfgConfigOf(handle);
    if (config == nullptr) return ERR_BAD_HANDLE;
    vop_item_t* item = CfgItemFromData(record);
    if (item == nullptr) return ERR_INVALID;
    return CfgDataAdd_l3(&config->records, item);
  });
}

VOP_EXPORT uint32_t VOP_DataAddToData(vop_data_t* structure, vop_data_t* member) {
  return Guarded([&]() -> uint32_t {
    if (structure == nullptr || member == nullptr) return ERR_INVALID;
    vop_container_t* members = MembersOf(structure);
    vop_item_t* item = CfgItemFromData(member);
    if (members == nullptr || item == nullptr) return ERR_INVALID;
    return CfgDataAdd_l3(members, item);
  });
}

VOP_EXPORT uint32_t VOP_DataDel(vop_config_t* handle, vop_data_t* record) {
  return Guarded([&]() -> uint32_t {
    if (handle == nullptr || record == nullptr) return ERR_INVALID;
    CfgConfig* config = CfgConfigOf(handle);
    if (config == nullptr) return ERR_BAD_HANDLE;
    vop_item_t* item = CfgItemFromData(record);
    if (item == nullptr) return ERR_INVALID;
    return CfgDataDel_l3(&config->records, item);
  });
}

VOP_EXPORT uint32_t VOP_DataDelFromData(vop_data_t* structure, vop_data_t* member) {
  return Guarded([&]() -> uint32_t {
    if (structure == nullptr || member == nullptr) return ERR_INVALID;
    vop_container_t* members = MembersOf(structure);
    vop_item_t* item = CfgItemFromData(member);
    if (members == nullptr || item == nullptr) return ERR_INVALID;
    return CfgDataDel_l3(members, item);
  });
}
