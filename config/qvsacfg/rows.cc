// Row items: allocation, release by kind, and the comparison that orders rows
// and finds duplicates.
#include <errno.h>
#include <stdlib.h>

#include <cstring>

#include "reader.h"

vop_row_item_t* vopRowItemAlloc() {
  auto* row = static_cast<vop_row_item_t*>(malloc(sizeof(vop_row_item_t)));
  if (row != nullptr) {
    row->next = nullptr;
    row->form = nullptr;
    vopRowDataInit(row);
  }
  return row;
}

void vopRowDataInit(vop_row_item_t* row) {
  row->kind = ROW_NONE;
  memset(&row->value, 0, sizeof row->value);
}

void vopEnumListFree(vop_enum_def_t* list) {
  while (list != nullptr) {
    vop_enum_def_t* next = list->next;
    free(list);  // one allocation holds the record and both texts
    list = next;
  }
}

void vopRowDataClear(vop_row_item_t* row) {
  switch (row->kind) {
    case ROW_IDENT:
    case ROW_STRING:
    case ROW_ENUMVAL:
    case ROW_VALIABLE:
      free(row->value.text);
      break;
    case ROW_IPADDR:
      free(row->value.ipaddr.hostname);
      break;
    case ROW_ENUMDEF:
      vopEnumListFree(row->value.enums);
      break;
    case ROW_STRUCT:
      vopRowItemListFree(row->value.children);
      break;
    default:
      break;
  }
  vopRowDataInit(row);
}

vop_row_item_t* vopRowFindByForm(vop_row_item_t* rows, const char* name) {
  for (; rows != nullptr; rows = rows->next) {
    if (rows->kind != ROW_NONE && strcmp(rows->form->name, name) == 0) return rows;
  }
  return nullptr;
}

char* vopRowTakeText(vop_row_item_t* row) {
  if (row == nullptr) return nullptr;
  char* t = row->value.text;
  row->value.text = nullptr;
  row->kind = ROW_NONE;
  return t;
}

void vopRowItemFree(vop_row_item_t* row) {
  if (row == nullptr) return;
  vopRowDataClear(row);
  free(row);
}

void vopRowItemListFree(vop_row_item_t* first) {
  while (first != nullptr) {
    vop_row_item_t* next = first->next;
    vopRowItemFree(first);
    first = next;
  }
}

namespace {

template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : (a > b ? 1 : 0);
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

const vop_row_item_t* FirstNamed(const vop_row_item_t* list, const char* name) {
  for (; list != nullptr; list = list->next) {
    if (list->form != nullptr && strcmp(list->form->name, name) == 0) return list;
  }
  return nullptr;
}

int CompareRowPointers(const void* a, const void* b) {
  return vopRowItemComp(*static_cast<const vop_row_item_t* const*>(a),
                        *static_cast<const vop_row_item_t* const*>(b));
}

// The members of one name, sorted, so that member order does not matter.
// Returns the number collected; *out is malloc'ed (NULL when none or no memory).
size_t SortedNamed(const vop_row_item_t* list, const char* name, const vop_row_item_t*** out) {
  size_t n = 0;
  for (const vop_row_item_t* r = list; r != nullptr; r = r->next) {
    if (r->form != nullptr && strcmp(r->form->name, name) == 0) ++n;
  }
  *out = nullptr;
  if (n == 0) return 0;
  auto** arr = static_cast<const vop_row_item_t**>(malloc(n * sizeof(vop_row_item_t*)));
  if (arr == nullptr) return 0;
  size_t i = 0;
  for (const vop_row_item_t* r = list; r != nullptr; r = r->next) {
    if (r->form != nullptr && strcmp(r->form->name, name) == 0) arr[i++] = r;
  }
  qsort(arr, n, sizeof(*arr), CompareRowPointers);
  *out = arr;
  return n;
}

}  // namespace

int vopRowItemCompStruct(const vop_row_item_t* a, const vop_row_item_t* b) {
  if (a->form != b->form) return Order(a->form, b->form);
  const auto* sub_forms = static_cast<const vop_form_t*>(a->form->limit);
  const vop_form_t* last_identifier = nullptr;
  for (const vop_form_t* f = sub_forms; f != nullptr; f = f->next) {
    if (f->identifier) last_identifier = f;
  }
  const vop_row_item_t* ca = a->value.children;
  const vop_row_item_t* cb = b->value.children;
  if (last_identifier != nullptr) {
    // Identified structures compare by their identifier members only; a member
    // absent from both does not tell them apart.
    for (const vop_form_t* f = sub_forms; f != nullptr; f = f->next) {
      if (f->identifier) {
        const vop_row_item_t* ma = FirstNamed(ca, f->name);
        const vop_row_item_t* mb = FirstNamed(cb, f->name);
        if (ma == nullptr || mb == nullptr) {
          if (ma != mb) return ma == nullptr ? -1 : 1;
        } else {
          int c = vopRowItemComp(ma, mb);
          if (c != 0) return c;
        }
      }
      if (f == last_identifier) break;
    }
    return 0;
  }
  // Otherwise every member counts, compared name by name as sorted sets.
  for (const vop_form_t* f = sub_forms; f != nullptr; f = f->next) {
    const vop_row_item_t** sa;
    const vop_row_item_t** sb;
    size_t na = SortedNamed(ca, f->name, &sa);
    size_t nb = SortedNamed(cb, f->name, &sb);
    int c = 0;
    for (size_t i = 0; c == 0 && i < na && i < nb; ++i) c = vopRowItemComp(sa[i], sb[i]);
    if (c == 0) c = Order(na, nb);
    free(sa);
    free(sb);
    if (c != 0) return c;
  }
  return 0;
}

int vopRowItemComp(const vop_row_item_t* a, const vop_row_item_t* b) {
  if (a == b) return 0;
  int c = strcmp(a->form ? a->form->name : "", b->form ? b->form->name : "");
  if (c != 0) return c;
  if (a->kind != b->kind) return Order(a->kind, b->kind);
  switch (a->kind) {
    case ROW_IDENT:
    case ROW_STRING:
    case ROW_ENUMVAL:
    case ROW_VALIABLE:
      return strcmp(a->value.text, b->value.text);
    case ROW_INTEGER:
      return Order(a->value.integer, b->value.integer);
    case ROW_BOOLEAN:
      return Order(a->value.flag, b->value.flag);
    case ROW_IPADDR:
      return CompareAddress(a->value.ipaddr, b->value.ipaddr);
    case ROW_STRUCT:
      return vopRowItemCompStruct(a, b);
    default:
      // Never equal, yet ordered consistently.
      return Order(a, b);
  }
}

uint32_t vopRowItemListCheck(const vop_row_item_t* row, const vop_row_item_t* list) {
  for (; list != nullptr; list = list->next) {
    if (vopRowItemComp(row, list) == 0) return ERR_DUPLICATE;
  }
  return 0;
}
