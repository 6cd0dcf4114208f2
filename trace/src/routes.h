// The two destinations of a built record: the file route (the ring) and
// the memory-map route, which has no object in this library.
#pragma once

#include <sys/time.h>

#include <cstddef>

#include "state.h"

namespace vesk {

int VESK_PutMsgToLogFile(tagVESK_TLS_VAR* tls, int level, const char* msg, size_t len);
int VESK_PutInstanceMsgToLogFile(VESKTraceObject* obj, tagVESK_TLS_VAR* tls, int level,
                                 const char* msg, size_t len);
int VESK_PutMsgToShm(tagVESK_TLS_VAR* tls, int level, const char* msg, size_t len,
                     const struct timeval& tv);
int VESK_PutInstanceMsgToShm(VESKTraceObject* obj, tagVESK_TLS_VAR* tls, int level, const char* msg,
                             size_t len, const struct timeval& tv);
int VESK_PutMsgToMMap(tagVESK_TLS_VAR* tls, const char* msg, size_t len, const struct timeval& tv);

}  // namespace vesk
