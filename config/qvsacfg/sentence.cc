// Sentence creation: the children of an element become rows by the forms;
// and the whole read of one document through all stages.
#include <errno.h>
#include <stdlib.h>

#include <cstring>

#include "data_folder_l3.h"
#include "reader.h"
#include "row_creators.h"
#include "util_l2.h"

namespace {

int CompareRows(const void* stored, const void* key) {
  return vopRowItemComp(static_cast<const vop_row_item_t*>(stored),
                        static_cast<const vop_row_item_t*>(key));
}

// Per form: how many rows it took, and, once there are many, its rows
// ordered for duplicate checks (a linear scan of the output list would make
// large documents quadratic; for a few rows it is the cheaper check).
struct FormState {
  uint64_t count;
  DFolder* seen;
};

constexpr uint64_t kScanLimit = 8;
constexpr size_t kStackForms = 32;

// True when a row equal to row is already taken for its form.
bool AlreadyTaken(FormState* st, const vop_row_item_t* first, vop_row_item_t* row) {
  if (st->seen == nullptr && st->count >= kScanLimit &&
      DFolderInit_L3(&st->seen, CompareRows, 0) == 0) {
    for (const vop_row_item_t* r = first; r != nullptr; r = r->next) {
      if (r->form == row->form) DFolderAdd_L3(st->seen, const_cast<vop_row_item_t*>(r));
    }
  }
  if (st->seen != nullptr) return DFolderAdd_L3(st->seen, row) != 0;
  for (const vop_row_item_t* r = first; r != nullptr; r = r->next) {
    if (r->form == row->form && vopRowItemComp(r, row) == 0) return true;
  }
  return false;
}

uint32_t CreateRow(const vop_form_t* form, const vop_tag_t* element, unsigned depth,
                   vop_row_item_t** row) {
  switch (form->kind) {
    case ROW_IDENT:
      return vopRowItemCreateIdent(element, form->limit, row);
    case ROW_INTEGER:
      return vopRowItemCreateInteger(element, form->limit, row);
    case ROW_STRING:
      return vopRowItemCreateString(element, form->limit, row);
    case ROW_BOOLEAN:
      return vopRowItemCreateBoolean(element, form->limit, row);
    case ROW_IPADDR:
      return vopRowItemCreateIpaddr(element, form->limit, row);
    case ROW_ENUMDEF:
      return vopRowItemCreateEnumDefine(element, form->limit, row);
    case ROW_ENUMVAL:
      return vopRowItemCreateEnumValue(element, form->limit, row);
    case ROW_STRUCT:
      return vopRowItemCreateStruct(element, form->limit, depth, row);
    case ROW_VALIABLE:
      return vopRowItemCreateValiable(element, form->limit, row);
    default:
      return ERR_INVALID;
  }
}

}  // namespace

uint32_t vopCreateSentence(const vop_form_t* forms, const vop_tag_t* first_child,
                           vop_row_item_t** rows, unsigned depth) {
  size_t nforms = 0;
  for (const vop_form_t* f = forms; f != nullptr; f = f->next) ++nforms;
  FormState on_stack[kStackForms] = {};
  FormState* state = on_stack;
  if (nforms > kStackForms) {
    state = static_cast<FormState*>(calloc(nforms, sizeof(FormState)));
    if (state == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
  }

  vop_row_item_t* out_first = nullptr;
  vop_row_item_t* out_last = nullptr;
  for (const vop_tag_t* t = first_child; t != nullptr; t = t->next) {
    if (t->type != TAG_ELEMENT) continue;
    size_t index = 0;
    const vop_form_t* form = forms;
    while (form != nullptr && (form->name[0] != t->text[0] || strcmp(form->name, t->text) != 0)) {
      form = form->next;
      ++index;
    }
    if (form == nullptr) continue;
    FormState& st = state[index];
    if (form->max_count != 0 && st.count >= form->max_count) continue;
    vop_row_item_t* row = nullptr;
    if (CreateRow(form, t, depth, &row) != 0) continue;  // invalid elements are skipped
    row->form = form;
    if (AlreadyTaken(&st, out_first, row)) {  // an equal row came first
      vopRowItemFree(row);
      continue;
    }
    if (out_last == nullptr) {
      out_first = row;
    } else {
      out_last->next = row;
    }
    out_last = row;
    ++st.count;
  }
  for (size_t i = 0; i < nforms; ++i) {
    if (state[i].seen != nullptr) DFolderTerm_L3(state[i].seen, nullptr);
  }
  if (state != on_stack) free(state);
  *rows = out_first;
  return 0;
}

uint32_t vopFileReadCommon(uint32_t mode, const char* source, const vop_form_t* forms,
                           vop_row_item_t** rows) {
  if (source == nullptr || rows == nullptr) return ERR_INVALID;
  vop_reader_t* reader = static_cast<vop_reader_t*>(malloc(sizeof(vop_reader_t)));
  if (reader == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
  vopReaderInit(reader);
  uint32_t rc;
  if (mode == READER_FILE) {
    rc = vopFileOpen(reader, source, FILE_OPEN_READ, 0x644);
  } else if (mode == READER_MEMORY) {
    rc = vopFileFromData(reader, source);
  } else {
    rc = ERR_INVALID;
  }
  if (rc != 0) {
    free(reader);
    return rc;
  }
  // Segments go straight into the tag tree instead of a list first: the same
  // tree, with a third of the allocations.
  vop_tag_builder_t builder;
  vopTagBuilderInit(&builder);
  rc = vopReadTags(reader, &builder);
  vopFileClose(reader);
  free(reader);
  vop_tag_t* top = builder.top_first;
  if (rc != 0) {
    vopTagListFree(top);
    return rc;
  }
  if (top == nullptr) return 0;
  vop_row_item_t* result = nullptr;
  rc = vopCreateSentence(forms, top->first_child, &result, 0);
  vopTagListFree(top);
  if (rc == 0) *rows = result;
  return rc;
}
