// Run-time binding of qvsacmd to the configuration library: libvopcfg.so is
// loaded from the tree's lib directory for one command and unloaded after it.
#pragma once

#include <cstdint>
#include <string>

#include "vopcfg.h"

struct VedVopFuncs {
  void* library = nullptr;
  decltype(&VOP_ConfigCreate) ConfigCreate = nullptr;
  decltype(&VOP_ConfigDestroy) ConfigDestroy = nullptr;
  decltype(&VOP_ConfigRead) ConfigRead = nullptr;
  decltype(&VOP_ConfigReadFromData) ConfigReadFromData = nullptr;
  decltype(&VOP_ConfigWrite) ConfigWrite = nullptr;
  decltype(&VOP_ContentListGet) ContentListGet = nullptr;
  decltype(&VOP_ContentListGetFromData) ContentListGetFromData = nullptr;
  decltype(&VOP_DataGet) DataGet = nullptr;
  decltype(&VOP_DataGetFromData) DataGetFromData = nullptr;
  decltype(&VOP_DataDefaultGet) DataDefaultGet = nullptr;
  decltype(&VOP_DataDefaultGetFromData) DataDefaultGetFromData = nullptr;
  decltype(&VOP_DataDefaultCreate) DataDefaultCreate = nullptr;
  decltype(&VOP_DataDefaultCreateFromData) DataDefaultCreateFromData = nullptr;
  decltype(&VOP_DataChange) DataChange = nullptr;
  decltype(&VOP_DataChangeToData) DataChangeToData = nullptr;
  decltype(&VOP_DataAdd) DataAdd = nullptr;
  decltype(&VOP_DataAddToData) DataAddToData = nullptr;
  decltype(&VOP_DataDel) DataDel = nullptr;
  decltype(&VOP_DataDelFromData) DataDelFromData = nullptr;
};

// The entry table; valid between vedInitFunctions and vedTermFunctions.
extern VedVopFuncs fs_vopFuncs;

// Loads the library (immediate binding, global symbols) and resolves all
// nineteen entry points; a second call while loaded does nothing. On failure
// the library is unloaded, one "ERROR:" line names the cause on standard
// error, and ERR_READ_FAILED is returned.
uint32_t vedInitFunctions();

// The same without the message: on failure *why names the cause (the
// loader's own text, or the path). For programs that report in their own words.
uint32_t vedLoadFunctions(std::string* why);

// Unloads the library and clears the table.
void vedTermFunctions();

// Keeps the library loaded for a scope.
class VedLibraryScope {
 public:
  VedLibraryScope() : rc_(vedInitFunctions()) {}
  ~VedLibraryScope() { vedTermFunctions(); }
  VedLibraryScope(const VedLibraryScope&) = delete;
  VedLibraryScope& operator=(const VedLibraryScope&) = delete;
  uint32_t result() const { return rc_; }

 private:
  uint32_t rc_;
};
