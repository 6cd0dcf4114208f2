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
  free(tag->text);
  tag->text = nullptr;
  tag->type = 0;
}

uint32_t vopTagSet(vop_tag_t* tag, uint32_t type, const char* text, size_t length) {
  char* t = static_cast<char*>(malloc(length + 1));
  if (t == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
  memcpy(t, text, length);
  t[length] = '\0';
  free(tag->text);
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

vop_tag_t* vopCreateTags(vop_segment_t* head) {
  vop_tag_t* top_first = nullptr;
  vop_tag_t* top_last = nullptr;
  vop_tag_t* current = nullptr;
  for (vop_segment_t* s = head->next; s != head; s = s->next) {
    const char* text = s->text;
    if (s->type == SEGMENT_DATA) {
      if (current == nullptr) continue;
      vop_tag_t* t = vopTagAlloc();
      if (t == nullptr) continue;
      if (vopTagSet(t, TAG_TEXT, text, strlen(text)) != 0) {
        free(t);
        continue;
      }
      vopTagJoin(current, t);
      continue;
    }
    if (strncmp(text, "<!--", 4) == 0 || strncmp(text, "<?", 2) == 0) continue;
    if (strncmp(text, "</", 2) == 0) {
      if (current != nullptr) current = current->parent;
      continue;
    }
    size_t len = strlen(text);
    bool empty_element = len >= 2 && text[len - 2] == '/' && text[len - 1] == '>';
    const char* name = text + 1;
    size_t name_len = 0;
    while (name[name_len] != '\0' && name[name_len] != '>' && !IsSpace(name[name_len])) ++name_len;
    if (name_len > 0 && name[name_len] == '>' && name[name_len - 1] == '/') --name_len;
    vop_tag_t* t = vopTagAlloc();
    if (t == nullptr) continue;
    if (vopTagSet(t, TAG_ELEMENT, name, name_len) != 0) {
      free(t);
      continue;
    }
    if (current == nullptr) {
      if (top_last == nullptr) {
        top_first = t;
      } else {
        top_last->next = t;
      }
      top_last = t;
    } else {
      vopTagJoin(current, t);
    }
    if (!empty_element) current = t;
  }
  return top_first;
}
