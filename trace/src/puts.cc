// The put entry points: filter by level, build the record in the thread's
// buffer, hand it to both routes.
#include "api.h"
#include "record_build.h"
#include "routes.h"
#include "state.h"

using namespace vesk;

namespace {

bool BadArguments(int level, const char* text) {
  return level < 0 || level > 1000 || text == nullptr;
}

// Both routes are always tried; a failing file route keeps its own code
// although the memory-map route writes the error word after it.
int Combine(tagVESK_TLS_VAR* tls, uint32_t position, int fileResult, uint32_t fileCode,
            uint32_t fileDetail, int shmResult) {
  if (fileResult == 0 && shmResult == 0) return 0;
  if (fileResult != 0) {
    tls->ulErrCode = fileCode;
    tls->ulErrDetail = fileDetail;
  }
  SetPosition(tls, position);
  return fileResult != 0 ? fileResult : shmResult;
}

// The level test comes before anything else is touched: a filtered-out
// put costs a few comparisons. make() builds the fields only after it.
// The record is built under the library lock: the counter needs no atomic
// operation of its own, and records reach a file in counter order.
template <typename MakeFields>
inline int GlobalPut(uint32_t position, int level, const char* text, MakeFields make) {
  if (VESK2_iIsInitialized.load(std::memory_order_acquire) == 0) {
    SetError(VESK_GetTlsVar(), position, VESK2_ERR_STATE);
    return -1;
  }
  if (BadArguments(level, text)) {
    SetError(VESK_GetTlsVar(), position, VESK2_ERR_ARGUMENT);
    return -1;
  }
  if (level > ZELKWSYM_Threshold.iLogLevel.load(std::memory_order_relaxed)) return 0;
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  if (tls == nullptr) return -1;
  ClearError(tls);
  struct timeval tv = {0, 0};
  size_t len;
  int fileResult;
  {
    LockGuardInPut lock;  // one lock for the record counter and the ring
    len = BuildRecord(tls, make());
    fileResult = VESK_PutMsgToLogFile(tls, level, tls->szMsgBuf, len);
  }
  uint32_t code = tls->ulErrCode, detail = tls->ulErrDetail;
  int shmResult = VESK_PutMsgToShm(tls, level, tls->szMsgBuf, len, tv);
  return Combine(tls, position, fileResult, code, detail, shmResult);
}

template <typename MakeFields>
inline int InstancePut(uint32_t position, VESKTraceObject* obj, int level, const char* text,
                       MakeFields make) {
  if (obj == nullptr || BadArguments(level, text)) {
    SetError(VESK_GetTlsVar(), position, VESK2_ERR_ARGUMENT);
    return -1;
  }
  if (obj->isInvalid()) {
    SetError(VESK_GetTlsVar(), position, VESK2_ERR_STATE);
    return -1;
  }
  if (level > obj->iLogLevel.load(std::memory_order_relaxed)) return 0;
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  if (tls == nullptr) return -1;
  ClearError(tls);
  struct timeval tv = {0, 0};
  size_t len;
  int fileResult;
  {
    LockGuardInPut lock;
    len = BuildRecord(tls, make());
    fileResult = VESK_PutInstanceMsgToLogFile(obj, tls, level, tls->szMsgBuf, len);
  }
  uint32_t code = tls->ulErrCode, detail = tls->ulErrDetail;
  int shmResult = VESK_PutInstanceMsgToShm(obj, tls, level, tls->szMsgBuf, len, tv);
  return Combine(tls, position, fileResult, code, detail, shmResult);
}

bool Masked() { return ZELKWSYM_iTickType.load(std::memory_order_relaxed) == 1; }

RecordFields Fields(const char* app, const char* msgId, const char* msgType, const char* text,
                    IdColumns ids, bool masked) {
  RecordFields f;
  f.appName = app;
  f.msgId = msgId;
  f.msgType = msgType;
  f.text = text;
  f.ids = ids;
  f.masked = masked;
  return f;
}

// The put forms without an application name use the library's own copy,
// kept padded to its 16 columns.
RecordFields OwnName(RecordFields f) {
  f.appIsColumn = true;
  return f;
}

RecordFields WithThread(RecordFields f, const char* threadId) {
  f.ownThreadId = false;
  f.threadId = threadId;
  return f;
}

}  // namespace

VESK_API int ZELKWSYM_PutWithId(int level, const char* msgId, const char* text) {
  return GlobalPut(VESK2_POS_PUT_WITH_ID, level, text, [&] {
    return OwnName(Fields(VESK2_szAppName, msgId, nullptr, text, IdColumns::kId, Masked()));
  });
}

VESK_API int ZELKWSYM_PutLine(int level, const char* text) {
  return GlobalPut(VESK2_POS_PUT_LINE, level, text, [&] {
    return OwnName(Fields(VESK2_szAppName, nullptr, nullptr, text, IdColumns::kNone, Masked()));
  });
}

VESK_API int ZELKWSYM_PutWithIdEx(int level, const char* appName, const char* msgId,
                                  const char* text) {
  return GlobalPut(VESK2_POS_PUT_WITH_ID_EX, level, text,
                   [&] { return Fields(appName, msgId, nullptr, text, IdColumns::kId, Masked()); });
}

VESK_API int ZELKWSYM_PutWithMsgType(int level, const char* appName, const char* msgId,
                                     const char* msgType, const char* text) {
  return GlobalPut(VESK2_POS_PUT_WITH_MSG_TYPE, level, text, [&] {
    return Fields(appName, msgId, msgType, text, IdColumns::kIdAndType, Masked());
  });
}

VESK_API int ZELKWSYM_PutWithIdAndTidEx(int level, const char* appName, const char* threadId,
                                        const char* msgId, const char* text) {
  return GlobalPut(VESK2_POS_PUT_WITH_ID_AND_TID_EX, level, text, [&] {
    return WithThread(Fields(appName, msgId, nullptr, text, IdColumns::kId, false), threadId);
  });
}

VESK_API int ZELKWSYM_PutWithMsgTypeAndTid(int level, const char* appName, const char* threadId,
                                           const char* msgId, const char* msgType,
                                           const char* text) {
  return GlobalPut(VESK2_POS_PUT_WITH_MSG_TYPE_AND_TID, level, text, [&] {
    return WithThread(Fields(appName, msgId, msgType, text, IdColumns::kIdAndType, false),
                      threadId);
  });
}

VESK_API int ZELKWSYM_PutInstanceWithId(VESKTraceObject* obj, int level, const char* msgId,
                                        const char* text) {
  return InstancePut(VESK2_POS_PUT_INSTANCE_WITH_ID, obj, level, text, [&] {
    return OwnName(Fields(obj->szAppName, msgId, nullptr, text, IdColumns::kId, false));
  });
}

VESK_API int ZELKWSYM_PutInstanceLine(VESKTraceObject* obj, int level, const char* text) {
  return InstancePut(VESK2_POS_PUT_INSTANCE_LINE, obj, level, text, [&] {
    return OwnName(Fields(obj->szAppName, nullptr, nullptr, text, IdColumns::kNone, false));
  });
}

VESK_API int ZELKWSYM_PutInstanceWithIdEx(VESKTraceObject* obj, int level, const char* appName,
                                          const char* msgId, const char* text) {
  return InstancePut(VESK2_POS_PUT_INSTANCE_WITH_ID_EX, obj, level, text,
                     [&] { return Fields(appName, msgId, nullptr, text, IdColumns::kId, false); });
}

VESK_API int ZELKWSYM_PutInstanceWithMsgType(VESKTraceObject* obj, int level, const char* appName,
                                             const char* msgId, const char* msgType,
                                             const char* text) {
  return InstancePut(VESK2_POS_PUT_INSTANCE_WITH_MSG_TYPE, obj, level, text, [&] {
    return Fields(appName, msgId, msgType, text, IdColumns::kIdAndType, false);
  });
}

VESK_API int ZELKWSYM_PutToShm(int, const char*, const char*) { return 0; }
VESK_API int ZELKWSYM_PutMsgSigSafe(int, const char*, const char*) { return 0; }
