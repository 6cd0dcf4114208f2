#include "routes.h"

// Only the puts call these; they hold off cancellation for the whole put.

namespace vesk {
namespace {

bool ReachesFile(int threshold, int level) { return threshold != -1 && threshold <= level; }
bool ReachesShm(int threshold, int level) { return threshold != -1 && level <= threshold; }

int PutToRing(VeskRing* single, VeskRing* shared, tagVESK_TLS_VAR* tls, const char* msg,
              size_t len) {
  VeskRing* ring = single != nullptr ? single : shared;
  if (ring == nullptr) {
    SetErrPos(tls, VESK2_ERR_STATE, 0);
    return -1;
  }
  return ring->putMessage(msg, len);
}

}  // namespace

int VESK_PutMsgToLogFile(tagVESK_TLS_VAR* tls, int level, const char* msg, size_t len) {
  if (!ReachesFile(ZELKWSYM_Threshold.iFileThreshold.load(std::memory_order_relaxed), level)) {
    return 0;
  }
  LockGuardInPut lock;
  return PutToRing(VESK2_pLogFile, VESK2_pMultiLogFile, tls, msg, len);
}

int VESK_PutInstanceMsgToLogFile(VESKTraceObject* obj, tagVESK_TLS_VAR* tls, int level,
                                 const char* msg, size_t len) {
  if (!ReachesFile(obj->iFileThreshold.load(std::memory_order_relaxed), level)) return 0;
  LockGuardInPut lock;
  return PutToRing(obj->pLogFile, obj->pMultiLogFile, tls, msg, len);
}

int VESK_PutMsgToShm(tagVESK_TLS_VAR* tls, int level, const char* msg, size_t len,
                     const struct timeval& tv) {
  if (!ReachesShm(ZELKWSYM_Threshold.iShmThreshold.load(std::memory_order_relaxed), level)) {
    return 0;
  }
  return VESK_PutMsgToMMap(tls, msg, len, tv);
}

int VESK_PutInstanceMsgToShm(VESKTraceObject* obj, tagVESK_TLS_VAR* tls, int level, const char* msg,
                             size_t len, const struct timeval& tv) {
  if (!ReachesShm(obj->iShmThreshold.load(std::memory_order_relaxed), level)) return 0;
  return VESK_PutMsgToMMap(tls, msg, len, tv);
}

int VESK_PutMsgToMMap(tagVESK_TLS_VAR* tls, const char*, size_t, const struct timeval&) {
  // The slot is never filled: the record is dropped, and only the thread's
  // error word tells (code 11, position 0). Nothing ever writes the
  // pointer after load, so reading it needs no lock, and a put takes the
  // library lock once, for its file route only.
  if (VESK2_pMMap == nullptr) SetErrPos(tls, VESK2_ERR_STATE, 0);
  return 0;
}

}  // namespace vesk
