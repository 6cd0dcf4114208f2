// The configuration layer behind the exported entry points: the handle, its
// records and the containers that hold them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "data_folder_l3.h"
#include "definitions.h"
#include "reader.h"
#include "vopcfg.h"

struct vop_item_t;
struct CfgConfig;

// A container of records: the handle's top level or one structure's members.
// Its records are listed in insertion order and filed, per definition, in a
// data folder ordered by vopItemComp.
struct vop_container_t {
  vop_item_t* first;
  vop_item_t* last;
  uint32_t count;              // definitions at this level
  vop_format_t** definitions;  // count entries, in definition order
  DFolder** folders;           // count entries, one per definition; NULL until used
  vop_item_t* owner;           // the structure record; NULL at the top level
  CfgConfig* config;
};

constexpr char ITEM_MARK[4] = {'V', 'O', 'P', 'R'};

// One record. Callers hold a pointer to its data.
struct vop_item_t {
  char mark[4];
  vop_item_t* next;  // container list; both NULL while detached
  vop_item_t* prev;
  vop_format_t* definition;
  vop_data_t data;
  vop_container_t members;     // set up for structures, empty otherwise
  vop_container_t* container;  // where it is attached; NULL when detached
  vop_item_t* detached_next;   // the handle's list of detached records
  vop_item_t* detached_prev;
};

constexpr char CONFIG_MARK[4] = {'V', 'O', 'P', 'C'};

// What a handle points to: first the head that callers read (vopcfg.h), then
// the library's own state, mark included. The head's texts are owned here.
struct CfgConfig {
  vop_config_t head;
  char mark[4];
  vop_format_t* definitions;
  vop_container_t records;
  vop_item_t* detached;  // records no container owns; released with the handle
};
// A caller's handle and the library's record share their address.
static_assert(offsetof(CfgConfig, head) == 0, "the documented head starts the handle");

// The library's record behind a handle, or NULL when the handle is NULL or
// carries no live mark.
CfgConfig* CfgConfigOf(vop_config_t* handle);

// The record behind a data pointer handed out, or NULL when it is not one.
vop_item_t* CfgItemFromData(vop_data_t* data);

// Records.
vop_item_t* vopItemAlloc(CfgConfig* config, vop_format_t* definition);
void vopItemFree(vop_item_t* item);
int vopItemComp(const void* stored, const void* key);
void CfgDetachedPush(vop_item_t* item);
void CfgDetachedRemove(vop_item_t* item);

// Containers.
void CfgFolderInit_l3(vop_container_t* c, CfgConfig* config, vop_item_t* owner);
uint32_t CfgFolderSet_l3(vop_container_t* c, vop_format_t* definitions);
void CfgFolderClear_l3(vop_container_t* c);
// The data folder of definition index i, created on first use when create
// is set (most structure members never hold more than one record).
DFolder* CfgFolderAt(vop_container_t* c, uint32_t i, bool create);
// Index of a definition in the container, or -1.
long CfgFolderIndex_l3(const vop_container_t* c, const vop_format_t* definition);
// Index of the definition named name, or -1.
long CfgFolderFind_l3(const vop_container_t* c, const char* name);
void CfgListAppend(vop_container_t* c, vop_item_t* item);
void CfgListRemove(vop_container_t* c, vop_item_t* item);

// Handle.
uint32_t CfgConfigCreate_l3(vop_row_item_t* rows, CfgConfig** config);
void CfgConfigDestroy_l3(CfgConfig* config);
uint32_t vopConfigRead(uint32_t mode, const char* source, CfgConfig* config);
uint32_t CfgFormListCreate_l3(const vop_format_t* definitions, vop_form_t** forms, unsigned depth);
void CfgFormListDestroy_l3(vop_form_t* forms);
uint32_t CfgItemListCreateFromRowItem_l3(vop_row_item_t* rows, vop_container_t* c);
uint32_t CfgFileWrite_l3(const char* path, CfgConfig* config);

// Entry point bodies.
uint32_t CfgContentListGet_l3(const vop_format_t* first, vop_content_t* entries, uint32_t* count);
uint32_t CfgDataArrayGetFromFolder_l3(vop_container_t* c, const char* name, vop_data_t** records,
                                      uint32_t* count);
uint32_t CfgDataCreateFromFormat_l3(CfgConfig* config, vop_format_t* definition,
                                    vop_data_t** record);
uint32_t CfgDataChg_l3(vop_container_t* c, vop_item_t* item, const void* value);
uint32_t CfgDataAdd_l3(vop_container_t* c, vop_item_t* item);
uint32_t CfgDataDel_l3(vop_container_t* c, vop_item_t* item);
