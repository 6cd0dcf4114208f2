// Permission changes and flushes of a ring's files.
#include "api.h"
#include "state.h"

using namespace vesk;

namespace {

// Applies mode (owner read/write always added) to the ring's existing files
// and to the files it creates later.
int ChangeMode(tagVESK_TLS_VAR* tls, VeskRing* ring, int bits, uint32_t position) {
  const int mode = bits | 0600;
  if (ring->chFileAttr(mode) != 0) {
    SetPosition(tls, position);
    return -1;
  }
  ring->setFileAttr(mode);
  return 0;
}

bool BadBits(int bits) { return static_cast<unsigned>(bits) >= 4096u; }

int Flush(tagVESK_TLS_VAR* tls, VeskRing* ring, uint32_t position) {
  if (ring == nullptr) {
    SetError(tls, position, VESK2_ERR_STATE);
    return -1;
  }
  if (ring->bufferFlush() != 0) {
    SetPosition(tls, position);
    return -1;
  }
  return 0;
}

}  // namespace

VESK_API int ZELKWSYM_ChFileAttr(int bits) {
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  if (tls == nullptr) return -1;
  ClearError(tls);
  LockGuard lock;
  if (VESK2_iIsInitialized.load() != 1) {
    SetError(tls, VESK2_POS_CH_FILE_ATTR, VESK2_ERR_STATE);
    return -1;
  }
  if (BadBits(bits)) {
    SetError(tls, VESK2_POS_CH_FILE_ATTR, VESK2_ERR_ARGUMENT);
    return -1;
  }
  VeskRing* ring = VESK2_pLogFile != nullptr ? VESK2_pLogFile : VESK2_pMultiLogFile;
  if (ring == nullptr) {
    SetError(tls, VESK2_POS_CH_FILE_ATTR, VESK2_ERR_STATE);
    return -1;
  }
  return ChangeMode(tls, ring, bits, VESK2_POS_CH_FILE_ATTR);
}

VESK_API int ZELKWSYM_ChInstanceFileAttr(VESKTraceObject* obj, int bits) {
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  if (obj == nullptr) {
    SetError(tls, VESK2_POS_CH_INSTANCE_FILE_ATTR, VESK2_ERR_ARGUMENT);
    return -1;
  }
  if (obj->isInvalid()) {
    SetError(tls, VESK2_POS_CH_INSTANCE_FILE_ATTR, VESK2_ERR_STATE);
    return -1;
  }
  ClearError(tls);
  if (BadBits(bits)) {
    SetError(tls, VESK2_POS_CH_INSTANCE_FILE_ATTR, VESK2_ERR_ARGUMENT);
    return -1;
  }
  LockGuard lock;
  VeskRing* ring = obj->ring();
  if (ring == nullptr) {
    SetError(tls, VESK2_POS_CH_INSTANCE_FILE_ATTR, VESK2_ERR_STATE);
    return -1;
  }
  return ChangeMode(tls, ring, bits, VESK2_POS_CH_INSTANCE_FILE_ATTR);
}

VESK_API int ZELKWSYM_FileBufferFlush(void) {
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  if (tls == nullptr) return -1;
  ClearError(tls);
  LockGuard lock;
  return Flush(tls, VESK2_pLogFile != nullptr ? VESK2_pLogFile : VESK2_pMultiLogFile,
               VESK2_POS_FILE_BUFFER_FLUSH);
}

VESK_API int ZELKWSYM_InstanceFileBufferFlush(VESKTraceObject* obj) {
  tagVESK_TLS_VAR* tls = VESK_GetTlsVar();
  if (tls == nullptr) return -1;
  ClearError(tls);
  if (obj == nullptr) {
    SetError(tls, VESK2_POS_INSTANCE_FILE_BUFFER_FLUSH, VESK2_ERR_ARGUMENT);
    return -1;
  }
  LockGuard lock;
  if (obj->isInvalid()) {
    SetError(tls, VESK2_POS_INSTANCE_FILE_BUFFER_FLUSH, VESK2_ERR_STATE);
    return -1;
  }
  return Flush(tls, obj->ring(), VESK2_POS_INSTANCE_FILE_BUFFER_FLUSH);
}
