// Segments to a tree of elements and texts. End tags close the current
// element whatever their name; comments and processing instructions vanish.
#include <errno.h>
#include <stdlib.h>

#include <cstring>

#include "reader.h"

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

vop_tag_t* vopTagAlloc() {
  auto* t = static_cast<vop_tag_t*>(malloc(sizeof(vop_tag_t)));
  if (t != nullptr) vopTagInit(t);
  return t;
}

void vopTagInit(vop_tag_t* tag) { memset(tag, 0, sizeof *tag); }

void vopTagClear(vop_tag_t* tag) {
  // Nodes made by the builder keep their text in their own allocation.
  if (tag->text != reinterpret_cast<char*>(tag + 1)) free(tag->text);
  tag->text = nullptr;
  tag->type = 0;
}

uint32_t vopTagSet(vop_tag_t* tag, uint32_t type, const char* text, size_t length) {
  char* t = static_cast<char*>(malloc(length + 1));
  if (t == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
  memcpy(t, text, length);
  t[length] = '\0';
  vopTagClear(tag);
  tag->text = t;
  tag->type = type;
  return 0;
}

uint32_t vopTagJoin(vop_tag_t* parent, vop_tag_t* child) {
  if (parent == nullptr || child == nullptr || parent->type != TAG_ELEMENT) return ERR_INVALID;
  child->parent = parent;
  child->next = nullptr;
  if (parent->last_child == nullptr) {
    parent->first_child = child;
  } else {
    parent->last_child->next = child;
  }
  parent->last_child = child;
  return 0;
}

void vopTagRemove(vop_tag_t* tag) {
  vop_tag_t* parent = tag->parent;
  if (parent == nullptr) return;
  vop_tag_t* prev = nullptr;
  for (vop_tag_t* c = parent->first_child; c != nullptr; prev = c, c = c->next) {
    if (c != tag) continue;
    if (prev == nullptr) {
      parent->first_child = c->next;
    } else {
      prev->next = c->next;
    }
    if (parent->last_child == c) parent->last_child = prev;
    break;
  }
  tag->parent = nullptr;
  tag->next = nullptr;
}

namespace {

// Frees a subtree without recursion: nesting depth is unbounded.
void FreeSubtree(vop_tag_t* root) {
  vop_tag_t* node = root;
  while (node != nullptr) {
    if (node->first_child != nullptr) {
      vop_tag_t* child = node->first_child;
      node->first_child = child->next;
      node = child;
      continue;
    }
    vop_tag_t* parent = node == root ? nullptr : node->parent;
    vopTagClear(node);
    free(node);
    node = parent;
  }
}

}  // namespace

void vopTagFree(vop_tag_t* tag) {
  if (tag == nullptr) return;
  vopTagRemove(tag);
  FreeSubtree(tag);
}

void vopTagListFree(vop_tag_t* first) {
  while (first != nullptr) {
    vop_tag_t* next = first->next;
    first->next = nullptr;
    FreeSubtree(first);
    first = next;
  }
}

const char* vopTagDataSearch(const vop_tag_t* element) {
  if (element == nullptr) return nullptr;
  for (const vop_tag_t* c = element->first_child; c != nullptr; c = c->next) {
    if (c->type == TAG_TEXT) return c->text;
  }
  return nullptr;
}

namespace {

// A node with its text in the same allocation.
vop_tag_t* TagWithText(uint32_t type, const char* text, size_t length) {
  auto* t = static_cast<vop_tag_t*>(malloc(sizeof(vop_tag_t) + length + 1));
  if (t == nullptr) return nullptr;
  vopTagInit(t);
  t->type = type;
  t->text = reinterpret_cast<char*>(t + 1);
  memcpy(t->text, text, length);
  t->text[length] = '\0';
  return t;
}

}  // namespace

void vopTagBuilderInit(vop_tag_builder_t* b) {
  b->top_first = nullptr;
  b->top_last = nullptr;
  b->current = nullptr;
}

void vopTagBuilderAdd(vop_tag_builder_t* b, uint32_t type, const char* text, size_t length) {
  if (type == SEGMENT_DATA) {
    if (b->current == nullptr) return;
    vop_tag_t* t = TagWithText(TAG_TEXT, text, length);
    if (t != nullptr) vopTagJoin(b->current, t);
    return;
  }
  if (length >= 4 && memcmp(text, "<!--", 4) == 0) return;
  if (length >= 2 && memcmp(text, "<?", 2) == 0) return;
  if (length >= 2 && memcmp(text, "</", 2) == 0) {
    if (b->current != nullptr) b->current = b->current->parent;
    return;
  }
  bool empty_element = length >= 2 && text[length - 2] == '/' && text[length - 1] == '>';
  const char* name = text + 1;
  size_t avail = length > 0 ? length - 1 : 0;
  size_t name_len = 0;
  while (name_len < avail && name[name_len] != '\0' && name[name_len] != '>' &&
         !IsSpace(name[name_len])) {
    ++name_len;
  }
  if (name_len > 0 && name_len < avail && name[name_len] == '>' && name[name_len - 1] == '/') {
    --name_len;
  }
  vop_tag_t* t = TagWithText(TAG_ELEMENT, name, name_len);
  if (t == nullptr) return;  // a node that cannot be made is skipped
  if (b->current == nullptr) {
    if (b->top_last == nullptr) {
      b->top_first = t;
    } else {
      b->top_last->next = t;
    }
    b->top_last = t;
  } else {
    vopTagJoin(b->current, t);
  }
  if (!empty_element) b->current = t;
}

vop_tag_t* vopCreateTags(vop_segment_t* head) {
  vop_tag_builder_t b;
  vopTagBuilderInit(&b);
  for (vop_segment_t* s = head->next; s != head; s = s->next) {
    vopTagBuilderAdd(&b, s->type, s->text, strlen(s->text));
  }
  return b.top_first;
}
