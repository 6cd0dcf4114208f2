// Looking records up, creating, changing, attaching and detaching them.
#include <errno.h>
#include <stdlib.h>

#include <cstring>

#include "config_layer.h"
#include "values.h"

uint32_t CfgContentListGet_l3(const vop_format_t* first, vop_content_t* entries, uint32_t* count) {
  uint32_t n = 0;
  for (const vop_format_t* f = first; f != nullptr; f = f->next, ++n) {
    if (entries != nullptr && n < *count) {
      entries[n].name = f->name;
      entries[n].type = f->type;
    }
  }
  *count = n;
  return 0;
}

uint32_t CfgDataArrayGetFromFolder_l3(vop_container_t* c, const char* name, vop_data_t** records,
                                      uint32_t* count) {
  long index = CfgFolderFind_l3(c, name);
  if (index < 0) return ERR_NOT_FOUND;
  DFolder* folder = CfgFolderAt(c, static_cast<uint32_t>(index), false);
  unsigned total = 0;
  uint32_t rc = folder != nullptr ? DFolderGetEntryCount_L3(folder, &total) : 0;
  if (rc != 0) return rc;
  if (records != nullptr && *count > 0 && total > 0) {
    unsigned want = *count < total ? *count : total;
    auto** items = static_cast<void**>(malloc((want ? want : 1) * sizeof(void*)));
    if (items == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
    rc = DFolderGetEntries_L3(folder, items, 0, &want);
    if (rc == 0) {
      for (unsigned i = 0; i < want; ++i) records[i] = &static_cast<vop_item_t*>(items[i])->data;
    }
    free(items);
    if (rc != 0) return rc;
  }
  *count = total;
  return 0;
}

namespace {

uint32_t CopyDefault(const vop_format_t* def, vop_item_t* item) {
  const vop_data_t& d = def->default_value;
  item->data.type = def->type;
  item->data.value = d.value;
  char** text = nullptr;
  switch (def->type) {
    case VOP_TYPE_STRING:
      text = &item->data.value.string;
      break;
    case VOP_TYPE_ENUMERATION:
      text = &item->data.value.enumeration;
      break;
    case VOP_TYPE_IPADDR:
      text = &item->data.value.ipaddr.hostname;
      break;
    case VOP_TYPE_STRUCTURE:
      memset(&item->data.value, 0, sizeof item->data.value);
      return CfgFolderSet_l3(&item->members, def->members);
    default:
      return 0;
  }
  if (*text != nullptr) {
    *text = strdup(*text);
    if (*text == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
  }
  return 0;
}

// Value checks shared by change and add.
uint32_t CheckValue(const vop_format_t* def, const vop_data_t& data) {
  switch (def->type) {
    case VOP_TYPE_INTEGER:
      if (data.value.integer < def->minimum || data.value.integer > def->maximum) {
        return ERR_OUT_OF_RANGE;
      }
      return 0;
    case VOP_TYPE_STRING: {
      if (data.value.string == nullptr) return ERR_INVALID;
      // A "<", or a last letter cut short, would turn the rest of the written
      // document into something else.
      if (vopDataCheckWritable(data.value.string) != 0) return ERR_INVALID;
      auto len = static_cast<int64_t>(strlen(data.value.string));
      if (len < def->minimum || len > def->maximum) return ERR_OUT_OF_RANGE;
      return 0;
    }
    case VOP_TYPE_ENUMERATION:
      for (const vop_enum_def_t* e = def->enumeration; e != nullptr; e = e->next) {
        if (data.value.enumeration != nullptr && strcmp(e->name, data.value.enumeration) == 0) {
          return 0;
        }
      }
      return ERR_INVALID;
    case VOP_TYPE_BOOLEAN:
      return 0;
    case VOP_TYPE_IPADDR: {
      // Only an identifier reads back as a host name.
      const vop_ipaddr_t& a = data.value.ipaddr;
      if (a.form == VOP_IPADDR_HOSTNAME &&
          (a.hostname == nullptr || vopDataCheckIdent(a.hostname) != 0)) {
        return ERR_INVALID;
      }
      return 0;
    }
    case VOP_TYPE_STRUCTURE:
      return 0;
    default:
      return ERR_INVALID;
  }
}

// Builds the new value from what the caller passes for the record's type;
// texts are duplicated. Structures take nothing from it.
uint32_t NewValue(const vop_format_t* def, const void* value, vop_data_t* out) {
  memset(out, 0, sizeof *out);
  out->type = def->type;
  switch (def->type) {
    case VOP_TYPE_INTEGER:
      memcpy(&out->value.integer, value, sizeof(int64_t));
      break;
    case VOP_TYPE_STRING:
      out->value.string = const_cast<char*>(static_cast<const char*>(value));
      break;
    case VOP_TYPE_ENUMERATION:
      out->value.enumeration = const_cast<char*>(static_cast<const char*>(value));
      break;
    case VOP_TYPE_BOOLEAN:
      memcpy(&out->value.boolean, value, sizeof(uint32_t));
      break;
    case VOP_TYPE_IPADDR:
      memcpy(&out->value.ipaddr, value, sizeof(vop_ipaddr_t));
      break;
    case VOP_TYPE_STRUCTURE:
      break;
    default:
      return ERR_INVALID;
  }
  uint32_t rc = CheckValue(def, *out);
  if (rc != 0) return rc;
  char** text = nullptr;
  if (def->type == VOP_TYPE_STRING) text = &out->value.string;
  if (def->type == VOP_TYPE_ENUMERATION) text = &out->value.enumeration;
  if (def->type == VOP_TYPE_IPADDR && out->value.ipaddr.form == VOP_IPADDR_HOSTNAME) {
    text = &out->value.ipaddr.hostname;
  } else if (def->type == VOP_TYPE_IPADDR) {
    out->value.ipaddr.hostname = nullptr;
  }
  if (text != nullptr) {
    *text = strdup(*text);
    if (*text == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
  }
  return 0;
}

void ReleaseValueTexts(vop_data_t* d) {
  switch (d->type) {
    case VOP_TYPE_STRING:
      free(d->value.string);
      break;
    case VOP_TYPE_ENUMERATION:
      free(d->value.enumeration);
      break;
    case VOP_TYPE_IPADDR:
      free(d->value.ipaddr.hostname);
      break;
    default:
      break;
  }
}

// Structures order by their members, so a change below an attached structure
// moves it (and every attached structure around it) in its folder. Ancestors
// are taken out outermost first, while their order is still intact, and put
// back innermost first once the change is done.
class AncestorRefile {
 public:
  explicit AncestorRefile(vop_container_t* c) {
    for (vop_item_t* owner = c->owner; owner != nullptr && owner->container != nullptr;
         owner = owner->container->owner) {
      ++n_;
    }
    if (n_ == 0) return;
    chain_ = static_cast<vop_item_t**>(malloc(n_ * sizeof(vop_item_t*)));
    if (chain_ == nullptr) {
      rc_ = ErrWithErrno(ERR_NO_MEMORY, errno);
      return;
    }
    size_t i = 0;
    for (vop_item_t* owner = c->owner; owner != nullptr && owner->container != nullptr;
         owner = owner->container->owner) {
      chain_[i++] = owner;
    }
    for (size_t k = n_; k-- > 0;) {
      vop_item_t* a = chain_[k];
      long index = CfgFolderIndex_l3(a->container, a->definition);
      DFolderDel_L3(a->container->folders[index], a, nullptr);
    }
  }
  ~AncestorRefile() { free(chain_); }
  AncestorRefile(const AncestorRefile&) = delete;
  AncestorRefile& operator=(const AncestorRefile&) = delete;

  uint32_t status() const { return rc_; }

  // Puts the ancestors back; one that now equals a sibling is detached.
  uint32_t Restore() {
    uint32_t first_error = 0;
    for (size_t k = 0; k < n_; ++k) {
      vop_item_t* a = chain_[k];
      vop_container_t* c = a->container;
      long index = CfgFolderIndex_l3(c, a->definition);
      uint32_t rc = DFolderAdd_L3(c->folders[index], a);
      if (rc != 0) {
        CfgListRemove(c, a);
        CfgDetachedPush(a);
        if (first_error == 0) first_error = rc;
      }
    }
    return first_error;
  }

 private:
  vop_item_t** chain_ = nullptr;
  size_t n_ = 0;
  uint32_t rc_ = 0;
};

}  // namespace

uint32_t CfgDataCreateFromFormat_l3(CfgConfig* config, vop_format_t* def, vop_data_t** record) {
  if (def->type == VOP_TYPE_NONE || def->type > VOP_TYPE_STRUCTURE) return ERR_INVALID;
  vop_item_t* item = vopItemAlloc(config, def);
  if (item == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
  uint32_t rc = CopyDefault(def, item);
  if (rc != 0) {
    vopItemFree(item);
    return rc;
  }
  CfgDetachedPush(item);
  *record = &item->data;
  return 0;
}

uint32_t CfgDataChg_l3(vop_container_t* c, vop_item_t* item, const void* value) {
  long index = CfgFolderIndex_l3(c, item->definition);
  if (index < 0 || (item->container != nullptr && item->container != c)) return ERR_NOT_MEMBER;
  vop_data_t fresh;
  uint32_t rc = NewValue(item->definition, value, &fresh);
  if (rc != 0) return rc;
  if (item->container == nullptr) {
    if (fresh.type != VOP_TYPE_STRUCTURE) {
      ReleaseValueTexts(&item->data);
      item->data = fresh;
    }
    return 0;
  }
  AncestorRefile ancestors(c);
  if (ancestors.status() != 0) {
    ReleaseValueTexts(&fresh);
    return ancestors.status();
  }
  DFolderDel_L3(c->folders[index], item, nullptr);
  if (fresh.type != VOP_TYPE_STRUCTURE) {
    ReleaseValueTexts(&item->data);
    item->data = fresh;
  }
  rc = DFolderAdd_L3(c->folders[index], item);
  if (rc != 0) {
    // It keeps its new value but no longer belongs to the container.
    CfgListRemove(c, item);
    CfgDetachedPush(item);
  }
  uint32_t up = ancestors.Restore();
  return rc != 0 ? rc : up;
}

uint32_t CfgDataAdd_l3(vop_container_t* c, vop_item_t* item) {
  long index = CfgFolderIndex_l3(c, item->definition);
  if (index < 0) return ERR_NOT_MEMBER;
  if (item->container != nullptr) return ERR_DUPLICATE;
  uint32_t rc = CheckValue(item->definition, item->data);
  if (rc != 0) return rc;
  DFolder* folder = CfgFolderAt(c, static_cast<uint32_t>(index), true);
  if (folder == nullptr) return ERR_NO_MEMORY;
  unsigned present = 0;
  DFolderGetEntryCount_L3(folder, &present);
  if (item->definition->number != 0 && present >= item->definition->number) {
    return ERR_OUT_OF_RANGE;
  }
  if (DFolderSearch_L3(folder, item, nullptr) == 0) return ERR_DUPLICATE;
  AncestorRefile ancestors(c);
  if (ancestors.status() != 0) return ancestors.status();
  rc = DFolderAdd_L3(folder, item);
  if (rc == 0) {
    CfgDetachedRemove(item);
    CfgListAppend(c, item);
  }
  uint32_t up = ancestors.Restore();
  return rc != 0 ? rc : up;
}

uint32_t CfgDataDel_l3(vop_container_t* c, vop_item_t* item) {
  long index = CfgFolderIndex_l3(c, item->definition);
  if (index < 0) return ERR_NOT_MEMBER;
  if (item->container == nullptr) return 0;
  if (item->container != c) return ERR_NOT_MEMBER;
  AncestorRefile ancestors(c);
  if (ancestors.status() != 0) return ancestors.status();
  DFolderDel_L3(c->folders[index], item, nullptr);
  CfgListRemove(c, item);
  CfgDetachedPush(item);
  return ancestors.Restore();
}
