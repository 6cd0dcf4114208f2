// Definition documents: the built-in schema they are read with, and item
// definitions (vop_format_t) built from their "item" elements.
#pragma once

#include <cstdint>

#include "reader.h"
#include "vopcfg.h"

// Built-in limits and value lists.
extern const vop_limits_t g_stLimitInteger;
extern const vop_limits_t g_stLimitIdent;
extern const vop_limits_t g_stLimitString;
extern const vop_limits_t g_stLimitNumber;
extern vop_enum_def_t g_enFormatEnumType[];
extern vop_enum_def_t g_enFormatEnumFiletype[];
extern vop_enum_def_t g_enDataEnumFiletype[];

// Forms of a definition document: the root's children and an item's children.
extern vop_form_t g_stFormatDataDefine[];
extern vop_form_t g_stFormatDataItem[];

// A string minimum above this gets an empty default instead of that many
// spaces: no settings text is that long, and the fill would be a huge allocation.
constexpr int64_t FORMAT_MAX_SPACE_DEFAULT = 65536;

struct vop_format_t {
  vop_format_t* next;
  char* name;
  char* description;
  char* dispstring;
  uint32_t identifier;
  uint32_t necessity;
  uint32_t hidden;
  uint32_t number;  // 0 = any number of records
  uint32_t type;
  vop_enum_def_t* enumeration;
  vop_data_t default_value;
  int64_t minimum;
  int64_t maximum;
  vop_format_t* members;
};

// Builds one item definition from the rows of an "item" element, taking
// their values over. Only a failed allocation fails (ERR_NO_MEMORY).
uint32_t CfgFormatCreate_l3(vop_row_item_t* rows, unsigned depth, vop_format_t** format);

// Frees a list of item definitions with everything they own.
void CfgFormatDestroy_l3(vop_format_t* list);

// The type code of a type name ("integer" 1 ... "structure" 6), 0 for others.
uint32_t CfgTypeFromName(const char* name);
