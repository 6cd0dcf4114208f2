// Per-thread error record and record-building buffer (one static record in
// the single-threaded builds), and the error word it keeps.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "policy.h"

namespace vesk {

inline constexpr int kMsgBufSize = 4188;  // 90 head + 4095 text + CR LF + NUL

struct tagVESK_TLS_VAR {
  // What every put touches besides the buffer, in the first cache line:
  // after the write(2) of the previous record it is cold.
  uint32_t ulErrDetail;
  uint32_t ulErrCode;  // position << 24 | code
  // The time stamp this thread wrote last: one localtime_r per second and
  // three digits per millisecond instead of the whole text per record.
  long lStampSecond;
  int iStampMilli;
  char szThreadId[10];   // "%08X " of the thread, or "-------- "
  char szStampText[24];  // "yyyy/mm/dd hh:mm:ss.sss"
  alignas(64) char szMsgBuf[kMsgBufSize];
  tagVESK_TLS_VAR* pNext;  // list of all records (thread-safe builds)
  tagVESK_TLS_VAR* pPrev;
};

namespace thread_record_detail {
extern tagVESK_TLS_VAR VESK2_errorCodes;  // single-threaded builds
extern pthread_key_t VESK2_TlsKey;
extern std::atomic<bool> VESK2_TlsKeyEnable;
// The thread's first call: makes the key if need be, and the record.
tagVESK_TLS_VAR* MakeThreadRecord();
}  // namespace thread_record_detail

// The calling thread's record, made on first use; null when none can be made.
// Inline: every put asks for it.
inline tagVESK_TLS_VAR* VESK_GetTlsVar() {
  using namespace thread_record_detail;
  if constexpr (kThreadSafe) {
    if (VESK2_TlsKeyEnable.load(std::memory_order_acquire)) {
      void* rec = pthread_getspecific(VESK2_TlsKey);
      if (rec != nullptr) return static_cast<tagVESK_TLS_VAR*>(rec);
    }
    return MakeThreadRecord();
  } else {
    return &VESK2_errorCodes;
  }
}

// Stores code (position byte 0) and detail into the calling thread's record.
void SetErrPos(uint32_t code, uint32_t detail);
// The same when the caller already holds the record.
inline void SetErrPos(tagVESK_TLS_VAR* tls, uint32_t code, uint32_t detail) {
  if (tls == nullptr) return;
  tls->ulErrCode = code & 0xFFFFFFu;
  tls->ulErrDetail = detail;
}

// Puts the entry point's number into the top byte of the thread's error word.
inline void SetPosition(tagVESK_TLS_VAR* tls, uint32_t position) {
  if (tls == nullptr) return;
  tls->ulErrCode = (tls->ulErrCode & 0xFFFFFFu) | (position << 24);
}

inline void ClearError(tagVESK_TLS_VAR* tls) {
  if (tls == nullptr) return;
  tls->ulErrCode = 0;
  tls->ulErrDetail = 0;
}

// Sets code and position in one step, detail 0 unless given.
inline void SetError(tagVESK_TLS_VAR* tls, uint32_t position, uint32_t code, uint32_t detail = 0) {
  if (tls == nullptr) return;
  tls->ulErrCode = (position << 24) | (code & 0xFFFFFFu);
  tls->ulErrDetail = detail;
}

// Frees every thread's record and the key (thread-safe builds); returns the
// result of destroying the list mutex's attribute.
int EndThreadRecords();

}  // namespace vesk
