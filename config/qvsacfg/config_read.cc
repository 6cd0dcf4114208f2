// Building a handle from a definition document's rows, and reading data
// documents into it.
#include <errno.h>
#include <stdlib.h>

#include <cstring>

#include "config_layer.h"

uint32_t CfgConfigCreate_l3(vop_row_item_t* rows, CfgConfig** out) {
  auto* config = static_cast<CfgConfig*>(calloc(1, sizeof(CfgConfig)));
  if (config == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
  memcpy(config->mark, CONFIG_MARK, 4);
  CfgFolderInit_l3(&config->records, config, nullptr);
  config->head.name = vopRowTakeText(vopRowFindByForm(rows, "name"));
  config->head.description = vopRowTakeText(vopRowFindByForm(rows, "description"));
  config->head.dispstring = vopRowTakeText(vopRowFindByForm(rows, "dispstring"));
  vop_row_item_t* hidden = vopRowFindByForm(rows, "hidden");
  config->head.hidden = hidden != nullptr ? hidden->value.flag : 0;

  vop_format_t* last = nullptr;
  uint32_t rc = 0;
  for (vop_row_item_t* row = rows; row != nullptr && rc == 0; row = row->next) {
    if (row->kind != ROW_STRUCT || strcmp(row->form->name, "item") != 0) continue;
    vop_format_t* f = nullptr;
    rc = CfgFormatCreate_l3(row->value.children, 1, &f);
    if (rc != 0) break;
    if (last == nullptr) {
      config->definitions = f;
    } else {
      last->next = f;
    }
    last = f;
  }
  if (rc == 0) rc = CfgFolderSet_l3(&config->records, config->definitions);
  if (rc != 0) {
    CfgConfigDestroy_l3(config);
    return rc;
  }
  *out = config;
  return 0;
}

CfgConfig* CfgConfigOf(vop_config_t* handle) {
  if (handle == nullptr) return nullptr;
  // The head is the first member, so the caller's pointer is the record's.
  auto* config = reinterpret_cast<CfgConfig*>(handle);
  return memcmp(config->mark, CONFIG_MARK, 4) == 0 ? config : nullptr;
}

void CfgConfigDestroy_l3(CfgConfig* config) {
  CfgFolderClear_l3(&config->records);
  // Detached records of any level belong to no container: release them here.
  while (config->detached != nullptr) {
    vop_item_t* item = config->detached;
    CfgDetachedRemove(item);
    vopItemFree(item);
  }
  // Callers see the texts as const; they were allocated here.
  free(const_cast<char*>(config->head.name));
  free(const_cast<char*>(config->head.description));
  free(const_cast<char*>(config->head.dispstring));
  CfgFormatDestroy_l3(config->definitions);
  memcpy(config->mark, "DEAD", 4);
  free(config);
}

uint32_t CfgFormListCreate_l3(const vop_format_t* definitions, vop_form_t** forms, unsigned depth) {
  vop_form_t* first = nullptr;
  vop_form_t* last = nullptr;
  for (const vop_format_t* d = definitions; d != nullptr; d = d->next) {
    auto* form = static_cast<vop_form_t*>(calloc(1, sizeof(vop_form_t)));
    if (form == nullptr) {
      CfgFormListDestroy_l3(first);
      return ErrWithErrno(ERR_NO_MEMORY, errno);
    }
    // Definitions without a name match no element.
    form->name = d->name != nullptr ? d->name : "";
    form->max_count = d->number;
    form->identifier = d->identifier;
    form->necessity = d->necessity;
    form->origin = d;
    if (last == nullptr) {
      first = form;
    } else {
      last->next = form;
    }
    last = form;
    // A definition without a name takes no element, not even a nameless one.
    switch (d->name != nullptr ? d->type : VOP_TYPE_NONE) {
      case VOP_TYPE_INTEGER:
      case VOP_TYPE_STRING:
        form->kind = d->type == VOP_TYPE_INTEGER ? ROW_INTEGER : ROW_STRING;
        form->own_limits.minimum = d->minimum;
        form->own_limits.maximum = d->maximum;
        form->limit = &form->own_limits;
        break;
      case VOP_TYPE_BOOLEAN:
        form->kind = ROW_BOOLEAN;
        break;
      case VOP_TYPE_IPADDR:
        form->kind = ROW_IPADDR;
        break;
      case VOP_TYPE_ENUMERATION:
        form->kind = ROW_ENUMVAL;
        form->limit = d->enumeration;
        break;
      case VOP_TYPE_STRUCTURE: {
        form->kind = ROW_STRUCT;
        vop_form_t* sub = nullptr;
        uint32_t rc = CfgFormListCreate_l3(d->members, &sub, depth + 1);
        if (rc != 0) {
          CfgFormListDestroy_l3(first);
          return rc;
        }
        form->limit = sub;
        break;
      }
      default:
        form->kind = ROW_NONE;
        break;
    }
  }
  *forms = first;
  return 0;
}

void CfgFormListDestroy_l3(vop_form_t* forms) {
  while (forms != nullptr) {
    vop_form_t* next = forms->next;
    if (forms->kind == ROW_STRUCT) {
      CfgFormListDestroy_l3(static_cast<vop_form_t*>(const_cast<void*>(forms->limit)));
    }
    free(forms);
    forms = next;
  }
}

namespace {

uint32_t CfgDataTransform_l3(vop_row_item_t* row, vop_item_t* item) {
  vop_data_t& d = item->data;
  switch (row->kind) {
    case ROW_INTEGER:
      d.type = VOP_TYPE_INTEGER;
      d.value.integer = row->value.integer;
      return 0;
    case ROW_STRING:
      d.type = VOP_TYPE_STRING;
      d.value.string = vopRowTakeText(row);
      return 0;
    case ROW_BOOLEAN:
      d.type = VOP_TYPE_BOOLEAN;
      d.value.boolean = row->value.flag;
      return 0;
    case ROW_IPADDR:
      d.type = VOP_TYPE_IPADDR;
      d.value.ipaddr = row->value.ipaddr;
      row->value.ipaddr.hostname = nullptr;
      row->kind = ROW_NONE;
      return 0;
    case ROW_ENUMVAL:
      d.type = VOP_TYPE_ENUMERATION;
      d.value.enumeration = vopRowTakeText(row);
      return 0;
    case ROW_STRUCT: {
      d.type = VOP_TYPE_STRUCTURE;
      uint32_t rc = CfgFolderSet_l3(&item->members, item->definition->members);
      if (rc != 0) return rc;
      return CfgItemListCreateFromRowItem_l3(row->value.children, &item->members);
    }
    default:
      d.type = VOP_TYPE_NONE;
      return 0;
  }
}

void ReleaseAllRecords(vop_container_t* c) {
  for (uint32_t i = 0; i < c->count; ++i) {
    if (c->folders[i] == nullptr) continue;
    DFolderClear_L3(c->folders[i], [](void* p) {
      auto* item = static_cast<vop_item_t*>(p);
      item->next = item->prev = nullptr;
      item->container = nullptr;
      vopItemFree(item);
    });
  }
  c->first = c->last = nullptr;
}

}  // namespace

uint32_t CfgItemListCreateFromRowItem_l3(vop_row_item_t* rows, vop_container_t* c) {
  for (vop_row_item_t* row = rows; row != nullptr; row = row->next) {
    // Rows carry the form built from their definition: find it by identity,
    // by name only for rows read with other forms.
    long index = row->form->origin != nullptr
                     ? CfgFolderIndex_l3(c, static_cast<const vop_format_t*>(row->form->origin))
                     : -1;
    if (index < 0) index = CfgFolderFind_l3(c, row->form->name);
    uint32_t rc = ERR_NOT_FOUND;
    vop_item_t* item = nullptr;
    if (index >= 0) {
      item = vopItemAlloc(c->config, c->definitions[index]);
      rc = item != nullptr ? 0 : ErrWithErrno(ERR_NO_MEMORY, errno);
      if (rc == 0) rc = CfgDataTransform_l3(row, item);
      if (rc == 0) {
        DFolder* folder = CfgFolderAt(c, static_cast<uint32_t>(index), true);
        rc = folder != nullptr ? DFolderAdd_L3(folder, item) : ERR_NO_MEMORY;
      }
    }
    if (rc != 0) {
      vopItemFree(item);
      ReleaseAllRecords(c);
      return rc;
    }
    CfgListAppend(c, item);
  }
  return 0;
}

uint32_t vopConfigRead(uint32_t mode, const char* source, CfgConfig* config) {
  vop_form_t* forms = nullptr;
  uint32_t rc = CfgFormListCreate_l3(config->definitions, &forms, 0);
  if (rc != 0) return rc;
  if (forms == nullptr) return ERR_NO_MEMORY;  // a handle without definitions reads nothing
  vop_row_item_t* rows = nullptr;
  rc = vopFileReadCommon(mode, source, forms, &rows);
  if (rc == 0) rc = CfgItemListCreateFromRowItem_l3(rows, &config->records);
  vopRowItemListFree(rows);
  CfgFormListDestroy_l3(forms);
  return rc;
}
