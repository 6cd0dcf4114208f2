// Records and containers: allocation, release, filing and the record order.
#include <errno.h>
#include <stdlib.h>

#include <cstring>

#include "config_layer.h"

vop_item_t* CfgItemFromData(vop_data_t* data) {
  if (data == nullptr) return nullptr;
  auto* item =
      reinterpret_cast<vop_item_t*>(reinterpret_cast<char*>(data) - offsetof(vop_item_t, data));
  if (memcmp(item->mark, ITEM_MARK, 4) != 0) return nullptr;
  return item;
}

void CfgFolderInit_l3(vop_container_t* c, CfgConfig* config, vop_item_t* owner) {
  memset(c, 0, sizeof *c);
  c->config = config;
  c->owner = owner;
}

vop_item_t* vopItemAlloc(CfgConfig* config, vop_format_t* definition) {
  auto* item = static_cast<vop_item_t*>(calloc(1, sizeof(vop_item_t)));
  if (item == nullptr) return nullptr;
  memcpy(item->mark, ITEM_MARK, 4);
  item->definition = definition;
  CfgFolderInit_l3(&item->members, config, item);
  return item;
}

void vopItemFree(vop_item_t* item) {
  if (item == nullptr) return;
  switch (item->data.type) {
    case VOP_TYPE_STRING:
      free(item->data.value.string);
      break;
    case VOP_TYPE_ENUMERATION:
      free(item->data.value.enumeration);
      break;
    case VOP_TYPE_IPADDR:
      free(item->data.value.ipaddr.hostname);
      break;
    case VOP_TYPE_STRUCTURE:
      CfgFolderClear_l3(&item->members);
      break;
    default:
      break;
  }
  memset(item->mark, 0, 4);
  free(item);
}

void CfgDetachedPush(vop_item_t* item) {
  CfgConfig* config = item->members.config;
  item->detached_prev = nullptr;
  item->detached_next = config->detached;
  if (config->detached != nullptr) config->detached->detached_prev = item;
  config->detached = item;
}

void CfgDetachedRemove(vop_item_t* item) {
  CfgConfig* config = item->members.config;
  if (item->detached_prev != nullptr) {
    item->detached_prev->detached_next = item->detached_next;
  } else if (config->detached == item) {
    config->detached = item->detached_next;
  }
  if (item->detached_next != nullptr) item->detached_next->detached_prev = item->detached_prev;
  item->detached_next = item->detached_prev = nullptr;
}

void CfgListAppend(vop_container_t* c, vop_item_t* item) {
  item->next = nullptr;
  item->prev = c->last;
  if (c->last != nullptr) {
    c->last->next = item;
  } else {
    c->first = item;
  }
  c->last = item;
  item->container = c;
}

void CfgListRemove(vop_container_t* c, vop_item_t* item) {
  if (item->prev != nullptr) {
    item->prev->next = item->next;
  } else {
    c->first = item->next;
  }
  if (item->next != nullptr) {
    item->next->prev = item->prev;
  } else {
    c->last = item->prev;
  }
  item->next = item->prev = nullptr;
  item->container = nullptr;
}

namespace {

// Called by a data folder on each record it releases.
void vopItemFreeForFolder(void* p) {
  auto* item = static_cast<vop_item_t*>(p);
  item->next = item->prev = nullptr;
  item->container = nullptr;
  vopItemFree(item);
}

}  // namespace

uint32_t CfgFolderSet_l3(vop_container_t* c, vop_format_t* definitions) {
  uint32_t n = 0;
  for (vop_format_t* f = definitions; f != nullptr; f = f->next) ++n;
  c->first = c->last = nullptr;
  c->count = 0;
  c->definitions = nullptr;
  c->folders = nullptr;
  if (n == 0) return 0;
  auto** defs = static_cast<vop_format_t**>(calloc(n, sizeof(vop_format_t*)));
  auto** folders = static_cast<DFolder**>(calloc(n, sizeof(DFolder*)));
  if (defs == nullptr || folders == nullptr) {
    free(defs);
    free(folders);
    return ERR_NO_MEMORY;
  }
  uint32_t i = 0;
  for (vop_format_t* f = definitions; f != nullptr; f = f->next, ++i) defs[i] = f;
  c->count = n;
  c->definitions = defs;
  c->folders = folders;
  return 0;
}

DFolder* CfgFolderAt(vop_container_t* c, uint32_t i, bool create) {
  if (c->folders[i] == nullptr && create) {
    DFolder* f = nullptr;
    if (DFolderInit_L3(&f, vopItemComp, 0) == 0) c->folders[i] = f;
  }
  return c->folders[i];
}

void CfgFolderClear_l3(vop_container_t* c) {
  for (uint32_t i = 0; i < c->count; ++i) {
    if (c->folders[i] != nullptr) DFolderTerm_L3(c->folders[i], vopItemFreeForFolder);
  }
  free(c->definitions);
  free(c->folders);
  c->definitions = nullptr;
  c->folders = nullptr;
  c->count = 0;
  c->first = c->last = nullptr;
}

long CfgFolderIndex_l3(const vop_container_t* c, const vop_format_t* definition) {
  for (uint32_t i = 0; i < c->count; ++i) {
    if (c->definitions[i] == definition) return static_cast<long>(i);
  }
  return -1;
}

long CfgFolderFind_l3(const vop_container_t* c, const char* name) {
  for (uint32_t i = 0; i < c->count; ++i) {
    const char* n = c->definitions[i]->name;
    if (n != nullptr && strcmp(n, name) == 0) return static_cast<long>(i);
  }
  return -1;
}

namespace {

template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

// In-order walk of a data folder (greatest first). The handle is used by one
// thread at a time, so member folders are walked without their locks.
const DFolderNode* FirstNode(const DFolder* f) {
  const DFolderNode* n = f->root;
  while (n != nullptr && n->first != nullptr) n = n->first;
  return n;
}

const DFolderNode* NextNode(const DFolderNode* n) {
  if (n->second != nullptr) {
    n = n->second;
    while (n->first != nullptr) n = n->first;
    return n;
  }
  const DFolderNode* from = n;
  n = n->parent;
  while (n != nullptr && n->second == from) {
    from = n;
    n = n->parent;
  }
  return n;
}

int CompareAddress(const vop_ipaddr_t& a, const vop_ipaddr_t& b) {
  if (a.form != b.form) return Order(a.form, b.form);
  if (a.form == VOP_IPADDR_HOSTNAME) {
    return strcmp(a.hostname ? a.hostname : "", b.hostname ? b.hostname : "");
  }
  if (a.family != b.family) return Order(a.family, b.family);
  size_t n = a.family == 4 ? 4 : (a.family == 6 ? 16 : 0);
  return memcmp(a.address, b.address, n);
}

int CompareText(const char* a, const char* b) { return strcmp(a ? a : "", b ? b : ""); }

int vopItemCompStruct(const vop_item_t* a, const vop_item_t* b) {
  const vop_container_t& ma = a->members;
  const vop_container_t& mb = b->members;
  if (ma.count != mb.count) return Order(ma.count, mb.count);
  long last_identifier = -1;
  for (uint32_t i = 0; i < ma.count; ++i) {
    if (ma.definitions[i]->identifier) last_identifier = static_cast<long>(i);
  }
  for (uint32_t i = 0; i < ma.count; ++i) {
    if (last_identifier >= 0 && static_cast<long>(i) > last_identifier) break;
    if (last_identifier >= 0 && !ma.definitions[i]->identifier) continue;
    const DFolderNode* na = ma.folders[i] ? FirstNode(ma.folders[i]) : nullptr;
    const DFolderNode* nb = mb.folders[i] ? FirstNode(mb.folders[i]) : nullptr;
    // Identified structures compare by the first identifier member of each
    // name; others by every member, in folder order.
    bool only_first = last_identifier >= 0;
    while (na != nullptr && nb != nullptr) {
      int c = vopItemComp(na->item, nb->item);
      if (c != 0) return c;
      if (only_first) break;
      na = NextNode(na);
      nb = NextNode(nb);
    }
    if ((na == nullptr) != (nb == nullptr)) return na == nullptr ? -1 : 1;
  }
  return 0;
}

}  // namespace

int vopItemComp(const void* stored, const void* key) {
  const auto* a = static_cast<const vop_item_t*>(stored);
  const auto* b = static_cast<const vop_item_t*>(key);
  if (a == b) return 0;
  if (a->definition != b->definition) {
    int c = CompareText(a->definition->name, b->definition->name);
    if (c != 0) return c;
  }
  if (a->data.type != b->data.type) return Order(a->data.type, b->data.type);
  const vop_value_t& va = a->data.value;
  const vop_value_t& vb = b->data.value;
  switch (a->data.type) {
    case VOP_TYPE_INTEGER:
      return Order(va.integer, vb.integer);
    case VOP_TYPE_STRING:
      return CompareText(va.string, vb.string);
    case VOP_TYPE_ENUMERATION:
      return CompareText(va.enumeration, vb.enumeration);
    case VOP_TYPE_BOOLEAN:
      return Order(va.boolean, vb.boolean);
    case VOP_TYPE_IPADDR:
      return CompareAddress(va.ipaddr, vb.ipaddr);
    case VOP_TYPE_STRUCTURE:
      if (a->definition != b->definition) return Order(a->definition, b->definition);
      return vopItemCompStruct(a, b);
    default:
      return 0;
  }
}
