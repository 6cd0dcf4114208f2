// Item definitions from the rows of "item" elements, with the fallbacks that
// make every definition usable: absent texts are NULL, and types, flags,
// limits and defaults take fixed values.
#include <errno.h>
#include <stdlib.h>

#include <cstring>

#include "definitions.h"
#include "values.h"

namespace {

const char* RowText(vop_row_item_t* row) { return row != nullptr ? row->value.text : nullptr; }

bool EnumHas(const vop_enum_def_t* list, const char* name) {
  for (; list != nullptr; list = list->next) {
    if (strcmp(list->name, name) == 0) return true;
  }
  return false;
}

// Step 7: the default value of the item's type.
uint32_t BuildDefault(vop_format_t* f, vop_row_item_t* default_row) {
  const char* text = RowText(default_row);
  vop_data_t& d = f->default_value;
  d.type = f->type;
  switch (f->type) {
    case VOP_TYPE_INTEGER: {
      int64_t v = 0;
      if (text != nullptr && vopDataConvertInteger(text, &v) == 0 && v >= f->minimum &&
          v <= f->maximum) {
        d.value.integer = v;
      } else if (f->minimum > 0) {
        d.value.integer = f->minimum;
      } else if (f->maximum < 0) {
        d.value.integer = f->maximum;  // 0 would lie outside the limits
      } else {
        d.value.integer = 0;
      }
      return 0;
    }
    case VOP_TYPE_STRING: {
      if (text != nullptr) {
        auto len = static_cast<int64_t>(strlen(text));
        if (len >= f->minimum && len <= f->maximum) {
          d.value.string = vopRowTakeText(default_row);
          return 0;
        }
      }
      int64_t spaces = f->minimum > 0 && f->minimum <= FORMAT_MAX_SPACE_DEFAULT ? f->minimum : 0;
      char* s = static_cast<char*>(malloc(static_cast<size_t>(spaces) + 1));
      if (s == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
      memset(s, ' ', static_cast<size_t>(spaces));
      s[spaces] = '\0';
      d.value.string = s;
      return 0;
    }
    case VOP_TYPE_BOOLEAN: {
      uint32_t flag = 0;
      if (text != nullptr && vopDataConvertBoolean(text, &flag) == 0) d.value.boolean = flag;
      return 0;
    }
    case VOP_TYPE_IPADDR: {
      vop_ipaddr_t addr;
      if (text != nullptr && vopDataConvertIpaddr(text, &addr) == 0) d.value.ipaddr = addr;
      return 0;
    }
    case VOP_TYPE_ENUMERATION: {
      if (text != nullptr && vopDataCheckIdent(text) == 0 && EnumHas(f->enumeration, text)) {
        d.value.enumeration = vopRowTakeText(default_row);
      } else if (f->enumeration != nullptr) {
        d.value.enumeration = strdup(f->enumeration->name);
        if (d.value.enumeration == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
      }
      return 0;
    }
    default:
      return 0;
  }
}

void FreeDefault(vop_format_t* f) {
  vop_data_t& d = f->default_value;
  switch (d.type) {
    case VOP_TYPE_STRING:
      free(d.value.string);
      break;
    case VOP_TYPE_ENUMERATION:
      free(d.value.enumeration);
      break;
    case VOP_TYPE_IPADDR:
      free(d.value.ipaddr.hostname);
      break;
    default:
      break;
  }
}

}  // namespace

uint32_t CfgTypeFromName(const char* name) {
  uint32_t code = 1;
  for (const vop_enum_def_t* e = g_enFormatEnumType; e != nullptr; e = e->next, ++code) {
    if (strcmp(e->name, name) == 0) return code;
  }
  return VOP_TYPE_NONE;
}

uint32_t CfgFormatCreate_l3(vop_row_item_t* rows, unsigned depth, vop_format_t** format) {
  auto* f = static_cast<vop_format_t*>(calloc(1, sizeof(vop_format_t)));
  if (f == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);

  f->name = vopRowTakeText(vopRowFindByForm(rows, "name"));
  f->description = vopRowTakeText(vopRowFindByForm(rows, "description"));
  f->dispstring = vopRowTakeText(vopRowFindByForm(rows, "dispstring"));
  vop_row_item_t* r = vopRowFindByForm(rows, "hidden");
  f->hidden = r != nullptr ? r->value.flag : 0;
  r = vopRowFindByForm(rows, "number");
  f->number = r != nullptr ? static_cast<uint32_t>(r->value.integer) : 1;
  r = vopRowFindByForm(rows, "type");
  f->type = r != nullptr ? CfgTypeFromName(r->value.text) : VOP_TYPE_NONE;
  r = vopRowFindByForm(rows, "identifier");
  f->identifier = r != nullptr && r->value.flag && f->type >= VOP_TYPE_INTEGER &&
                  f->type <= VOP_TYPE_ENUMERATION;
  r = vopRowFindByForm(rows, "necessity");
  f->necessity = r != nullptr ? r->value.flag : 1;
  if (f->identifier) f->necessity = 1;
  if (f->type == VOP_TYPE_ENUMERATION) {
    r = vopRowFindByForm(rows, "enum");
    if (r != nullptr) {
      f->enumeration = r->value.enums;
      r->value.enums = nullptr;
      r->kind = ROW_NONE;
    }
  }
  if (f->type == VOP_TYPE_INTEGER || f->type == VOP_TYPE_STRING) {
    bool integer = f->type == VOP_TYPE_INTEGER;
    r = vopRowFindByForm(rows, "minimum");
    f->minimum = r != nullptr ? r->value.integer : (integer ? INT64_MIN : 0);
    r = vopRowFindByForm(rows, "maximum");
    f->maximum = r != nullptr ? r->value.integer : (integer ? INT64_MAX : 2147483646);
    if (f->maximum < f->minimum) f->maximum = f->minimum;
  }
  uint32_t rc = BuildDefault(f, vopRowFindByForm(rows, "default"));
  if (rc != 0) {
    CfgFormatDestroy_l3(f);
    return rc;
  }

  vop_format_t* last = nullptr;
  for (vop_row_item_t* row = rows; row != nullptr; row = row->next) {
    if (row->kind != ROW_STRUCT || strcmp(row->form->name, "item") != 0) continue;
    vop_format_t* member = nullptr;
    rc = CfgFormatCreate_l3(row->value.children, depth + 1, &member);
    if (rc != 0) {
      CfgFormatDestroy_l3(f);
      return rc;
    }
    if (last == nullptr) {
      f->members = member;
    } else {
      last->next = member;
    }
    last = member;
  }
  *format = f;
  return 0;
}

void CfgFormatDestroy_l3(vop_format_t* list) {
  while (list != nullptr) {
    vop_format_t* next = list->next;
    free(list->name);
    free(list->description);
    free(list->dispstring);
    FreeDefault(list);
    vopEnumListFree(list->enumeration);
    CfgFormatDestroy_l3(list->members);
    free(list);
    list = next;
  }
}
