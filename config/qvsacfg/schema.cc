// The built-in schema of definition documents. The tables are linked at
// compile time, so no first-use set-up (and no race between first users).
#include "definitions.h"

const vop_limits_t g_stLimitInteger = {INT64_MIN, INT64_MAX};
const vop_limits_t g_stLimitIdent = {1, 2147483646};
const vop_limits_t g_stLimitString = {0, 2147483646};
const vop_limits_t g_stLimitNumber = {0, 2147483647};

namespace {
char kInteger[] = "integer";
char kString[] = "string";
char kBoolean[] = "boolean";
char kIpaddr[] = "ipaddr";
char kEnumeration[] = "enumeration";
char kStructure[] = "structure";
char kConfigDefine[] = "config_define";
char kConfig[] = "config";
char kEmpty[] = "";
}  // namespace

vop_enum_def_t g_enFormatEnumType[] = {
    {&g_enFormatEnumType[1], kInteger, kEmpty},     {&g_enFormatEnumType[2], kString, kEmpty},
    {&g_enFormatEnumType[3], kBoolean, kEmpty},     {&g_enFormatEnumType[4], kIpaddr, kEmpty},
    {&g_enFormatEnumType[5], kEnumeration, kEmpty}, {nullptr, kStructure, kEmpty},
};
vop_enum_def_t g_enFormatEnumFiletype[] = {{nullptr, kConfigDefine, kEmpty}};
vop_enum_def_t g_enDataEnumFiletype[] = {{nullptr, kConfig, kEmpty}};

vop_form_t g_stFormatDataDefine[] = {
    {&g_stFormatDataDefine[1], "name", ROW_IDENT, 1, 0, 1, &g_stLimitIdent, {0, 0}, nullptr},
    {&g_stFormatDataDefine[2],
     "description",
     ROW_STRING,
     1,
     0,
     0,
     &g_stLimitString,
     {0, 0},
     nullptr},
    {&g_stFormatDataDefine[3],
     "dispstring",
     ROW_STRING,
     1,
     0,
     0,
     &g_stLimitString,
     {0, 0},
     nullptr},
    {&g_stFormatDataDefine[4], "hidden", ROW_BOOLEAN, 1, 0, 0, nullptr, {0, 0}, nullptr},
    {nullptr, "item", ROW_STRUCT, 0, 0, 0, g_stFormatDataItem, {0, 0}, nullptr},
};

vop_form_t g_stFormatDataItem[] = {
    {&g_stFormatDataItem[1], "name", ROW_IDENT, 1, 1, 1, &g_stLimitIdent, {0, 0}, nullptr},
    {&g_stFormatDataItem[2], "description", ROW_STRING, 1, 0, 0, &g_stLimitString, {0, 0}, nullptr},
    {&g_stFormatDataItem[3], "dispstring", ROW_STRING, 1, 0, 0, &g_stLimitString, {0, 0}, nullptr},
    {&g_stFormatDataItem[4], "identifier", ROW_BOOLEAN, 1, 0, 0, nullptr, {0, 0}, nullptr},
    {&g_stFormatDataItem[5], "necessity", ROW_BOOLEAN, 1, 0, 0, nullptr, {0, 0}, nullptr},
    {&g_stFormatDataItem[6], "hidden", ROW_BOOLEAN, 1, 0, 0, nullptr, {0, 0}, nullptr},
    {&g_stFormatDataItem[7], "number", ROW_INTEGER, 1, 0, 0, &g_stLimitNumber, {0, 0}, nullptr},
    {&g_stFormatDataItem[8], "type", ROW_ENUMVAL, 1, 0, 1, g_enFormatEnumType, {0, 0}, nullptr},
    {&g_stFormatDataItem[9], "enum", ROW_ENUMDEF, 1, 0, 0, &g_stLimitIdent, {0, 0}, nullptr},
    {&g_stFormatDataItem[10], "default", ROW_VALIABLE, 1, 0, 0, nullptr, {0, 0}, nullptr},
    {&g_stFormatDataItem[11], "minimum", ROW_INTEGER, 1, 0, 0, &g_stLimitInteger, {0, 0}, nullptr},
    {&g_stFormatDataItem[12], "maximum", ROW_INTEGER, 1, 0, 0, &g_stLimitInteger, {0, 0}, nullptr},
    {nullptr, "item", ROW_STRUCT, 0, 0, 0, g_stFormatDataItem, {0, 0}, nullptr},
};
