// The two destinations of a built record: the file route (the ring) and
// the memory-map route, which has no object in this library. Inline: they
// run on every put, between the record's building and its write.
//
// Only the puts call these; the file routes run under the library lock,
// taken by the put. A put holds it without touching the thread's
// cancellation state (two calls that would cost as much as the rest of the
// put): each ring keeps cancellation off wherever its put can reach a
// cancellation point.
#pragma once

#include <sys/time.h>

#include <cstddef>

#include "state.h"

namespace vesk {

namespace route_detail {

inline bool ReachesFile(int threshold, int level) { return threshold != -1 && threshold <= level; }
inline bool ReachesShm(int threshold, int level) { return threshold != -1 && level <= threshold; }

inline int PutToRing(VeskRing* single, VeskRing* shared, tagVESK_TLS_VAR* tls, const char* msg,
                     size_t len) {
  VeskRing* ring = single != nullptr ? single : shared;
  if (ring == nullptr) {
    SetErrPos(tls, VESK2_ERR_STATE, 0);
    return -1;
  }
  return ring->putMessage(msg, len);
}

}  // namespace route_detail

inline int VESK_PutMsgToLogFile(tagVESK_TLS_VAR* tls, int level, const char* msg, size_t len) {
  if (!route_detail::ReachesFile(ZELKWSYM_Threshold.iFileThreshold.load(std::memory_order_relaxed),
                                 level)) {
    return 0;
  }
  return route_detail::PutToRing(VESK2_pLogFile, VESK2_pMultiLogFile, tls, msg, len);
}

inline int VESK_PutInstanceMsgToLogFile(VESKTraceObject* obj, tagVESK_TLS_VAR* tls, int level,
                                        const char* msg, size_t len) {
  if (!route_detail::ReachesFile(obj->iFileThreshold.load(std::memory_order_relaxed), level)) {
    return 0;
  }
  return route_detail::PutToRing(obj->pLogFile, obj->pMultiLogFile, tls, msg, len);
}

inline int VESK_PutMsgToMMap(tagVESK_TLS_VAR* tls, const char*, size_t, const struct timeval&) {
  // The slot is never filled: the record is dropped, and only the thread's
  // error word tells (code 11, position 0). Nothing ever writes the
  // pointer after load, so reading it needs no lock, and a put takes the
  // library lock once, for its file route only.
  if (VESK2_pMMap == nullptr) SetErrPos(tls, VESK2_ERR_STATE, 0);
  return 0;
}

inline int VESK_PutMsgToShm(tagVESK_TLS_VAR* tls, int level, const char* msg, size_t len,
                            const struct timeval& tv) {
  if (!route_detail::ReachesShm(ZELKWSYM_Threshold.iShmThreshold.load(std::memory_order_relaxed),
                                level)) {
    return 0;
  }
  return VESK_PutMsgToMMap(tls, msg, len, tv);
}

inline int VESK_PutInstanceMsgToShm(VESKTraceObject* obj, tagVESK_TLS_VAR* tls, int level,
                                    const char* msg, size_t len, const struct timeval& tv) {
  if (!route_detail::ReachesShm(obj->iShmThreshold.load(std::memory_order_relaxed), level)) {
    return 0;
  }
  return VESK_PutMsgToMMap(tls, msg, len, tv);
}

}  // namespace vesk
