#include "ved_library.h"

#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "result_codes.h"
#include "ved_paths.h"

VedVopFuncs fs_vopFuncs;

namespace {

template <typename Fn>
bool Resolve(void* library, const char* name, Fn* slot) {
  void* symbol = dlsym(library, name);
  if (symbol == nullptr) return false;
  *slot = reinterpret_cast<Fn>(symbol);
  return true;
}

bool ResolveAll(VedVopFuncs* f) {
  void* l = f->library;
  return Resolve(l, "VOP_ConfigCreate", &f->ConfigCreate) &&
         Resolve(l, "VOP_ConfigDestroy", &f->ConfigDestroy) &&
         Resolve(l, "VOP_ConfigRead", &f->ConfigRead) &&
         Resolve(l, "VOP_ConfigReadFromData", &f->ConfigReadFromData) &&
         Resolve(l, "VOP_ConfigWrite", &f->ConfigWrite) &&
         Resolve(l, "VOP_ContentListGet", &f->ContentListGet) &&
         Resolve(l, "VOP_ContentListGetFromData", &f->ContentListGetFromData) &&
         Resolve(l, "VOP_DataGet", &f->DataGet) &&
         Resolve(l, "VOP_DataGetFromData", &f->DataGetFromData) &&
         Resolve(l, "VOP_DataDefaultGet", &f->DataDefaultGet) &&
         Resolve(l, "VOP_DataDefaultGetFromData", &f->DataDefaultGetFromData) &&
         Resolve(l, "VOP_DataDefaultCreate", &f->DataDefaultCreate) &&
         Resolve(l, "VOP_DataDefaultCreateFromData", &f->DataDefaultCreateFromData) &&
         Resolve(l, "VOP_DataChange", &f->DataChange) &&
         Resolve(l, "VOP_DataChangeToData", &f->DataChangeToData) &&
         Resolve(l, "VOP_DataAdd", &f->DataAdd) &&
         Resolve(l, "VOP_DataAddToData", &f->DataAddToData) &&
         Resolve(l, "VOP_DataDel", &f->DataDel) &&
         Resolve(l, "VOP_DataDelFromData", &f->DataDelFromData);
}

}  // namespace

uint32_t vedLoadFunctions(std::string* why) {
  if (fs_vopFuncs.library != nullptr) return 0;
  std::string path;
  if (VedJoinPath(VedDirPath(kVedDirLib), "libvopcfg.so", &path) != 0) {
    *why = VedDirPath(kVedDirLib) + "/libvopcfg.so";
    return ERR_READ_FAILED;
  }
  fs_vopFuncs.library = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
  if (fs_vopFuncs.library == nullptr) {
    const char* error = dlerror();
    *why = error != nullptr ? error : path;
    return ERR_READ_FAILED;
  }
  if (!ResolveAll(&fs_vopFuncs)) {
    const char* error = dlerror();
    *why = error != nullptr ? error : path;
    vedTermFunctions();
    return ERR_READ_FAILED;
  }
  return 0;
}

uint32_t vedInitFunctions() {
  std::string why;
  uint32_t rc = vedLoadFunctions(&why);
  if (rc != 0) std::fprintf(stderr, "ERROR:don't load library (%s).\n", why.c_str());
  return rc;
}

void vedTermFunctions() {
  if (fs_vopFuncs.library != nullptr) dlclose(fs_vopFuncs.library);
  fs_vopFuncs = VedVopFuncs();
}
