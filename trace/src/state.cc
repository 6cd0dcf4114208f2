#include "state.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace vesk {

ThresholdRecord ZELKWSYM_Threshold = {"ID_VESK", {0}, {0}, {0}, 0};
int32_t ZELKWSYM_LockValue[4] = {1, 20, 1, 20};
Word ZELKWSYM_iTickType{0};
char VESK2_szAppName[17] = "                ";
char VESK2_szProcessId[10] = "00000000 ";
RecordCounter VESK2_iMsgCount;
VeskRing* VESK2_pLogFile = nullptr;
VeskRing* VESK2_pMultiLogFile = nullptr;
void* VESK2_pMMap = nullptr;
std::atomic<int> VESK2_iIsInitialized{0};
int cs_iInitCallCount = 0;

LibraryMutex cs_mutex;

void CopyAppName(char* dst17, const char* name) {
  size_t n = 0;
  if (name != nullptr) {
    while (n < 16 && name[n] != '\0') {
      dst17[n] = name[n];
      ++n;
    }
  }
  std::memset(dst17 + n, ' ', 16 - n);
  dst17[16] = '\0';
}

void VESK_InitializeGrobalVar() {
  if (cs_iInitCallCount == 0) {
    CopyAppName(VESK2_szAppName, nullptr);
    VESK_GetTlsVar();  // makes sure the thread-specific key exists
  }
  // Rewritten every time so that a forked child that initialises again
  // writes its own process id.
  std::snprintf(VESK2_szProcessId, sizeof VESK2_szProcessId, "%08X ",
                static_cast<unsigned>(getpid()));
  ++cs_iInitCallCount;
}

void VESK_UninitializeGrobalVar() {
  if (cs_iInitCallCount > 0) --cs_iInitCallCount;
  if (cs_iInitCallCount != 0) return;
  delete VESK2_pLogFile;
  VESK2_pLogFile = nullptr;
  delete VESK2_pMultiLogFile;
  VESK2_pMultiLogFile = nullptr;
  // The memory-map slot is never filled; nothing to release there.
}

bool VESK_CheckArgument(uint32_t option, const tagVESK_LOGFILE_SPEC* spec, bool shared) {
  if (spec == nullptr) return false;
  const long maxSize = shared ? 0x1000000L : 0x7FFFFFFFL;
  const long maxNum = shared ? 64 : 16;
  const size_t maxName = shared ? 4088 : 4090;
  if (shared && option > 63) return false;
  if (spec->lFileSize < 4096 || spec->lFileSize > maxSize) return false;
  if (spec->lFileNum < 1 || spec->lFileNum > maxNum) return false;
  if (spec->pszFileName == nullptr) return false;
  return strnlen(spec->pszFileName, maxName + 1) <= maxName;
}

}  // namespace vesk
