// Row creators by kind.
#include "row_creators.h"

#include <errno.h>
#include <stdlib.h>

#include <cstring>

#include "values.h"

namespace {

bool LengthWithin(const char* text, const void* limit) {
  if (limit == nullptr) return true;
  const auto* l = static_cast<const vop_limits_t*>(limit);
  auto len = static_cast<int64_t>(strlen(text));
  return len >= l->minimum && len <= l->maximum;
}

uint32_t NewRow(uint32_t kind, vop_row_item_t** row) {
  vop_row_item_t* r = vopRowItemAlloc();
  if (r == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
  r->kind = kind;
  *row = r;
  return 0;
}

uint32_t NewTextRow(uint32_t kind, const char* text, vop_row_item_t** row) {
  char* copy = strdup(text);
  if (copy == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
  uint32_t rc = NewRow(kind, row);
  if (rc != 0) {
    free(copy);
    return rc;
  }
  (*row)->value.text = copy;
  return 0;
}

}  // namespace

uint32_t vopRowItemCreateIdent(const vop_tag_t* element, const void* limit, vop_row_item_t** row) {
  const char* text = vopTagDataSearch(element);
  if (text == nullptr || vopDataCheckIdent(text) != 0) return ERR_INVALID;
  if (!LengthWithin(text, limit)) return ERR_OUT_OF_RANGE;
  return NewTextRow(ROW_IDENT, text, row);
}

uint32_t vopRowItemCreateInteger(const vop_tag_t* element, const void* limit,
                                 vop_row_item_t** row) {
  const char* text = vopTagDataSearch(element);
  if (text == nullptr) return ERR_INVALID;
  int64_t v = 0;
  uint32_t rc = vopDataConvertInteger(text, &v);
  if (rc != 0) return rc;
  if (limit != nullptr) {
    const auto* l = static_cast<const vop_limits_t*>(limit);
    if (v < l->minimum || v > l->maximum) return ERR_OUT_OF_RANGE;
  }
  rc = NewRow(ROW_INTEGER, row);
  if (rc == 0) (*row)->value.integer = v;
  return rc;
}

uint32_t vopRowItemCreateString(const vop_tag_t* element, const void* limit, vop_row_item_t** row) {
  const char* text = vopTagDataSearch(element);
  if (text == nullptr || vopDataCheckLetters(text) != 0) return ERR_INVALID;
  if (!LengthWithin(text, limit)) return ERR_OUT_OF_RANGE;
  return NewTextRow(ROW_STRING, text, row);
}

uint32_t vopRowItemCreateBoolean(const vop_tag_t* element, const void*, vop_row_item_t** row) {
  const char* text = vopTagDataSearch(element);
  uint32_t flag = 0;
  if (text == nullptr || vopDataConvertBoolean(text, &flag) != 0) return ERR_INVALID;
  uint32_t rc = NewRow(ROW_BOOLEAN, row);
  if (rc == 0) (*row)->value.flag = flag;
  return rc;
}

uint32_t vopRowItemCreateIpaddr(const vop_tag_t* element, const void*, vop_row_item_t** row) {
  const char* text = vopTagDataSearch(element);
  vop_ipaddr_t addr;
  if (text == nullptr) return ERR_INVALID;
  uint32_t rc = vopDataConvertIpaddr(text, &addr);
  if (rc != 0) return rc;
  rc = NewRow(ROW_IPADDR, row);
  if (rc != 0) {
    free(addr.hostname);
    return rc;
  }
  (*row)->value.ipaddr = addr;
  return 0;
}

uint32_t vopRowItemCreateEnumList(const vop_tag_t* element, const vop_limits_t* limit,
                                  vop_enum_def_t** list) {
  vop_enum_def_t* first = nullptr;
  vop_enum_def_t* last = nullptr;
  for (const vop_tag_t* c = element->first_child; c != nullptr; c = c->next) {
    if (c->type != TAG_ELEMENT) continue;
    if (!LengthWithin(c->text, limit)) continue;  // remembered as out of range only
    bool repeated = false;
    for (vop_enum_def_t* e = first; e != nullptr && !repeated; e = e->next) {
      repeated = strcmp(e->name, c->text) == 0;
    }
    if (repeated) continue;
    const char* display = vopTagDataSearch(c);
    if (display == nullptr) display = "";
    size_t nlen = strlen(c->text), dlen = strlen(display);
    auto* e = static_cast<vop_enum_def_t*>(malloc(sizeof(vop_enum_def_t) + nlen + dlen + 2));
    if (e == nullptr) {
      vopEnumListFree(first);
      return ErrWithErrno(ERR_NO_MEMORY, errno);
    }
    e->next = nullptr;
    e->name = reinterpret_cast<char*>(e + 1);
    memcpy(e->name, c->text, nlen + 1);
    e->display = e->name + nlen + 1;
    memcpy(e->display, display, dlen + 1);
    if (last == nullptr) {
      first = e;
    } else {
      last->next = e;
    }
    last = e;
  }
  *list = first;
  return 0;
}

uint32_t vopRowItemCreateEnumDefine(const vop_tag_t* element, const void* limit,
                                    vop_row_item_t** row) {
  vop_enum_def_t* list = nullptr;
  uint32_t rc = vopRowItemCreateEnumList(element, static_cast<const vop_limits_t*>(limit), &list);
  if (rc != 0) return rc;
  if (list == nullptr) return ERR_INVALID;
  rc = NewRow(ROW_ENUMDEF, row);
  if (rc != 0) {
    vopEnumListFree(list);
    return rc;
  }
  (*row)->value.enums = list;
  return 0;
}

uint32_t vopRowItemCreateEnumValue(const vop_tag_t* element, const void* limit,
                                   vop_row_item_t** row) {
  const char* text = vopTagDataSearch(element);
  if (text == nullptr || vopDataCheckIdent(text) != 0) return ERR_INVALID;
  const vop_enum_def_t* e = static_cast<const vop_enum_def_t*>(limit);
  while (e != nullptr && strcmp(e->name, text) != 0) e = e->next;
  if (e == nullptr) return ERR_NOT_FOUND;
  return NewTextRow(ROW_ENUMVAL, text, row);
}

uint32_t vopRowItemCreateStruct(const vop_tag_t* element, const void* limit, unsigned depth,
                                vop_row_item_t** row) {
  if (depth >= READER_MAX_STRUCT_DEPTH) return ERR_INVALID;
  vop_row_item_t* children = nullptr;
  uint32_t rc = vopCreateSentence(static_cast<const vop_form_t*>(limit), element->first_child,
                                  &children, depth + 1);
  if (rc != 0) return rc;
  if (children == nullptr) return ERR_INVALID;
  rc = NewRow(ROW_STRUCT, row);
  if (rc != 0) {
    vopRowItemListFree(children);
    return rc;
  }
  (*row)->value.children = children;
  return 0;
}

uint32_t vopRowItemCreateValiable(const vop_tag_t* element, const void*, vop_row_item_t** row) {
  const char* text = vopTagDataSearch(element);
  if (text == nullptr || vopDataCheckLetters(text) != 0) return ERR_INVALID;
  return NewTextRow(ROW_STRING, text, row);
}
