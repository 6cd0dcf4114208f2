// Data folder: a thread-safe ordered set of caller-owned item pointers, kept
// in a height-balanced binary search tree. The folder never copies items; it
// orders them with the caller's comparison and releases them only through the
// caller's release function.
//
// Order: the comparison gets the stored item first and the key second; a
// negative result goes to the first child. With an ordinary comparison the
// first child holds the greater items, so listings run greatest first.
#pragma once

#include <pthread.h>

#include <cstdint>

#include "result_codes.h"

using DFolderCompare_t = int (*)(const void* stored, const void* key);
using DFolderRelease_t = void (*)(void* item);

struct DFolderNode {
  DFolderNode* parent;
  DFolderNode* first;   // greater items (with an ordinary comparison)
  DFolderNode* second;  // smaller items
  int first_height;     // 0 for an empty subtree, 1 for a leaf
  int second_height;
  void* item;
};

struct DFolder {
  char mark[4];  // "ERTB" while valid, "BTRE" once terminated
  DFolderNode* root;
  unsigned count;
  DFolderCompare_t compare;
  unsigned option;  // stored for the caller, unused
  pthread_mutex_t lock;
};

// Creates an empty folder. ERR_INVALID for a NULL out pointer or compare.
uint32_t DFolderInit_L3(DFolder** folder, DFolderCompare_t compare, unsigned option);

// Releases every item (when release is not NULL), the nodes and the folder.
uint32_t DFolderTerm_L3(DFolder* folder, DFolderRelease_t release);

// Releases every item and node; the folder stays usable and empty.
uint32_t DFolderClear_L3(DFolder* folder, DFolderRelease_t release);

// Inserts item. ERR_DUPLICATE (folder unchanged) when an equal item is present.
uint32_t DFolderAdd_L3(DFolder* folder, void* item);

// Removes the item equal to key, handing it out through item when not NULL
// (it is not released). ERR_NO_ENTRY when none.
uint32_t DFolderDel_L3(DFolder* folder, const void* key, void** item);

// Finds the item equal to key. ERR_NO_ENTRY when none.
uint32_t DFolderSearch_L3(DFolder* folder, const void* key, void** item);

// The number of items (read without the lock).
uint32_t DFolderGetEntryCount_L3(DFolder* folder, unsigned* count);

// Skips `skip` items in listing order, then stores up to *count item pointers
// into array; *count becomes the number stored.
uint32_t DFolderGetEntries_L3(DFolder* folder, void** array, unsigned skip, unsigned* count);

// All operations: ERR_INVALID for a NULL folder, ERR_BAD_HANDLE for one whose
// mark is not "ERTB".
