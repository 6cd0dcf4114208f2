// Per-kind row creators: each takes an element and its form's limit and
// returns a new row, or an error and no row.
#pragma once

#include "reader.h"

uint32_t vopRowItemCreateIdent(const vop_tag_t* element, const void* limit, vop_row_item_t** row);
uint32_t vopRowItemCreateInteger(const vop_tag_t* element, const void* limit, vop_row_item_t** row);
uint32_t vopRowItemCreateString(const vop_tag_t* element, const void* limit, vop_row_item_t** row);
uint32_t vopRowItemCreateBoolean(const vop_tag_t* element, const void* limit, vop_row_item_t** row);
uint32_t vopRowItemCreateIpaddr(const vop_tag_t* element, const void* limit, vop_row_item_t** row);
uint32_t vopRowItemCreateEnumDefine(const vop_tag_t* element, const void* limit,
                                    vop_row_item_t** row);
uint32_t vopRowItemCreateEnumValue(const vop_tag_t* element, const void* limit,
                                   vop_row_item_t** row);
uint32_t vopRowItemCreateStruct(const vop_tag_t* element, const void* limit, unsigned depth,
                                vop_row_item_t** row);
uint32_t vopRowItemCreateValiable(const vop_tag_t* element, const void* limit,
                                  vop_row_item_t** row);

// The value list of an "enum" element: child element names with their texts.
// Names outside the length limit or repeated are skipped.
uint32_t vopRowItemCreateEnumList(const vop_tag_t* element, const vop_limits_t* limit,
                                  vop_enum_def_t** list);
