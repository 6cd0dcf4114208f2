// The trace and syslog libraries the event log writes through, loaded by
// their installed paths and resolved by name. Both stay loaded from the
// first set-up of the log until its stop.
#pragma once

#include "vesk2_syslog.h"
#include "vesk2_trace.h"

struct WdtLogLibraries {
  void* trace = nullptr;
  void* syslog = nullptr;

  decltype(&ZELKWSYM_CreateInstance) createInstance = nullptr;
  decltype(&ZELKWSYM_ChInstanceFileAttr) chInstanceFileAttr = nullptr;
  decltype(&ZELKWSYM_SetInstanceLogLevel) setInstanceLogLevel = nullptr;
  decltype(&ZELKWSYM_DeleteInstance) deleteInstance = nullptr;
  decltype(&ZELKWSYM_PutInstanceWithId) putInstanceWithId = nullptr;

  decltype(&ZELKWSYM_OpenSysLog) openSysLog = nullptr;
  decltype(&ZELKWSYM_SetEventSrcName) setEventSrcName = nullptr;
  decltype(&ZELKWSYM_PutToSysLogWithTid) putToSysLogWithTid = nullptr;
  decltype(&ZELKWSYM_CloseSysLog) closeSysLog = nullptr;
};

// Loads both libraries and resolves their entry points; on any failure
// nothing stays loaded. 0 or -1.
int WDT_LoadVESKLibrary(WdtLogLibraries* libs);
// Unloads whatever is loaded and forgets the entry points.
void WDT_UnloadVESKLibrary(WdtLogLibraries* libs);
