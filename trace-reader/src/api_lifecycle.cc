// Entry points that create, open, close and delete reader instances.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "instance.h"

namespace {

const VESK2_MptTrap ms_defaultInstance = {
    /*mngPath=*/nullptr, /*tracePath=*/nullptr, /*mngFd=*/-1,
    /*traceFd=*/-1,      /*mngRecord=*/nullptr, /*traceMap=*/nullptr,
    /*mngPathKnown=*/0,  /*fileNumber=*/0,      /*lockBlockTime=*/10,
    /*lockSleepTime=*/1, /*lockRetryTimes=*/20, /*lastError=*/0,
    /*isOpen=*/0,        /*mapLength=*/0,       /*position=*/0,
    /*dataEnd=*/0,       /*fileLength=*/0,      /*mngComplete=*/0,
};

void FreeInstance(VESK2_MptTrap* inst) {
  free(inst->mngPath);
  free(inst->tracePath);
  free(inst);
}

}  // namespace

MPTT_API VESK2_MptTrap_t* ZELKWSYM_MpttCreateInstance(const char* tracePath) {
  if (tracePath == nullptr) return mptt::FailNull(), nullptr;
  const size_t len = strlen(tracePath);
  if (len > SIZE_MAX - 4) return mptt::SetLibraryError(VESK2_MPTT_E_INVALID), nullptr;
  auto* inst = static_cast<VESK2_MptTrap*>(malloc(sizeof(VESK2_MptTrap)));
  if (inst == nullptr) return mptt::SetLibraryError(VESK2_MPTT_E_NO_MEMORY), nullptr;
  *inst = ms_defaultInstance;
  inst->tracePath = static_cast<char*>(malloc(len + 1));
  inst->mngPath = static_cast<char*>(malloc(len + 4));
  if (inst->tracePath == nullptr || inst->mngPath == nullptr) {
    FreeInstance(inst);
    return mptt::SetLibraryError(VESK2_MPTT_E_NO_MEMORY), nullptr;
  }
  memcpy(inst->tracePath, tracePath, len + 1);
  inst->mngPath[0] = '\0';
  return inst;
}

MPTT_API int ZELKWSYM_MpttDeleteInstance(VESK2_MptTrap_t* inst) {
  if (inst == nullptr) return 0;
  int rc = 0;
  if (inst->isOpen) inst->isOpen = 0;  // closing only drops the flag here
  rc = mptt::UnmapTrace(inst);
  if (rc == 0 && (inst->mngRecord != nullptr || inst->mngFd >= 0)) {
    rc = mptt::CloseManagement(inst);
  }
  if (rc != 0) {
    mptt::SetLibraryError(rc);
    return rc;
  }
  FreeInstance(inst);
  return 0;
}

MPTT_API int ZELKWSYM_MpttOpenManagementFile(VESK2_MptTrap_t* inst) {
  if (inst == nullptr) return mptt::FailNull();
  if (inst->mngRecord != nullptr) return mptt::Fail(inst, VESK2_MPTT_E_STATE);
  const int rc = mptt::OpenManagement(inst);
  if (rc != 0) return rc;
  if (inst->traceMap == nullptr) {
    // The trace file may not exist yet; reading will map it. Its failure here
    // must not hide an earlier error from the caller.
    const int kept = inst->lastError;
    mptt::MapTrace(inst);
    inst->lastError = kept;
  }
  inst->dataEnd = 0;
  return 0;
}

MPTT_API int ZELKWSYM_MpttCloseManagementFile(VESK2_MptTrap_t* inst) {
  if (inst == nullptr) return mptt::FailNull();
  if (inst->isOpen) return mptt::Fail(inst, VESK2_MPTT_E_STATE);
  if (inst->mngRecord == nullptr && inst->mngFd < 0) return mptt::Fail(inst, VESK2_MPTT_E_STATE);
  int rc = mptt::CloseManagement(inst);
  if (rc == 0) rc = mptt::UnmapTrace(inst);
  return rc;
}

MPTT_API int ZELKWSYM_MpttOpen(VESK2_MptTrap_t* inst) {
  if (inst == nullptr) return mptt::FailNull();
  if (inst->isOpen || inst->mngRecord == nullptr) return mptt::Fail(inst, VESK2_MPTT_E_STATE);
  if (inst->traceMap == nullptr) {
    const int rc = mptt::MapTrace(inst);
    if (rc != 0) return rc;
  }
  inst->isOpen = 1;
  inst->position = 0;
  return 0;
}

MPTT_API int ZELKWSYM_MpttClose(VESK2_MptTrap_t* inst) {
  if (inst == nullptr) return mptt::FailNull();
  if (!inst->isOpen) return mptt::Fail(inst, VESK2_MPTT_E_STATE);
  if (inst->mngRecord == nullptr && inst->mngFd < 0) {
    const int rc = mptt::UnmapTrace(inst);
    if (rc != 0) return rc;
  }
  inst->isOpen = 0;
  return 0;
}
