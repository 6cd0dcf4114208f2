#include "QVSM_LogLibraries.h"

#include <dlfcn.h>

namespace {

// RTLD_LAZY | RTLD_NOW | RTLD_GLOBAL, as the libraries have always been opened.
constexpr int kOpenMode = 0x103;

template <typename F>
bool Resolve(void* handle, const char* name, F* out) {
  *out = reinterpret_cast<F>(dlsym(handle, name));
  return *out != nullptr;
}

}  // namespace

int WDT_LoadVESKLibrary(WdtLogLibraries* libs) {
  WdtLogLibraries loaded;
  loaded.trace = dlopen(TW_DAEMON_TRACE_LIB, kOpenMode);
  if (loaded.trace == nullptr) return -1;
  if (!Resolve(loaded.trace, "ZELKWSYM_CreateInstance", &loaded.createInstance) ||
      !Resolve(loaded.trace, "ZELKWSYM_ChInstanceFileAttr", &loaded.chInstanceFileAttr) ||
      !Resolve(loaded.trace, "ZELKWSYM_SetInstanceLogLevel", &loaded.setInstanceLogLevel) ||
      !Resolve(loaded.trace, "ZELKWSYM_DeleteInstance", &loaded.deleteInstance) ||
      !Resolve(loaded.trace, "ZELKWSYM_PutInstanceWithId", &loaded.putInstanceWithId)) {
    WDT_UnloadVESKLibrary(&loaded);
    return -1;
  }
  loaded.syslog = dlopen(TW_DAEMON_SYSLOG_LIB, kOpenMode);
  if (loaded.syslog == nullptr ||
      !Resolve(loaded.syslog, "ZELKWSYM_OpenSysLog", &loaded.openSysLog) ||
      !Resolve(loaded.syslog, "ZELKWSYM_SetEventSrcName", &loaded.setEventSrcName) ||
      !Resolve(loaded.syslog, "ZELKWSYM_PutToSysLogWithTid", &loaded.putToSysLogWithTid) ||
      !Resolve(loaded.syslog, "ZELKWSYM_CloseSysLog", &loaded.closeSysLog)) {
    WDT_UnloadVESKLibrary(&loaded);
    return -1;
  }
  *libs = loaded;
  return 0;
}

void WDT_UnloadVESKLibrary(WdtLogLibraries* libs) {
  if (libs->trace != nullptr) dlclose(libs->trace);
  if (libs->syslog != nullptr) dlclose(libs->syslog);
  *libs = WdtLogLibraries();
}
