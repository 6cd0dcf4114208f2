// Data folder operations. Node operations (_l3) run with the folder's lock held.
#include "data_folder_l3.h"

#include <errno.h>
#include <stdlib.h>

#include <cstring>

#include "util_l2.h"

namespace {

const char kLiveMark[4] = {'E', 'R', 'T', 'B'};
const char kDeadMark[4] = {'B', 'T', 'R', 'E'};

uint32_t CheckFolder(const DFolder* folder) {
  if (folder == nullptr) return ERR_INVALID;
  if (memcmp(folder->mark, kLiveMark, 4) != 0) return ERR_BAD_HANDLE;
  return 0;
}

int Max(int a, int b) { return a > b ? a : b; }

// Holds the folder's lock for a scope.
class FolderLock {
 public:
  explicit FolderLock(DFolder* f) : f_(f) { MutexLock_L2(&f_->lock, 0); }
  ~FolderLock() { MutexUnlock_L2(&f_->lock); }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  DFolder* f_;
};

}  // namespace

static DFolderNode* BTEntAlloc_l3(void* item) {
  auto* node = static_cast<DFolderNode*>(calloc(1, sizeof(DFolderNode)));
  if (node != nullptr) node->item = item;
  return node;
}

static void BTEntFree_l3(DFolderNode* node) { free(node); }

// Finds the node equal to key; *last is the last node visited (the parent for
// an insertion), null for an empty folder.
static DFolderNode* BTEntSearch_l3(DFolder* f, const void* key, DFolderNode** last) {
  DFolderNode* node = f->root;
  DFolderNode* prev = nullptr;
  while (node != nullptr) {
    prev = node;
    int c = f->compare(node->item, key);
    if (c == 0) break;
    node = c < 0 ? node->first : node->second;
  }
  if (last != nullptr) *last = prev;
  return node;
}

// The first child rises to node's place; the caller re-links the result.
static DFolderNode* BTEntRotateStoL_l3(DFolderNode* node) {
  DFolderNode* c = node->first;
  node->first = c->second;
  if (node->first != nullptr) node->first->parent = node;
  node->first_height = c->second_height;
  c->second = node;
  c->second_height = Max(node->first_height, node->second_height) + 1;
  c->parent = node->parent;
  node->parent = c;
  return c;
}

// Mirror image: the second child rises.
static DFolderNode* BTEntRotateLtoS_l3(DFolderNode* node) {
  DFolderNode* c = node->second;
  node->second = c->first;
  if (node->second != nullptr) node->second->parent = node;
  node->second_height = c->first_height;
  c->first = node;
  c->first_height = Max(node->first_height, node->second_height) + 1;
  c->parent = node->parent;
  node->parent = c;
  return c;
}

// Puts replacement where old was under parent (or at the root).
static void BTEntRelink_l3(DFolder* f, DFolderNode* parent, DFolderNode* old,
                           DFolderNode* replacement) {
  if (parent == nullptr) {
    f->root = replacement;
  } else if (parent->first == old) {
    parent->first = replacement;
  } else {
    parent->second = replacement;
  }
  if (replacement != nullptr) replacement->parent = parent;
}

// Restores the balance of a node whose subtrees differ by two; returns the
// new root of that subtree, already linked into the node's parent.
static DFolderNode* BTEntRebalance_l3(DFolder* f, DFolderNode* node) {
  DFolderNode* parent = node->parent;
  DFolderNode* top;
  if (node->first_height > node->second_height) {
    DFolderNode* c = node->first;
    if (c->second_height > c->first_height) {
      node->first = BTEntRotateLtoS_l3(c);
      node->first->parent = node;
      node->first_height = Max(node->first->first_height, node->first->second_height) + 1;
    }
    top = BTEntRotateStoL_l3(node);
  } else {
    DFolderNode* c = node->second;
    if (c->first_height > c->second_height) {
      node->second = BTEntRotateStoL_l3(c);
      node->second->parent = node;
      node->second_height = Max(node->second->first_height, node->second->second_height) + 1;
    }
    top = BTEntRotateLtoS_l3(node);
  }
  BTEntRelink_l3(f, parent, node, top);
  return top;
}

// Frees every node bottom-up, releasing items first.
static void BTEntFreeAll_l3(DFolder* f, DFolderRelease_t release) {
  DFolderNode* node = f->root;
  while (node != nullptr) {
    if (node->first != nullptr) {
      node = node->first;
    } else if (node->second != nullptr) {
      node = node->second;
    } else {
      DFolderNode* parent = node->parent;
      if (parent != nullptr) {
        if (parent->first == node) {
          parent->first = nullptr;
        } else {
          parent->second = nullptr;
        }
      }
      if (release != nullptr) release(node->item);
      BTEntFree_l3(node);
      node = parent;
    }
  }
  f->root = nullptr;
  f->count = 0;
}

uint32_t DFolderInit_L3(DFolder** folder, DFolderCompare_t compare, unsigned option) {
  if (folder == nullptr || compare == nullptr) return ERR_INVALID;
  auto* f = static_cast<DFolder*>(calloc(1, sizeof(DFolder)));
  if (f == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
  memcpy(f->mark, kLiveMark, 4);
  f->compare = compare;
  f->option = option;
  MutexInit_L2(&f->lock);
  *folder = f;
  return 0;
}

uint32_t DFolderTerm_L3(DFolder* folder, DFolderRelease_t release) {
  uint32_t rc = CheckFolder(folder);
  if (rc != 0) return rc;
  {
    FolderLock hold(folder);
    BTEntFreeAll_l3(folder, release);
    memcpy(folder->mark, kDeadMark, 4);
  }
  MutexTerm_L2(&folder->lock);
  free(folder);
  return 0;
}

uint32_t DFolderClear_L3(DFolder* folder, DFolderRelease_t release) {
  uint32_t rc = CheckFolder(folder);
  if (rc != 0) return rc;
  FolderLock hold(folder);
  BTEntFreeAll_l3(folder, release);
  return 0;
}

uint32_t DFolderAdd_L3(DFolder* folder, void* item) {
  uint32_t rc = CheckFolder(folder);
  if (rc != 0) return rc;
  DFolderNode* node = BTEntAlloc_l3(item);
  if (node == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
  FolderLock hold(folder);
  DFolderNode* parent;
  if (BTEntSearch_l3(folder, item, &parent) != nullptr) {
    BTEntFree_l3(node);
    return ERR_DUPLICATE;
  }
  node->parent = parent;
  if (parent == nullptr) {
    folder->root = node;
  } else if (folder->compare(parent->item, item) < 0) {
    parent->first = node;
  } else {
    parent->second = node;
  }
  ++folder->count;

  // Walk up while the subtree just updated grew taller.
  DFolderNode* child = node;
  for (DFolderNode* n = parent; n != nullptr; child = n, n = n->parent) {
    if (n->first == child) {
      ++n->first_height;
    } else {
      ++n->second_height;
    }
    int diff = n->first_height - n->second_height;
    if (diff == 0) break;
    if (diff == 2 || diff == -2) {
      BTEntRebalance_l3(folder, n);
      break;
    }
  }
  return 0;
}

uint32_t DFolderDel_L3(DFolder* folder, const void* key, void** item) {
  uint32_t rc = CheckFolder(folder);
  if (rc != 0) return rc;
  FolderLock hold(folder);
  DFolderNode* node = BTEntSearch_l3(folder, key, nullptr);
  if (node == nullptr) return ERR_NO_ENTRY;
  --folder->count;

  DFolderNode* start;
  if (node->first == nullptr || node->second == nullptr) {
    DFolderNode* child = node->first != nullptr ? node->first : node->second;
    DFolderNode* parent = node->parent;
    if (parent != nullptr) {
      if (parent->first == node) {
        --parent->first_height;
      } else {
        --parent->second_height;
      }
    }
    BTEntRelink_l3(folder, parent, node, child);
    start = parent;
  } else {
    // The next smaller item: once to the first child, then down second children.
    DFolderNode* r = node->first;
    while (r->second != nullptr) r = r->second;
    DFolderNode* rp = r->parent;
    if (rp->first == r) {
      rp->first = r->first;
      --rp->first_height;
    } else {
      rp->second = r->first;
      --rp->second_height;
    }
    if (r->first != nullptr) r->first->parent = rp;
    r->first = node->first;
    r->second = node->second;
    r->first_height = node->first_height;
    r->second_height = node->second_height;
    if (r->first != nullptr) r->first->parent = r;
    if (r->second != nullptr) r->second->parent = r;
    BTEntRelink_l3(folder, node->parent, node, r);
    start = rp == node ? r : rp;
  }

  // Walk up while subtrees shrink, rotating where a side is two taller.
  DFolderNode* n = start;
  while (n != nullptr) {
    int diff = n->first_height - n->second_height;
    if (diff == 1 || diff == -1) break;
    if (diff == 2 || diff == -2) {
      n = BTEntRebalance_l3(folder, n);
      if (n->first_height != n->second_height) break;
    }
    DFolderNode* parent = n->parent;
    if (parent == nullptr) break;
    if (parent->first == n) {
      --parent->first_height;
    } else {
      --parent->second_height;
    }
    n = parent;
  }

  if (item != nullptr) *item = node->item;
  BTEntFree_l3(node);
  return 0;
}

uint32_t DFolderSearch_L3(DFolder* folder, const void* key, void** item) {
  uint32_t rc = CheckFolder(folder);
  if (rc != 0) return rc;
  FolderLock hold(folder);
  DFolderNode* node = BTEntSearch_l3(folder, key, nullptr);
  if (node == nullptr) return ERR_NO_ENTRY;
  if (item != nullptr) *item = node->item;
  return 0;
}

uint32_t DFolderGetEntryCount_L3(DFolder* folder, unsigned* count) {
  uint32_t rc = CheckFolder(folder);
  if (rc != 0) return rc;
  if (count == nullptr) return ERR_INVALID;
  *count = folder->count;
  return 0;
}

uint32_t DFolderGetEntries_L3(DFolder* folder, void** array, unsigned skip, unsigned* count) {
  uint32_t rc = CheckFolder(folder);
  if (rc != 0) return rc;
  if (count == nullptr || (array == nullptr && *count > 0)) return ERR_INVALID;
  FolderLock hold(folder);
  unsigned stored = 0;
  DFolderNode* n = folder->root;
  while (n != nullptr && n->first != nullptr) n = n->first;
  while (n != nullptr && stored < *count) {
    if (skip > 0) {
      --skip;
    } else {
      array[stored++] = n->item;
    }
    // Successor: leftmost of the second subtree, else the nearest ancestor
    // reached from a first subtree.
    if (n->second != nullptr) {
      n = n->second;
      while (n->first != nullptr) n = n->first;
    } else {
      DFolderNode* from = n;
      n = n->parent;
      while (n != nullptr && n->second == from) {
        from = n;
        n = n->parent;
      }
    }
  }
  *count = stored;
  return 0;
}
