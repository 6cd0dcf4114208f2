// Entry points that open and end the global ring and instances.
#include <cerrno>
#include <cstdlib>
#include <initializer_list>
#include <new>

#include "api.h"
#include "log_file.h"
#include "multi_log_file.h"
#include "state.h"

using namespace vesk;

namespace {

// Opens a single-process ring; null with the code in the thread's record.
VeskRing* OpenSingleRing(const tagVESK_LOGFILE_SPEC* spec) {
  auto* ring = new VeskLogFile(spec);
  if (ring == nullptr) return nullptr;  // code 9 stored by the allocation
  if (ring->openFile() != 0) {
    delete ring;
    return nullptr;
  }
  return ring;
}

// Opens a shared ring with the given lock values; *result is 0 or 3 (the
// management file was rebuilt from the trace files found).
VeskRing* OpenSharedRing(const tagVESK_LOGFILE_SPEC* spec, uint32_t option, const char* appName,
                         const int32_t* lockValues, int* result) {
  auto* ring = new VeskMultiLogFile(spec);
  if (ring == nullptr) return nullptr;
  ring->setOption(option);
  ring->setAppName(appName);
  ring->setLockWaitTime(lockValues[0]);
  ring->setLockRetryTimes(lockValues[1]);
  *result = ring->openFile();
  if (*result != 0 && *result != 3) {
    delete ring;
    return nullptr;
  }
  return ring;
}

void DestroyGlobalRings() {
  delete VESK2_pLogFile;
  VESK2_pLogFile = nullptr;
  delete VESK2_pMultiLogFile;
  VESK2_pMultiLogFile = nullptr;
}

int VESK2_SubInitialize(const tagVESK_LOGFILE_SPEC* spec, const char* appName, bool shared,
                        uint32_t option, uint32_t position) {
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  if (tls == nullptr) return -1;
  ClearError(tls);
  LockGuard lock;
  if (VESK2_iIsInitialized.load() == 1) {
    SetError(tls, position, VESK2_ERR_STATE);
    return -1;
  }
  VESK_InitializeGrobalVar();
  CopyAppName(VESK2_szAppName, appName);
  VeskRing*& slot = shared ? VESK2_pMultiLogFile : VESK2_pLogFile;
  int result = 0;
  if (slot == nullptr) {
    if (!VESK_CheckArgument(option, spec, shared)) {
      SetErrPos(tls, VESK2_ERR_ARGUMENT, 0);
    } else if (shared) {
      slot = OpenSharedRing(spec, option, nullptr, &ZELKWSYM_LockValue[0], &result);
    } else {
      slot = OpenSingleRing(spec);
    }
    if (slot == nullptr) {
      SetPosition(tls, position);
      DestroyGlobalRings();
      VESK_UninitializeGrobalVar();
      return -1;
    }
  }
  VESK2_iIsInitialized.store(1);
  if (result == 3) SetError(tls, position, VESK2_ERR_REBUILT);
  return result;
}

VESKTraceObject* NewInstance(const char* appName) {
  // On a cache line of its own: every put reads it. The type itself keeps
  // its natural alignment, since callers may hand in any pointer to check.
  static_assert(sizeof(VESKTraceObject) <= 64);
  void* mem = std::aligned_alloc(64, 64);
  if (mem == nullptr) {
    SetErrPos(VESK2_ERR_NO_MEMORY, static_cast<uint32_t>(errno));
    return nullptr;
  }
  auto* obj = new (mem) VESKTraceObject;
  obj->szId[0] = 'L';
  obj->szId[1] = 'I';
  obj->szId[2] = 'V';
  obj->szId[3] = 'E';
  obj->pLogFile = nullptr;
  obj->pMultiLogFile = nullptr;
  CopyAppName(obj->szAppName, appName);
  obj->iLogLevel.store(0);
  obj->iFileThreshold.store(0);
  obj->iShmThreshold.store(0);
  return obj;
}

void DestroyInstance(VESKTraceObject* obj) {
  delete obj->pLogFile;
  delete obj->pMultiLogFile;
  obj->pLogFile = nullptr;
  obj->pMultiLogFile = nullptr;
  obj->szId[0] = 'D';
  obj->szId[1] = 'E';
  obj->szId[2] = 'A';
  obj->szId[3] = 'D';
  obj->~VESKTraceObject();
  std::free(obj);
}

int VESK2_SubCreateInstance(VESKTraceObject** out, const tagVESK_LOGFILE_SPEC* spec,
                            const char* appName, bool shared, uint32_t option, uint32_t position) {
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  if (tls == nullptr) {
    if (out != nullptr) *out = nullptr;
    return -1;
  }
  ClearError(tls);
  if (out == nullptr) {
    SetError(tls, position, VESK2_ERR_ARGUMENT);
    return -1;
  }
  *out = nullptr;
  VESKTraceObject* obj = NewInstance(appName);
  if (obj == nullptr) {
    SetPosition(tls, position);
    return -1;
  }
  LockGuard lock;
  VESK_InitializeGrobalVar();
  int result = 0;
  if (!VESK_CheckArgument(option, spec, shared)) {
    SetErrPos(tls, VESK2_ERR_ARGUMENT, 0);
  } else if (shared) {
    obj->pMultiLogFile =
        OpenSharedRing(spec, option, obj->szAppName, &ZELKWSYM_LockValue[2], &result);
  } else {
    obj->pLogFile = OpenSingleRing(spec);
  }
  if (obj->ring() == nullptr) {
    DestroyInstance(obj);
    SetPosition(tls, position);
    VESK_UninitializeGrobalVar();
    return -1;
  }
  if (result == 3) SetError(tls, position, VESK2_ERR_REBUILT);
  *out = obj;
  return result;
}

}  // namespace

VESK_API int ZELKWSYM_Finalize(void) {
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  ClearError(tls);
  LockGuard lock;
  if (VESK2_iIsInitialized.load() != 1) {
    SetError(tls, VESK2_POS_FINALIZE, VESK2_ERR_STATE);
    return -1;
  }
  int result = 0;
  if (VESK2_pLogFile == nullptr && VESK2_pMultiLogFile == nullptr) {
    SetError(tls, VESK2_POS_FINALIZE, VESK2_ERR_STATE);
    result = -1;
  }
  for (VeskRing** slot : {&VESK2_pLogFile, &VESK2_pMultiLogFile}) {
    if (*slot == nullptr) continue;
    if ((*slot)->closeFile() != 0) {
      SetPosition(tls, VESK2_POS_FINALIZE);  // the object stays for another try
      result = -1;
      continue;
    }
    delete *slot;
    *slot = nullptr;
  }
  VESK2_iIsInitialized.store(0);
  VESK_UninitializeGrobalVar();
  return result;
}

VESK_API int ZELKWSYM_Initialize(const tagVESK_LOGFILE_SPEC* spec, const char* appName) {
  return VESK2_SubInitialize(spec, appName, false, 0, VESK2_POS_INITIALIZE);
}

VESK_API int ZELKWSYM_InitializeM(const tagVESK_LOGFILE_SPEC* spec, const char* appName,
                                  uint32_t option) {
  return VESK2_SubInitialize(spec, appName, true, option, VESK2_POS_INITIALIZE_M);
}

VESK_API int ZELKWSYM_CreateInstance(VESKTraceObject** out, const tagVESK_LOGFILE_SPEC* spec,
                                     const char* appName) {
  return VESK2_SubCreateInstance(out, spec, appName, false, 0, VESK2_POS_CREATE_INSTANCE);
}

VESK_API int ZELKWSYM_CreateInstanceM(VESKTraceObject** out, const tagVESK_LOGFILE_SPEC* spec,
                                      const char* appName, uint32_t option) {
  return VESK2_SubCreateInstance(out, spec, appName, true, option, VESK2_POS_CREATE_INSTANCE_M);
}

VESK_API int ZELKWSYM_DeleteInstance(VESKTraceObject* obj) {
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  ClearError(tls);
  if (obj == nullptr) {
    SetError(tls, VESK2_POS_DELETE_INSTANCE, VESK2_ERR_ARGUMENT);
    return -1;
  }
  LockGuard lock;
  if (obj->isInvalid()) {
    SetError(tls, VESK2_POS_DELETE_INSTANCE, VESK2_ERR_STATE);
    return -1;
  }
  VeskRing* ring = obj->ring();
  if (ring != nullptr && ring->closeFile() != 0) {
    SetPosition(tls, VESK2_POS_DELETE_INSTANCE);  // the instance stays usable
    return -1;
  }
  DestroyInstance(obj);
  VESK_UninitializeGrobalVar();
  return 0;
}

VESK_API int ZELKWSYM_EndLibrary(void) { return EndThreadRecords(); }

VESK_API uint32_t ZELKWSYM_GetLastError(uint32_t* detail) {
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  if (tls == nullptr) return VESK2_ERR_NO_RECORD;
  if (detail != nullptr) *detail = tls->ulErrDetail;
  return tls->ulErrCode;
}

VESK_API void ZELKWSYM_PreForkHandler(void) {}
VESK_API void ZELKWSYM_PostForkHandlerForParent(void) {}
VESK_API void ZELKWSYM_PostForkHandlerForChild(void) {}

#if TW_THREAD_SAFE
#define VESK_VARIANT "thread-safe"
#else
#define VESK_VARIANT "single-threaded"
#endif

VESK_API const char ZELKWSYM_version_string[] = "$Version: tickward trace library (" VESK_VARIANT
                                                ") " TW_VERSION " Last Update: " __DATE__ " $";
