#include "reader_api.h"

#include <dlfcn.h>

namespace follow {
namespace {

template <typename Fn>
bool Resolve(void* lib, const char* name, Fn* fn, std::string* error) {
  void* sym = dlsym(lib, name);
  if (sym == nullptr) {
    *error = std::string("entry point ") + name + " is missing from the reader library";
    return false;
  }
  *fn = reinterpret_cast<Fn>(sym);
  return true;
}

}  // namespace

bool LoadReaderApi(const std::string& path, ReaderApi* api, std::string* error) {
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    const char* why = dlerror();
    *error = "cannot load the reader library " + path + ": " + (why ? why : "unknown error");
    return false;
  }
  ReaderApi a{};
  const bool ok = Resolve(lib, "ZELKWSYM_MpttCreateInstance", &a.createInstance, error) &&
                  Resolve(lib, "ZELKWSYM_MpttDeleteInstance", &a.deleteInstance, error) &&
                  Resolve(lib, "ZELKWSYM_MpttOpenManagementFile", &a.openManagementFile, error) &&
                  Resolve(lib, "ZELKWSYM_MpttCloseManagementFile", &a.closeManagementFile, error) &&
                  Resolve(lib, "ZELKWSYM_MpttOpen", &a.open, error) &&
                  Resolve(lib, "ZELKWSYM_MpttClose", &a.close, error) &&
                  Resolve(lib, "ZELKWSYM_MpttGetCurrentOffset", &a.getCurrentOffset, error) &&
                  Resolve(lib, "ZELKWSYM_MpttRead", &a.read, error) &&
                  Resolve(lib, "ZELKWSYM_MpttSeek", &a.seek, error) &&
                  Resolve(lib, "ZELKWSYM_MpttTell", &a.tell, error) &&
                  Resolve(lib, "ZELKWSYM_MpttGetLastError", &a.getLastError, error) &&
                  Resolve(lib, "ZELKWSYM_MpttClearError", &a.clearError, error);
  if (!ok) {
    dlclose(lib);
    return false;
  }
  *api = a;
  return true;
}

}  // namespace follow
