#include "thread_record.h"

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "policy.h"

namespace vesk {
namespace thread_record_detail {

// Single-threaded builds: the one record of the process.
tagVESK_TLS_VAR VESK2_errorCodes = {0, 0, -1, -1, "-------- ", {0}, {0}, nullptr, nullptr};

pthread_key_t VESK2_TlsKey;
std::atomic<bool> VESK2_TlsKeyEnable{false};

}  // namespace thread_record_detail

using thread_record_detail::VESK2_TlsKey;
using thread_record_detail::VESK2_TlsKeyEnable;

namespace {

// List anchor of all records; its thread id text is never shown.
tagVESK_TLS_VAR cs_listHead = {0, 0, -1, -1, "not used ", {0}, {0}, &cs_listHead, &cs_listHead};

pthread_mutexattr_t VESK_tlsVarMutexAttr;
pthread_mutex_t VESK_tlsVarMutex;
pthread_once_t mutexOnce = PTHREAD_ONCE_INIT;
pthread_once_t keyOnce = PTHREAD_ONCE_INIT;

void Unlink(tagVESK_TLS_VAR* rec) {
  pthread_mutex_lock(&VESK_tlsVarMutex);
  rec->pPrev->pNext = rec->pNext;
  rec->pNext->pPrev = rec->pPrev;
  pthread_mutex_unlock(&VESK_tlsVarMutex);
}

void FreeRecord(void* p) {
  auto* rec = static_cast<tagVESK_TLS_VAR*>(p);
  Unlink(rec);
  std::free(rec);
}

void MakeMutex() {
  pthread_mutexattr_init(&VESK_tlsVarMutexAttr);
  pthread_mutexattr_settype(&VESK_tlsVarMutexAttr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&VESK_tlsVarMutex, &VESK_tlsVarMutexAttr);
}

void MakeKey() { VESK2_TlsKeyEnable = pthread_key_create(&VESK2_TlsKey, FreeRecord) == 0; }

}  // namespace

tagVESK_TLS_VAR* thread_record_detail::MakeThreadRecord() {
  if (!VESK2_TlsKeyEnable) {
    pthread_once(&mutexOnce, MakeMutex);
    pthread_once(&keyOnce, MakeKey);
    if (!VESK2_TlsKeyEnable) return nullptr;
  }
  auto* rec = static_cast<tagVESK_TLS_VAR*>(pthread_getspecific(VESK2_TlsKey));
  if (rec != nullptr) return rec;
  rec = static_cast<tagVESK_TLS_VAR*>(
      std::aligned_alloc(alignof(tagVESK_TLS_VAR), sizeof(tagVESK_TLS_VAR)));
  if (rec == nullptr) return nullptr;
  rec->ulErrDetail = 0;
  rec->ulErrCode = 0;
  std::memset(rec->szMsgBuf, 0, sizeof rec->szMsgBuf);
  rec->lStampSecond = -1;
  rec->iStampMilli = -1;
  // The identifier cut to its low 32 bits, as in every trace line.
  std::snprintf(rec->szThreadId, sizeof rec->szThreadId, "%08X ",
                static_cast<unsigned>(pthread_self()));
  pthread_mutex_lock(&VESK_tlsVarMutex);
  rec->pNext = &cs_listHead;
  rec->pPrev = cs_listHead.pPrev;
  cs_listHead.pPrev->pNext = rec;
  cs_listHead.pPrev = rec;
  pthread_mutex_unlock(&VESK_tlsVarMutex);
  if (pthread_setspecific(VESK2_TlsKey, rec) != 0) {
    FreeRecord(rec);
    return nullptr;
  }
  return rec;
}

namespace {

// When the library is unloaded while threads still run, their key
// destructor would point into unmapped code: drop the key first.
struct UnloadGuard {
  ~UnloadGuard() {
    if (kThreadSafe && VESK2_TlsKeyEnable) {
      VESK2_TlsKeyEnable = false;
      pthread_key_delete(VESK2_TlsKey);
    }
  }
} unloadGuard;

}  // namespace

void SetErrPos(uint32_t code, uint32_t detail) { SetErrPos(VESK_GetTlsVar(), code, detail); }

int EndThreadRecords() {
  if constexpr (!kThreadSafe) {
    return 0;
  } else {
    if (!VESK2_TlsKeyEnable) return 0;
    VESK2_TlsKeyEnable = false;
    pthread_key_delete(VESK2_TlsKey);
    pthread_mutex_lock(&VESK_tlsVarMutex);
    tagVESK_TLS_VAR* rec = cs_listHead.pNext;
    while (rec != &cs_listHead) {
      tagVESK_TLS_VAR* next = rec->pNext;
      std::free(rec);
      rec = next;
    }
    cs_listHead.pNext = cs_listHead.pPrev = &cs_listHead;
    pthread_mutex_unlock(&VESK_tlsVarMutex);
    pthread_mutex_destroy(&VESK_tlsVarMutex);
    return pthread_mutexattr_destroy(&VESK_tlsVarMutexAttr);
  }
}

}  // namespace vesk
